#include "base/texto.hpp"

#include "unicode.hpp"

#include <algorithm>
#include <optional>

namespace kivo::app {

namespace {

namespace unicode = ::kivo::texto;

constexpr std::string_view reticencias = "\u2026";

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

// The clusters of `t`, in order.
std::vector<Aglomerado> aglomerados(std::string_view t) {
    std::vector<Aglomerado> lista;
    if (unicode::ehAscii(t)) {
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
    for (const unicode::Grafema& g : unicode::grafemas(t))
        lista.push_back({g.inicio, g.fim, unicode::colunas(t.substr(g.inicio, g.fim - g.inicio))});
    return lista;
}

}  // namespace

std::string limpo(std::string_view texto) {
    std::string saida;
    saida.reserve(texto.size());
    for (std::size_t i = 0; i < texto.size();) {
        const auto b = static_cast<unsigned char>(texto[i]);
        if (b < 0x80) {
            saida += (b < 0x20 || b == 0x7F) ? ' ' : static_cast<char>(b);
            ++i;
            continue;
        }
        const std::size_t inicio = i;
        const std::optional<char32_t> c = unicode::lerCodigo(texto, i);
        if (!c) {
            saida += "\uFFFD";
        } else if (*c <= 0x9F) {
            saida += ' ';  // U+0080 to U+009F: C1 controls, CSI among them
        } else if (unicode::formato(*c) && *c != 0x200D) {
            // dropped: it would reorder or hide part of the line
        } else {
            saida.append(texto.substr(inicio, i - inicio));
        }
    }
    return saida;
}

int larguraDe(std::string_view texto) {
    if (unicode::ehAscii(texto)) return static_cast<int>(texto.size());
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
    if (unicode::ehAscii(texto) && texto.size() <= static_cast<std::size_t>(largura)) return std::string(texto);
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

std::string entreAspas(std::string_view texto) {
    std::string t = "'";
    for (const char c : texto) {
        if (c == '\'') {
            t += "'\\''";
        } else {
            t += c;
        }
    }
    return t + "'";
}

}  // namespace kivo::app
