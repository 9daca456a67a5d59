// Teclas::codigo never throws, and for a text of plain ASCII letters, digits,
// punctuation, spaces and tabs what it returns is a key of Teclas::virtuais().
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "kivo/teclas.hpp"

namespace {

bool asciiVisivel(std::string_view s) {
    for (const char c : s) {
        if ((c < 0x20 && c != '\t') || c > 0x7E) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dados, std::size_t n) {
    const std::string_view texto(reinterpret_cast<const char*>(dados), n);
    std::optional<std::string> codigo;
    try {
        codigo = kivo::Teclas::codigo(texto);
    } catch (...) {
        std::fprintf(stderr, "kivo_fuzz_teclas: codigo threw\n");
        std::abort();
    }
    if (codigo && asciiVisivel(texto) && !kivo::Teclas::virtuais().contains(*codigo)) {
        std::fprintf(stderr, "kivo_fuzz_teclas: \"%s\" is not a key of virtuais()\n", codigo->c_str());
        std::abort();
    }
    return 0;
}
