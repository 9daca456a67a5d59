#include "base/texto.hpp"

#include <unicode/ubrk.h>
#include <unicode/uchar.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>
#include <unicode/uvernum.h>

#include <algorithm>
#include <memory>

namespace kivo::app {

namespace {

constexpr std::string_view reticencias = "\u2026";

bool soAscii(std::string_view t) {
    return std::all_of(t.begin(), t.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Only code points below U+0300, well formed (one or two bytes each).
bool soLatino(std::string_view t) {
    for (std::size_t i = 0; i < t.size(); ++i) {
        const auto b = static_cast<unsigned char>(t[i]);
        if (b < 0x80) continue;
        if (b < 0xC2 || b > 0xCB || i + 1 >= t.size()) return false;
        const auto c = static_cast<unsigned char>(t[i + 1]);
        if ((c & 0xC0) != 0x80) return false;
        ++i;
    }
    return true;
}

// One grapheme cluster: its bytes in the text and its columns.
struct Aglomerado {
    std::size_t inicio;
    std::size_t fim;
    int largura;
};

int larguraDoAglomerado(std::string_view t) {
    const auto* s = reinterpret_cast<const uint8_t*>(t.data());
    const auto n = static_cast<int32_t>(t.size());
    int32_t i = 0;
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
    for (int32_t j = 0; j < n;) {
        UChar32 c = 0;
        U8_NEXT(s, j, n, c);
        if (c < 0) {
            soMarcas = false;
            continue;
        }
        const auto ea = u_getIntPropertyValue(c, UCHAR_EAST_ASIAN_WIDTH);
        if (ea == U_EA_WIDE || ea == U_EA_FULLWIDTH) largo = true;
        if (c == 0xFE0F && pictografico) emoji = true;  // the emoji form of a text symbol
        const int8_t tipo = u_charType(c);
        if (tipo != U_NON_SPACING_MARK && tipo != U_ENCLOSING_MARK && tipo != U_FORMAT_CHAR) soMarcas = false;
    }
    if (largo || emoji) return 2;
    return soMarcas ? 0 : 1;
}

struct FecharIterador {
    void operator()(UBreakIterator* b) const { ubrk_close(b); }
};

// The clusters of `t`, in order.
std::vector<Aglomerado> aglomerados(std::string_view t) {
    std::vector<Aglomerado> lista;
    if (soAscii(t)) {
        lista.reserve(t.size());
        for (std::size_t i = 0; i < t.size(); ++i) lista.push_back({i, i + 1, 1});
        return lista;
    }
    if (soLatino(t)) {
        // Below U+0300 (where combining marks begin) every code point of limpo() text
        // is a cluster of one column: no break iterator needed.
        for (std::size_t i = 0; i < t.size();) {
            const std::size_t n = static_cast<unsigned char>(t[i]) < 0x80 ? 1 : 2;
            lista.push_back({i, i + n, 1});
            i += n;
        }
        return lista;
    }
    // One iterator per thread, reused: opening one costs more than a short text.
    thread_local std::unique_ptr<UBreakIterator, FecharIterador> iterador;
    UErrorCode erro = U_ZERO_ERROR;
    if (!iterador) iterador.reset(ubrk_open(UBRK_CHARACTER, "", nullptr, 0, &erro));
    UText* ut = utext_openUTF8(nullptr, t.data(), static_cast<int64_t>(t.size()), &erro);
    if (iterador && U_SUCCESS(erro)) ubrk_setUText(iterador.get(), ut, &erro);
    if (!iterador || U_FAILURE(erro)) {
        // Without ICU's rules: one cluster per code point.
        utext_close(ut);
        const auto* s = reinterpret_cast<const uint8_t*>(t.data());
        const auto n = static_cast<int32_t>(t.size());
        for (int32_t i = 0; i < n;) {
            const int32_t inicio = i;
            UChar32 c = 0;
            U8_NEXT(s, i, n, c);
            lista.push_back({static_cast<std::size_t>(inicio), static_cast<std::size_t>(i),
                             larguraDoAglomerado(t.substr(inicio, i - inicio))});
        }
        return lista;
    }
    int32_t inicio = ubrk_first(iterador.get());
    for (int32_t fim = ubrk_next(iterador.get()); fim != UBRK_DONE; fim = ubrk_next(iterador.get())) {
        const auto a = static_cast<std::size_t>(inicio);
        const auto b = static_cast<std::size_t>(fim);
        lista.push_back({a, b, larguraDoAglomerado(t.substr(a, b - a))});
        inicio = fim;
    }
    erro = U_ZERO_ERROR;
    ubrk_setText(iterador.get(), nullptr, 0, &erro);  // let go of the UText
    utext_close(ut);
    return lista;
}

}  // namespace

std::string limpo(std::string_view texto) {
    std::string saida;
    saida.reserve(texto.size());
    const auto* s = reinterpret_cast<const uint8_t*>(texto.data());
    const auto n = static_cast<int32_t>(texto.size());
    for (int32_t i = 0; i < n;) {
        const auto b = s[i];
        if (b < 0x80) {
            saida += (b < 0x20 || b == 0x7F) ? ' ' : static_cast<char>(b);
            ++i;
            continue;
        }
        const int32_t inicio = i;
        UChar32 c = 0;
        U8_NEXT(s, i, n, c);
        if (c < 0) {
            saida += "\uFFFD";
        } else if (c <= 0x9F) {
            saida += ' ';  // U+0080 to U+009F: C1 controls, CSI among them
        } else if (u_charType(c) == U_FORMAT_CHAR && c != 0x200D) {
            // dropped: it would reorder or hide part of the line
        } else {
            saida.append(texto.substr(inicio, i - inicio));
        }
    }
    return saida;
}

int larguraDe(std::string_view texto) {
    if (soAscii(texto)) return static_cast<int>(texto.size());
    if (soLatino(texto)) {
        return static_cast<int>(std::count_if(texto.begin(), texto.end(), [](char c) {
            return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        }));
    }
    int total = 0;
    for (const Aglomerado& a : aglomerados(texto)) total += a.largura;
    return total;
}

std::string caber(std::string_view texto, int largura) {
    if (largura < 1) return "";
    if (soAscii(texto) && texto.size() <= static_cast<std::size_t>(largura)) return std::string(texto);
    const std::vector<Aglomerado> lista = aglomerados(texto);
    int total = 0;
    for (const Aglomerado& a : lista) total += a.largura;
    if (total <= largura) return std::string(texto);
    std::size_t fim = 0;
    int usado = 0;
    for (const Aglomerado& a : lista) {
        if (usado + a.largura > largura - 1) break;
        usado += a.largura;
        fim = a.fim;
    }
    // No space right before the ellipsis.
    while (fim > 0 && texto[fim - 1] == ' ') --fim;
    return std::string(texto.substr(0, fim)) + std::string(reticencias);
}

std::vector<std::string> quebrar(std::string_view texto, int largura) {
    if (largura < 1) return {std::string(texto)};
    std::vector<std::string> linhas;
    std::string linha;
    int usado = 0;
    const std::vector<Aglomerado> lista = aglomerados(texto);
    std::size_t i = 0;
    auto fecharLinha = [&] {
        while (!linha.empty() && linha.back() == ' ') linha.pop_back();
        linhas.push_back(std::move(linha));
        linha.clear();
        usado = 0;
    };
    while (i < lista.size()) {
        if (texto[lista[i].inicio] == ' ') {
            if (usado > 0 && usado < largura) {
                linha += ' ';
                ++usado;
            }
            ++i;
            continue;
        }
        // The next word: clusters up to a space.
        std::size_t j = i;
        int palavra = 0;
        while (j < lista.size() && texto[lista[j].inicio] != ' ') palavra += lista[j++].largura;
        // A word that fits no line anyway starts where it is.
        if (usado > 0 && usado + palavra > largura && palavra <= largura) fecharLinha();
        for (; i < j; ++i) {
            if (usado + lista[i].largura > largura && usado > 0) fecharLinha();
            linha.append(texto.substr(lista[i].inicio, lista[i].fim - lista[i].inicio));
            usado += lista[i].largura;
        }
    }
    if (!linha.empty() || linhas.empty()) fecharLinha();
    return linhas;
}

}  // namespace kivo::app
