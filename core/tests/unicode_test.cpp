// Text by Unicode rules: UTF-8, grapheme clusters, trimming, matching on cluster
// boundaries. Callers' tables check the rest (canonical ids, labels, keys).
#include "unicode.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace kivo::texto {
namespace {
constexpr char32_t kF = 0xFFFD;

// The bounds of every lead and continuation byte; each byte of a sequence that is not
// well-formed reads as U+FFFD of its own.
TEST(Utf8, DecodificaEValida) {
    const std::tuple<std::string, std::vector<char32_t>, bool> casos[] = {
        {"a\x7f\xc3\x80\xdf\xbf", {'a', 0x7F, 0xC0, 0x7FF}, true},
        {"\xe0\xa0\x80\xed\x9f\xbf\xef\xbc\x91\xef\xbf\xbd", {0x800, 0xD7FF, 0xFF11, kF}, true},
        {"xyz\xf0\x90\x80\x80\xf0\x9f\x98\x80\xf4\x8f\xbf\xbf", {'x', 'y', 'z', 0x10000, 0x1F600, 0x10FFFF}, true},
        {"\xc0\xaf\xc2", {kF, kF, kF}, false}, {"\xf0\x90\x41\x80", {kF, kF, 'A', kF}, false},  // overlong, truncated
        {"\xe0\x9f\x80\xed\xa0\x80", {kF, kF, kF, kF, kF, kF}, false},  // overlong, surrogate
        {"\xe2\x82" "a\xff", {kF, kF, 'a', kF}, false}, {"a\x80", {'a', kF}, false},
        {"\xf0\x8f\xbf\xbf\xf4\x90\x80\x80", {kF, kF, kF, kF, kF, kF, kF, kF}, false},  // beyond U+10FFFF
    };
    for (const auto& [texto, codigos, valido] : casos) {
        SCOPED_TRACE(texto);
        std::vector<char32_t> lidos;
        std::string deNovo;
        for (std::size_t i = 0; i < texto.size();) anexarUtf8(deNovo, lidos.emplace_back(decodificar(texto, i)));
        EXPECT_EQ(lidos, codigos);
        EXPECT_EQ(contarCodigos(texto), codigos.size());
        EXPECT_EQ(utf8Valido(texto), valido);
        EXPECT_EQ(deNovo == texto, valido);
    }
}

TEST(Grafemas, ContaCortaELimites) {
    const std::tuple<std::string, std::size_t, std::string> casos[] = {  // text, clusters, first two
        {"abc", 3, "ab"}, {"", 0, ""}, {"\r\nb\n\r", 4, "\r\nb"}, {"e\u0301\u0302xy", 3, "e\u0301\u0302x"},
        {"\U0001F468\u200D\U0001F469\u200D\U0001F467!", 2, "\U0001F468\u200D\U0001F469\u200D\U0001F467!"},
        {"\U0001F1E7\U0001F1F7\U0001F1F5\U0001F1F9x", 3, "\U0001F1E7\U0001F1F7\U0001F1F5\U0001F1F9"},
        {"\U0001F44D\U0001F3FDab", 3, "\U0001F44D\U0001F3FDa"},
        {"\u1100\u1161\u11A8\uAC00\u11A8x", 3, "\u1100\u1161\u11A8\uAC00\u11A8"},  // Hangul: L V T, LV T
        {"12345678\u00e91234567", 16, "12"},  // the accent in the second 8-byte word
    };
    for (const auto& [texto, total, primeiros] : casos)
        EXPECT_EQ(std::tuple(contarGrafemas(texto), primeirosGrafemas(texto, 2)), std::tuple(total, primeiros)) << texto;
    EXPECT_EQ(contarGrafemas("e\u0301\u0302xy", 1), 1u);  // counting stops at the limit
    const std::tuple<std::string_view, std::size_t, bool> limites[] = {
        {" \u0301", 1, false}, {"\r\n", 1, false}, {"\n\r", 1, true}, {"_\u200D", 1, false}, {"\u00e9a", 2, true},
        {"\u0600 ", 2, false},  // a prepended mark holds the next character, but not a control one
        {"\u0600\n", 2, true}, {"\u0600\u0080", 2, true},
        {"\u1100\uAC00", 3, false}, {"\u11A8\u1100", 3, true},  // Hangul L joins LV; T never joins L
        {"\U0001F1E7\U0001F1F7", 4, false}, {"\U0001F1E7\U0001F1F7\U0001F1F5", 8, true}, {"a", 1, true},
        {"\n\xb4", 1, true},  // a stray continuation byte is a character of its own
        {std::string_view("\u20ac").substr(1), 1, true},  // ...even after a lead byte outside the view
        {std::string_view("\r\n", 1), 1, true},  // the end of a view is a boundary, whatever follows it
        {"\u0080\u0301", 2, true},               // nothing joins a control character
    };
    for (const auto& [s, i, esperado] : limites) EXPECT_EQ(limite(s, i), esperado) << s << " @" << i;
}

TEST(Aparar, TresConjuntos) {
    const std::tuple<std::string, Conjunto, std::string> casos[] = {
        {"\t a b \t", Conjunto::espaco, "a b"}, {"\n a \n", Conjunto::espaco, "\n a \n"},
        {" \u0301x ", Conjunto::espaco, " \u0301x"},  // a space carrying a mark stays
        {"\u180ex", Conjunto::espaco, "\u180ex"},      // not Zs
        {"\r\n\u2028 \u0085x\u000b\u000c\u2029\r", Conjunto::espacoELinhas, "x"},
        {"\tx\t", Conjunto::espacoELinhas, "\tx\t"}, {" \t ", Conjunto::espaco, ""},
        {"\n x \u0085", Conjunto::linhas, " x "}};
    for (const auto& [texto, conjunto, esperado] : casos) EXPECT_EQ(aparar(texto, conjunto), esperado) << texto;
}

TEST(Literais, SoEmLimitesDeCluster) {
    EXPECT_EQ(encontrar("a_\u0301_b__c", "__"), 6u);
    EXPECT_EQ(encontrar("x\r\n\n\n", "\n\n"), 3u);
    const std::tuple<std::string, std::string, bool> casos[] = {
        {"Needs your PERMISSION now", "permission", true}, {"ZONA AZUL", "zona azul", true},
        {"permissio", "permission", false}, {"\u00c9 PERMI\u017fSION!", "permission", true},  // long s folds to s
        {"perm\u0130ssion", "permi\u0307ssion", true}, {"permission\u0301", "permission", false},
        {"\u0301permission", "permission", true}, {"permissio\u00f1", "permission", false}, {"x", "", true}};
    for (const auto& [texto, agulha, contem] : casos) EXPECT_EQ(contemSemCaixa(texto, agulha), contem) << texto;
    EXPECT_TRUE(iguais("K", "\u212a"));  // canonically equal, though only one side is ASCII
}
}  // namespace
}  // namespace kivo::texto
