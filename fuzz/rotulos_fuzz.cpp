// The two texts cut to 90 characters: Rotulos::notificacao is never empty and
// Rotulos::resumo is absent or not empty; neither has more than 90 grapheme clusters.
// Clusters are counted here with ICU's own break iterator, apart from the code under
// test. A permission message ("permission to use " and a tool name) is the one case
// the cut does not apply to: "Quer permissão para " followed by the request phrase,
// which repeats an unknown tool name whole.
#include <unicode/brkiter.h>
#include <unicode/utext.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "kivo/rotulos.hpp"

namespace {

[[noreturn]] void falhar(const char* o_que, std::string_view texto) {
    std::fprintf(stderr, "kivo_fuzz_rotulos: %s: \"%.*s\"\n", o_que, static_cast<int>(texto.size()),
                 texto.data());
    std::abort();
}

std::size_t grafemas(std::string_view s) {
    static const std::unique_ptr<icu::BreakIterator> it = [] {
        UErrorCode e = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> b(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), e));
        if (U_FAILURE(e)) std::abort();
        return b;
    }();
    UErrorCode e = U_ZERO_ERROR;
    UText* ut = utext_openUTF8(nullptr, s.data(), static_cast<int64_t>(s.size()), &e);
    if (U_FAILURE(e)) std::abort();
    it->setText(ut, e);
    if (U_FAILURE(e)) std::abort();
    std::size_t n = 0;
    for (int32_t p = it->next(); p != icu::BreakIterator::DONE; p = it->next()) ++n;
    utext_close(ut);
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dados, std::size_t n) {
    const std::string texto(reinterpret_cast<const char*>(dados), n);

    const std::string aviso = kivo::Rotulos::notificacao(texto);
    if (aviso.empty()) falhar("notificacao gave the empty text", texto);
    const bool pedePermissao = texto.find("permission to use ") != std::string::npos &&
                               aviso.starts_with("Quer permiss\u00e3o para ");
    if (!pedePermissao && grafemas(aviso) > 90) falhar("notificacao longer than 90 characters", aviso);

    const std::optional<std::string> resumo = kivo::Rotulos::resumo(texto);
    if (resumo && resumo->empty()) falhar("resumo gave the empty text", texto);
    if (resumo && grafemas(*resumo) > 90) falhar("resumo longer than 90 characters", *resumo);
    return 0;
}
