// Texts from records: made safe, measured in terminal columns, cut and broken.
#include "base/texto.hpp"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace {
// Controls become spaces; format characters that reorder or hide text go (RLO, isolates,
// invisible space, soft hyphen), the joiner that glues emoji stays; bad UTF-8 is marked.
TEST(Texto, Limpo) {
    const std::pair<const char*, const char*> casos[] = {
        {"a\x1b[31mb\r\n\x7f", "a [31mb   "}, {"\u0085\u009b", "  "},
        {"a\u00A0\u00E7\u00E3o \u2026", "a\u00A0\u00E7\u00E3o \u2026"},
        {"abc\u202Efdp\u2066x\u2069", "abcfdpx"},
        {"zero\u200Bwidth so\u00ADft \uFEFF", "zerowidth soft "}, {"a\xC3(b\xFF", "a\uFFFD(b\uFFFD"},
        {"\U0001F468\u200D\U0001F469", "\U0001F468\u200D\U0001F469"},
        {"\xE2\x82x\xF0\x9F\x98", "\uFFFDx\uFFFD"}};  // a sequence cut short is one mark
    for (const auto& [entrada, saida] : casos) EXPECT_EQ(kivo::app::limpo(entrada), saida) << entrada;
}

// Combining marks join their letter; CJK, fullwidth, emoji and flags are two columns, a
// text symbol is one unless asked for as emoji.
TEST(Texto, Largura) {
    const std::pair<int, std::vector<const char*>> casos[] = {
        {0, {""}}, {1, {"e\u0301", "\u263A"}}, {3, {"\u2026\u00B7\u2014"}}, {4, {"a\u00E7\u00E3o"}},
        {2, {"\uFF21", "\U0001F44D", "\u263A\uFE0F", "\U0001F1E7\U0001F1F7",
             "\U0001F468\u200D\U0001F469\u200D\U0001F467"}},
        {6, {"\u65E5\u672C\u8A9E"}}};
    for (const auto& [colunas, textos] : casos)
        for (const char* texto : textos) EXPECT_EQ(kivo::app::larguraDe(texto), colunas) << texto;
}

// No space before the ellipsis, a wide cluster never halved; a word as wide as the line is not split.
TEST(Texto, CaberEQuebrar) {
    const std::tuple<const char*, int, const char*> casos[] = {
        {"loja-virtual", 12, "loja-virtual"}, {"loja-virtual", 11, "loja-virtu\u2026"},
        {"Corrigir a fila", 10, "Corrigir\u2026"}, {"\u65E5\u672C\u8A9E", 4, "\u65E5\u2026"},
        {"e\u0301e\u0301e\u0301", 2, "e\u0301\u2026"}, {"abc", 1, "\u2026"}, {"abc", 0, ""}};
    for (const auto& [texto, n, saida] : casos) EXPECT_EQ(kivo::app::caber(texto, n), saida) << texto << n;
    const std::tuple<const char*, int, std::vector<std::string>> quebras[] = {
        {"Quer permiss\u00E3o para rodar um comando", 20, {"Quer permiss\u00E3o para", "rodar um comando"}},
        {"abcdefghij", 4, {"abcd", "efgh", "ij"}}, {"ab abcd", 4, {"ab", "abcd"}}, {"", 10, {""}},
        {"\u65E5\u672C\u8A9E\u30C6", 5, {"\u65E5\u672C", "\u8A9E\u30C6"}}, {"sem limite", 0, {"sem limite"}}};
    for (const auto& [texto, n, linhas] : quebras) EXPECT_EQ(kivo::app::quebrar(texto, n), linhas) << texto << n;
}
}  // namespace
