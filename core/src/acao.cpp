#include "kivo/acao.hpp"

#include <utility>

namespace kivo {

Acao Acao::gravar(Sessao sessao) { return Acao{Caso::gravar, std::move(sessao)}; }

Acao Acao::apagar() { return Acao{Caso::apagar, std::nullopt}; }

Acao Acao::ignorar() { return Acao{Caso::ignorar, std::nullopt}; }

bool Acao::operator==(const Acao& outra) const {
    return caso == outra.caso && sessao == outra.sessao;
}

}  // namespace kivo
