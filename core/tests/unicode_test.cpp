#include "unicode.hpp"

#include <gtest/gtest.h>

namespace kivo::texto {
namespace {

TEST(Grafemas, ContaClustersNaoBytes) {
    struct Caso {
        const char* rotulo;
        std::string texto;
        std::size_t grafemas;
    } casos[] = {
        {"ascii", "abc", 3},
        {"vazio", "", 0},
        {"CR LF e um", "a\r\nb", 3},
        {"LF CR sao dois", "\n\r", 2},
        {"e precomposto", "caf\u00e9", 4},
        {"e com acento combinante", "cafe\u0301", 4},
        {"dois acentos", "e\u0301\u0302x", 2},
        {"familia com ZWJ", "\U0001F468\u200D\U0001F469\u200D\U0001F467!", 2},
        {"bandeira", "\U0001F1E7\U0001F1F7\U0001F1F5\U0001F1F9", 2},
        {"tom de pele", "\U0001F44D\U0001F3FD", 1},
        {"hangul decomposto", "\u1100\u1161\u11A8", 1},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.rotulo);
        EXPECT_EQ(contarGrafemas(c.texto), c.grafemas);
    }
}

TEST(Grafemas, CortaSemPartirCluster) {
    EXPECT_EQ(primeirosGrafemas("abcdef", 3), "abc");
    EXPECT_EQ(primeirosGrafemas("ab\r\ncd", 3), "ab\r\n");
    EXPECT_EQ(primeirosGrafemas("cafe\u0301s", 4), "cafe\u0301");
    EXPECT_EQ(primeirosGrafemas("\U0001F44D\U0001F3FDx", 1), "\U0001F44D\U0001F3FD");
    EXPECT_EQ(primeirosGrafemas("ab", 5), "ab");
    EXPECT_EQ(contarGrafemas("abcdef", 2), 2u);
}

TEST(Grafemas, LimitesComVizinhoAscii) {
    // Each offset checked against the clusters of the text.
    EXPECT_FALSE(limite("a\u0301", 1));
    EXPECT_FALSE(limite("\r\n", 1));
    EXPECT_TRUE(limite("\n\r", 1));
    EXPECT_FALSE(limite("_\u200D", 1));
    EXPECT_FALSE(limite("\u0600 ", 2));  // a prepended mark holds the next character
    EXPECT_TRUE(limite("\u00e9a", 2));
    EXPECT_FALSE(limite("\u00e9", 1));  // inside a code point
    EXPECT_FALSE(limite("\U0001F1E7\U0001F1F7", 4));
    EXPECT_TRUE(limite("\U0001F1E7\U0001F1F7\U0001F1F5", 8));
}

TEST(Aparar, TresConjuntos) {
    struct Caso {
        const char* rotulo;
        std::string texto;
        Conjunto conjunto;
        std::string esperado;
    } casos[] = {
        {"tab e espaco", "\t a b \t", Conjunto::espaco, "a b"},
        {"quebra fica no espaco", "\n a \n", Conjunto::espaco, "\n a \n"},
        {"nbsp e Zs", "\u00a0\u3000x\u2003", Conjunto::espaco, "x"},
        {"linhas e Z", "\r\n\u2028 \u0085x\u000b\u000c\u2029", Conjunto::espacoELinhas, "x"},
        {"tab nao e Z", "\tx\t", Conjunto::espacoELinhas, "\tx\t"},
        {"so linhas", "\n x \n", Conjunto::linhas, " x "},
        {"espaco com acento para", " \u0301x ", Conjunto::espaco, " \u0301x"},
        {"tudo branco", " \t ", Conjunto::espaco, ""},
        {"mongolian vowel separator nao e Zs", "\u180ex", Conjunto::espaco, "\u180ex"},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.rotulo);
        EXPECT_EQ(aparar(c.texto, c.conjunto), c.esperado);
    }
}

TEST(Literais, SoEmLimitesDeCluster) {
    EXPECT_TRUE(comecaCom("mcp__x", "mcp__"));
    EXPECT_FALSE(comecaCom("mcp__\u0301x", "mcp__"));
    EXPECT_FALSE(comecaCom("mcp_", "mcp__"));
    EXPECT_EQ(encontrar("a__b__c", "__"), 1u);
    EXPECT_EQ(encontrar("a_\u0301_b__c", "__"), 6u);
    EXPECT_EQ(encontrar("x\r\n\n", "\n\n"), npos);
    EXPECT_EQ(encontrar("x\r\n\n\n", "\n\n"), 3u);
}

TEST(Literais, SemCaixaComDobraCompleta) {
    EXPECT_TRUE(contemSemCaixa("Needs your PERMISSION now", "permission"));
    EXPECT_TRUE(contemSemCaixa("Is Waiting For Your Input", "waiting for your input"));
    EXPECT_FALSE(contemSemCaixa("permissio", "permission"));
    EXPECT_TRUE(contemSemCaixa("\u00c9 PERMI\u017fSION", "permission"));  // long s folds to s
    EXPECT_TRUE(contemSemCaixa("perm\u0130ssion", "permi\u0307ssion"));
    EXPECT_FALSE(contemSemCaixa("permission\u0301", "permission"));
    EXPECT_FALSE(contemSemCaixa("permissio\u00f1", "permission"));
}

TEST(Canonico, IgualdadeEOrdem) {
    EXPECT_TRUE(iguais("caf\u00e9", "cafe\u0301"));
    EXPECT_FALSE(iguais("cafe", "caf\u00e9"));
    EXPECT_TRUE(iguaisOpcionais(std::optional<std::string>(), std::optional<std::string>()));
    EXPECT_FALSE(iguaisOpcionais(std::optional<std::string>(""), std::optional<std::string>()));
    EXPECT_EQ(comparar("cafe\u0301", "caf\u00e9"), 0);
    EXPECT_LT(comparar("Z", "a"), 0);
    EXPECT_GT(comparar("e\u0301", "f"), 0);  // NFC turns it into U+00E9, after "f"
    EXPECT_EQ(nfc("A\u030a"), "\u00c5");
}

TEST(Caixa, CompletaSemLocale) {
    EXPECT_EQ(minusculas("ESPA\u00c7O"), "espa\u00e7o");
    EXPECT_EQ(minusculas("I"), "i");  // never Turkish dotless i
    EXPECT_EQ(maiusculas("stra\u00dfe"), "STRASSE");
    EXPECT_EQ(maiusculas("a\u0301"), "A\u0301");
}

TEST(Utf8, ValidacaoEstrita) {
    EXPECT_TRUE(utf8Valido("a\u00e9\U0001F600"));
    EXPECT_FALSE(utf8Valido("\xc0\xaf"));          // overlong
    EXPECT_FALSE(utf8Valido("\xed\xa0\x80"));      // encoded surrogate
    EXPECT_FALSE(utf8Valido("\xf4\x90\x80\x80"));  // beyond U+10FFFF
    EXPECT_FALSE(utf8Valido("\xe2\x82"));          // truncated
    std::size_t i = 0;
    EXPECT_EQ(decodificar("\xff", i), 0xFFFDu);
    EXPECT_EQ(i, 1u);
}

TEST(Regex, UnicodeEPosicoesEmBytes) {
    const Regex r("-[0-9a-f]{6,}$");
    EXPECT_EQ(r.inicio("\u00e9-abcdef"), 2u);
    EXPECT_EQ(r.inicio("x-abcdef\n"), 1u);  // $ also before a final line end
    EXPECT_EQ(r.inicio("x-ABCDEF"), npos);
    const Regex sem("\\bterminal\\b", true);
    EXPECT_TRUE(sem.busca("O TERMINAL"));
    EXPECT_FALSE(sem.busca("terminals"));
    EXPECT_FALSE(sem.busca("terminal\u00e9"));
    EXPECT_EQ(Regex("\\[([^\\]]+)\\]\\([^)]*\\)").trocarTodos("ver [a\u00e7\u00e3o](x) e [b]()", "$1"),
              "ver a\u00e7\u00e3o e b");
}

TEST(Propriedades, Categorias) {
    EXPECT_TRUE(letraMarcaOuNumero(U'\u00e9'));
    EXPECT_TRUE(letraMarcaOuNumero(U'\u0301'));
    EXPECT_TRUE(letraMarcaOuNumero(U'\u0663'));
    EXPECT_FALSE(letraMarcaOuNumero(U'.'));
    EXPECT_FALSE(letraMarcaOuNumero(U'\U0001F600'));
    EXPECT_TRUE(digitoDecimal(U'\u0663'));
    EXPECT_FALSE(digitoDecimal(U'\u00bd'));
}

}  // namespace
}  // namespace kivo::texto
