// Record decoding: whatever sessaoDeJson accepts must encode again (when its times
// are finite) and decode to an equal record, and encoding must be a fixed point: the
// second encoding has the same bytes as the first.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <stdexcept>
#include <string>
#include <string_view>

#include "kivo/sessao.hpp"

namespace {

[[noreturn]] void falhar(const char* o_que) {
    std::fprintf(stderr, "kivo_fuzz_sessao: %s\n", o_que);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dados, std::size_t n) {
    const std::string_view texto(reinterpret_cast<const char*>(dados), n);
    const auto sessao = kivo::sessaoDeJson(texto);
    if (!sessao) return 0;
    if (!std::isfinite(sessao->atualizado) || !std::isfinite(sessao->mudouEstadoEm)) {
        try {
            (void)kivo::paraJson(*sessao);
        } catch (const std::domain_error&) {
            return 0;
        }
        falhar("paraJson wrote a record whose time is not finite");
    }
    std::string bytes;
    try {
        bytes = kivo::paraJson(*sessao);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        falhar("a decoded record with finite times does not encode");
    }
    const auto de_novo = kivo::sessaoDeJson(bytes);
    if (!de_novo) falhar("an encoded record does not decode");
    if (!(*de_novo == *sessao)) falhar("the record changed on the way back");
    if (kivo::paraJson(*de_novo) != bytes) falhar("encoding is not a fixed point");
    return 0;
}
