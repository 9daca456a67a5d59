// Texts from records: made safe, measured in terminal columns, cut and broken.
#include "texto.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using kivo::app::caber;
using kivo::app::larguraDe;
using kivo::app::limpo;
using kivo::app::quebrar;

namespace {

TEST(Texto, Limpo) {
    const std::pair<const char*, const char*> casos[] = {
        {"a\x1b[31mb", "a [31mb"}, {"linha\r\nnova", "linha  nova"}, {"\x7f", " "}, {"\u0085\u009b", "  "},
        {"a\u00A0\u00E7\u00E3o \u2026", "a\u00A0\u00E7\u00E3o \u2026"},
        // Format characters: reordering (RLO, isolates), invisible space, soft hyphen.
        {"abc\u202Efdp.exe", "abcfdp.exe"}, {"\u2066x\u2067y\u2068z\u2069", "xyz"},
        {"zero\u200Bwidth so\u00ADft \uFEFF", "zerowidth soft "},
        {"\U0001F468\u200D\U0001F469", "\U0001F468\u200D\U0001F469"},  // the joiner glues emoji
        {"a\xC3(b\xFF", "a\uFFFD(b\uFFFD"},
    };
    for (const auto& [entrada, saida] : casos) {
        SCOPED_TRACE(entrada);
        EXPECT_EQ(limpo(entrada), saida);
    }
}

TEST(Texto, Largura) {
    const std::pair<const char*, int> casos[] = {
        {"", 0}, {"loja-virtual", 12}, {"a\u00E7\u00E3o", 4},
        {"e\u0301", 1},                                       // e + combining acute: one cluster
        {"\u65E5\u672C\u8A9E", 6}, {"\uD55C\uAD6D", 4},       // CJK, Hangul: wide
        {"\uFF21", 2},                                        // fullwidth A
        {"\U0001F44D", 2}, {"\u263A", 1}, {"\u263A\uFE0F", 2},  // emoji; a text symbol, asked for as emoji
        {"\U0001F1E7\U0001F1F7", 2},                          // a flag: two regional indicators
        {"\U0001F468\u200D\U0001F469\u200D\U0001F467", 2}, {"\u2026\u00B7\u2014", 3},
    };
    for (const auto& [texto, colunas] : casos) {
        SCOPED_TRACE(texto);
        EXPECT_EQ(larguraDe(texto), colunas);
    }
}

TEST(Texto, CaberEQuebrar) {
    struct Caso {
        const char* texto;
        int largura;
        const char* saida;
    };
    const Caso casos[] = {
        {"loja-virtual", 12, "loja-virtual"}, {"loja-virtual", 11, "loja-virtu\u2026"},
        {"Corrigir a fila", 10, "Corrigir\u2026"},  // no space before the ellipsis
        {"\u65E5\u672C\u8A9E\u30C6\u30AD", 7, "\u65E5\u672C\u8A9E\u2026"},
        {"\u65E5\u672C\u8A9E", 5, "\u65E5\u672C\u2026"},
        {"\u65E5\u672C\u8A9E", 4, "\u65E5\u2026"},  // a wide cluster is never halved
        {"e\u0301e\u0301e\u0301", 2, "e\u0301\u2026"},
        {"\U0001F468\u200D\U0001F469 fam\u00EDlia", 3, "\U0001F468\u200D\U0001F469\u2026"},
        {"abc", 1, "\u2026"}, {"abc", 0, ""},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(std::string(c.texto) + " em " + std::to_string(c.largura));
        EXPECT_EQ(caber(c.texto, c.largura), c.saida);
    }
    struct Quebra {
        const char* texto;
        int largura;
        std::vector<std::string> linhas;
    };
    const Quebra quebras[] = {
        {"Quer permiss\u00E3o para rodar um comando \u00B7 agora", 20,
         {"Quer permiss\u00E3o para", "rodar um comando \u00B7", "agora"}},
        {"curto", 20, {"curto"}}, {"abcdefghij", 4, {"abcd", "efgh", "ij"}},
        {"ab abcd", 4, {"ab", "abcd"}},  // a word as wide as the line is not split
        {"\u65E5\u672C\u8A9E\u30C6", 5, {"\u65E5\u672C", "\u8A9E\u30C6"}},
        {"", 10, {""}}, {"sem limite nenhum", 0, {"sem limite nenhum"}},
    };
    for (const Quebra& c : quebras) {
        SCOPED_TRACE(std::string(c.texto) + " em " + std::to_string(c.largura));
        EXPECT_EQ(quebrar(c.texto, c.largura), c.linhas);
    }
}

}  // namespace
