// separarEventos on a stream that arrives in two pieces: splitting the text at any
// byte and calling twice (the second time on the first call's rest followed by the
// second piece) gives the same events, in the same order, and the same rest as one
// call on the whole text. The first input byte chooses where to split.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "kivo/eventos.hpp"

namespace {

[[noreturn]] void falhar(const char* o_que) {
    std::fprintf(stderr, "kivo_fuzz_eventos: %s\n", o_que);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dados, std::size_t n) {
    if (n == 0) return 0;
    const std::string_view texto(reinterpret_cast<const char*>(dados) + 1, n - 1);
    const std::size_t corte = texto.empty() ? 0 : dados[0] % (texto.size() + 1);

    const kivo::EventosSeparados inteiro = kivo::separarEventos(texto);
    for (const auto& e : inteiro.eventos) {
        if (!e.is_object()) falhar("an event that is not an object");
    }

    kivo::EventosSeparados primeira = kivo::separarEventos(texto.substr(0, corte));
    kivo::EventosSeparados segunda = kivo::separarEventos(primeira.resto + std::string(texto.substr(corte)));
    std::vector<nlohmann::json> eventos = std::move(primeira.eventos);
    for (auto& e : segunda.eventos) eventos.push_back(std::move(e));

    if (segunda.resto != inteiro.resto) falhar("the rest depends on where the text was split");
    if (eventos != inteiro.eventos) falhar("the events depend on where the text was split");
    return 0;
}
