// Grapheme clusters (ICU's character break rules, with exact shortcuts where one side is
// ASCII) and the columns a cluster takes on a terminal.
#include "icu_interno.hpp"

#include <unicode/utf8.h>
#include <unicode/uvernum.h>

#include <memory>

namespace kivo::texto {

using interno::gcb;
using interno::iteradorGrafemas;
using interno::ligaAoAnterior;
using interno::TextoUtf8;

// One character break iterator per thread, cloned from a shared prototype.
icu::BreakIterator* interno::iteradorGrafemas(UText* texto) {
    thread_local std::unique_ptr<icu::BreakIterator> it;
    if (!it) {
        UErrorCode erro = U_ZERO_ERROR;
        it.reset(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), erro));
        if (U_FAILURE(erro)) {
            it.reset();
            return nullptr;
        }
    }
    UErrorCode erro = U_ZERO_ERROR;
    it->setText(texto, erro);
    return U_FAILURE(erro) ? nullptr : it.get();
}

// --- Grapheme clusters

bool limite(std::string_view s, std::size_t i) {
    if (i == 0 || i >= s.size()) return true;
    const auto depois = static_cast<unsigned char>(s[i]);
    if ((depois & 0xC0) == 0x80) {
        // Inside a code point only when a lead byte at most three bytes back begins a
        // well-formed sequence that covers `i`; a stray continuation byte is a U+FFFD
        // of its own (as decodificar reads it).
        std::size_t j = i;
        while (j > 0 && i - j < 3 && (static_cast<unsigned char>(s[j - 1]) & 0xC0) == 0x80) --j;
        if (j > 0 && i - j < 3) {
            std::size_t k = j - 1;
            decodificar(s, k);
            if (k > i) return false;
        }
    }
    std::size_t inicioAnterior = 0;
    const char32_t a = interno::anterior(s, i, inicioAnterior);
    std::size_t k = i;
    const char32_t b = decodificar(s, k);
    // Exact pairwise rules whenever one side is ASCII; no ASCII character takes part
    // in the emoji, regional-indicator or Hangul rules.
    if (a < 0x80) {
        if (a == '\r') return b != '\n';
        if (a < 0x20 || a == 0x7F) return true;
        return !ligaAoAnterior(b);
    }
    if (b < 0x80) {
        if (b < 0x20 || b == 0x7F) return true;
        return gcb(a) != U_GCB_PREPEND;
    }
    TextoUtf8 t(s);
    icu::BreakIterator* it = iteradorGrafemas(&t.ut);
    if (!it) return true;
    return it->isBoundary(static_cast<int32_t>(i));
}

std::size_t contarGrafemas(std::string_view s, std::size_t teto) {
    if (ehAscii(s)) {
        std::size_t n = 0;
        for (std::size_t i = 0; i < s.size() && n < teto; ++i) {
            if (!(s[i] == '\n' && i > 0 && s[i - 1] == '\r')) ++n;
        }
        return n;
    }
    TextoUtf8 t(s);
    icu::BreakIterator* it = iteradorGrafemas(&t.ut);
    if (!it) return contarCodigos(s);
    std::size_t n = 0;
    it->first();
    while (n < teto && it->next() != icu::BreakIterator::DONE) ++n;
    return n;
}

std::string_view primeirosGrafemas(std::string_view s, std::size_t n) {
    if (ehAscii(s)) {
        std::size_t grafemas = 0;
        for (std::size_t i = 0; i < s.size(); ++i) {
            if (s[i] == '\n' && i > 0 && s[i - 1] == '\r') continue;
            if (grafemas == n) return s.substr(0, i);
            ++grafemas;
        }
        return s;
    }
    if (contarCodigos(s) <= n) return s;
    TextoUtf8 t(s);
    icu::BreakIterator* it = iteradorGrafemas(&t.ut);
    if (!it) return s;
    it->first();
    std::int32_t fim = 0;
    for (std::size_t k = 0; k < n; ++k) {
        const std::int32_t prox = it->next();
        if (prox == icu::BreakIterator::DONE) return s;
        fim = prox;
    }
    return s.substr(0, static_cast<std::size_t>(fim));
}

std::vector<Grafema> grafemas(std::string_view s) {
    std::vector<Grafema> lista;
    TextoUtf8 t(s);
    icu::BreakIterator* it = iteradorGrafemas(&t.ut);
    if (!it) {
        // Without ICU's rules: one cluster per code point.
        for (std::size_t i = 0; i < s.size();) {
            const std::size_t inicio = i;
            lerCodigo(s, i);
            lista.push_back({inicio, i});
        }
        return lista;
    }
    std::int32_t inicio = it->first();
    for (std::int32_t fim = it->next(); fim != icu::BreakIterator::DONE; fim = it->next()) {
        lista.push_back({static_cast<std::size_t>(inicio), static_cast<std::size_t>(fim)});
        inicio = fim;
    }
    return lista;
}

int colunas(std::string_view grafema) {
    const auto* s = reinterpret_cast<const std::uint8_t*>(grafema.data());
    const auto n = static_cast<std::int32_t>(grafema.size());
    std::int32_t i = 0;
    UChar32 base = 0;
    U8_NEXT(s, i, n, base);
    if (base < 0) return 1;
    bool largo = false;
    bool emoji = u_hasBinaryProperty(base, UCHAR_EMOJI_PRESENTATION);
    bool soMarcas = true;
#if U_ICU_VERSION_MAJOR_NUM >= 62
    const bool pictografico = u_hasBinaryProperty(base, UCHAR_EXTENDED_PICTOGRAPHIC);
#else
    const bool pictografico = u_hasBinaryProperty(base, UCHAR_EMOJI);
#endif
    for (std::int32_t j = 0; j < n;) {
        UChar32 c = 0;
        U8_NEXT(s, j, n, c);
        if (c < 0) {
            soMarcas = false;
            continue;
        }
        const auto ea = u_getIntPropertyValue(c, UCHAR_EAST_ASIAN_WIDTH);
        if (ea == U_EA_WIDE || ea == U_EA_FULLWIDTH) largo = true;
        if (c == 0xFE0F && pictografico) emoji = true;  // the emoji form of a text symbol
        const std::int8_t tipo = u_charType(c);
        if (tipo != U_NON_SPACING_MARK && tipo != U_ENCLOSING_MARK && tipo != U_FORMAT_CHAR) soMarcas = false;
    }
    if (largo || emoji) return 2;
    return soMarcas ? 0 : 1;
}

}  // namespace kivo::texto
