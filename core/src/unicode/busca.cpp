// Character sets, trimming and literal matching on cluster boundaries.
#include "icu_interno.hpp"

#include <unicode/ustring.h>
#include <unicode/utf16.h>

#include <vector>

namespace kivo::texto {

using interno::ligaAoAnterior;

// --- Sets and trimming

bool pertence(char32_t c, Conjunto conjunto) noexcept {
    switch (conjunto) {
        case Conjunto::espaco:
            if (c == '\t' || c == ' ') return true;
            if (c < 0x80) return false;
            return u_charType(static_cast<UChar32>(c)) == U_SPACE_SEPARATOR;
        case Conjunto::espacoELinhas:
            if ((c >= 0x0A && c <= 0x0D) || c == ' ' || c == 0x85) return true;
            if (c < 0x80) return false;
            {
                const auto t = u_charType(static_cast<UChar32>(c));
                return t == U_SPACE_SEPARATOR || t == U_LINE_SEPARATOR ||
                       t == U_PARAGRAPH_SEPARATOR;
            }
        case Conjunto::linhas:
            return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
    }
    return false;
}

std::string_view aparar(std::string_view s, Conjunto conjunto) {
    std::size_t ini = 0;
    while (ini < s.size()) {
        std::size_t k = ini;
        const char32_t c = decodificar(s, k);
        if (!pertence(c, conjunto)) break;
        if (k < s.size()) {
            std::size_t j = k;
            const char32_t seguinte = decodificar(s, j);
            if (seguinte >= 0x80 && ligaAoAnterior(seguinte)) break;
        }
        ini = k;
    }
    std::size_t fim = s.size();
    while (fim > ini) {
        std::size_t inicioAnterior = 0;
        const char32_t c = interno::anterior(s, fim, inicioAnterior);
        if (!pertence(c, conjunto)) break;
        fim = inicioAnterior;
    }
    return s.substr(ini, fim - ini);
}

// --- Literal matching

bool comecaCom(std::string_view s, std::string_view prefixo) {
    return s.starts_with(prefixo) && limite(s, prefixo.size());
}

std::size_t encontrar(std::string_view s, std::string_view agulha, std::size_t desde) {
    for (std::size_t p = s.find(agulha, desde); p != npos; p = s.find(agulha, p + 1)) {
        if (limite(s, p) && limite(s, p + agulha.size())) return p;
    }
    return npos;
}

bool contemSemCaixa(std::string_view s, std::string_view agulha) {
    if (agulha.empty()) return true;
    if (ehAscii(s) && ehAscii(agulha)) {
        auto baixa = [](char c) {
            return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        };
        for (std::size_t p = 0; p + agulha.size() <= s.size(); ++p) {
            std::size_t k = 0;
            while (k < agulha.size() && baixa(s[p + k]) == baixa(agulha[k])) ++k;
            if (k == agulha.size() && limite(s, p) && limite(s, p + k)) return true;
        }
        return false;
    }
    // Fold code point by code point, remembering where each folded unit came from.
    struct Unidade {
        char32_t c;
        std::size_t origem;  // byte offset of the source code point
        bool primeira;       // first unit of that code point's folding
    };
    auto dobrar = [](std::string_view t, std::vector<Unidade>& saida) {
        for (std::size_t i = 0; i < t.size();) {
            const std::size_t origem = i;
            const char32_t c = decodificar(t, i);
            UChar origem16[2];
            int32_t n16 = 0;
            U16_APPEND_UNSAFE(origem16, n16, static_cast<UChar32>(c));
            UChar dobrado[8];
            UErrorCode erro = U_ZERO_ERROR;
            const int32_t m = u_strFoldCase(dobrado, 8, origem16, n16, U_FOLD_CASE_DEFAULT, &erro);
            bool primeira = true;
            if (U_FAILURE(erro)) {
                saida.push_back({c, origem, true});
                continue;
            }
            for (int32_t k = 0; k < m;) {
                UChar32 d;
                U16_NEXT(dobrado, k, m, d);
                saida.push_back({static_cast<char32_t>(d), origem, primeira});
                primeira = false;
            }
        }
    };
    std::vector<Unidade> texto;
    std::vector<Unidade> procurada;
    dobrar(s, texto);
    dobrar(agulha, procurada);
    for (std::size_t p = 0; p + procurada.size() <= texto.size(); ++p) {
        if (!texto[p].primeira || !limite(s, texto[p].origem)) continue;
        std::size_t k = 0;
        while (k < procurada.size() && texto[p + k].c == procurada[k].c) ++k;
        if (k != procurada.size()) continue;
        const std::size_t fim = p + k;
        if (fim == texto.size() || (texto[fim].primeira && limite(s, texto[fim].origem))) return true;
    }
    return false;
}

}  // namespace kivo::texto
