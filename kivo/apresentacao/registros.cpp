#include "apresentacao/registros.hpp"

#include "leitura_limitada.hpp"

namespace kivo::app {

std::vector<Sessao> lerRegistros(const std::filesystem::path& pasta) {
    return limitada::lerTodas(pasta, kTextoLido);
}

}  // namespace kivo::app
