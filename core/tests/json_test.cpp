#include "json.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace kivo::json {
namespace {

TEST(JsonEstrito, RejeitaTudoQueNaoERfc8259) {
    const char* invalidos[] = {
        "",
        " ",
        "\xEF\xBB\xBF{}",      // BOM
        "{} x",                // trailing garbage
        "{}{}",
        "[1,]",                // trailing comma
        "{\"a\":1,}",
        "// c\n{}",            // comment
        "[NaN]",
        "[Infinity]",
        "[-]",
        "[01]",
        "[1.]",
        "[.5]",
        "[1e]",
        "[+1]",
        "[\"\x01\"]",          // raw control character
        "[\"\\x\"]",           // bad escape
        "[\"\\ud800\"]",       // lone high surrogate
        "[\"\\udc00\"]",       // lone low surrogate
        "[\"\\ud800\\u0041\"]",
        "[\"\xC0\xAF\"]",      // overlong
        "[\"\xED\xA0\x80\"]",  // encoded surrogate
        "[\"\xF4\x90\x80\x80\"]",
        "[\"\xFF\"]",
        "[\"abc",
        "{\"a\" 1}",
        "{1:2}",
        "[tru]",
        "[nul]",
    };
    for (const char* t : invalidos) {
        SCOPED_TRACE(t);
        EXPECT_FALSE(documento(t).has_value());
    }
    EXPECT_FALSE(documento(std::string_view("{}\0", 3)).has_value());
}

TEST(JsonEstrito, AceitaOValido) {
    const auto d = documento(" \t\r\n{\"a\":[1,-0,2.5e3,true,false,null,\"\\u00e9\\ud83d\\ude00\\/\"],\"a\":{}} \n");
    ASSERT_TRUE(d);
    EXPECT_TRUE((*d)["a"].is_object());  // the last duplicate wins
    const auto e = documento("[1,-0,2.5e3,true,false,null,\"\\u00e9\\ud83d\\ude00\\/\", 1e400, -1e400, 18446744073709551615]");
    ASSERT_TRUE(e);
    EXPECT_EQ((*e)[0], 1);
    EXPECT_EQ((*e)[2].get<double>(), 2500.0);
    EXPECT_EQ((*e)[6], "\u00e9\U0001F600/");
    EXPECT_TRUE(std::isinf((*e)[7].get<double>()));
    EXPECT_LT((*e)[8].get<double>(), 0);
    EXPECT_EQ((*e)[9].get<std::uint64_t>(), 18446744073709551615ull);
    EXPECT_TRUE(documento("\"x\"").has_value());  // scalars parse; callers decide
}

TEST(JsonEstrito, AninhamentoProfundoSemRecursao) {
    std::string fundo(200000, '[');
    fundo += std::string(200000, ']');
    EXPECT_TRUE(documento(fundo).has_value());
    fundo.pop_back();
    EXPECT_FALSE(documento(fundo).has_value());
}

// Feeds the parser a few bytes at a time, as standard input may.
struct FontePedacos {
    std::string_view resto;
    std::size_t tamanho;
    const char* p = nullptr;
    const char* fim = nullptr;
    bool recarregar() {
        if (resto.empty()) return false;
        const std::size_t n = std::min(tamanho, resto.size());
        p = resto.data();
        fim = p + n;
        resto.remove_prefix(n);
        return true;
    }
};

struct Contador {
    int textos = 0;
    std::string ultimo;
    bool inicioObjeto() { return true; }
    bool fimObjeto() { return true; }
    bool inicioLista() { return true; }
    bool fimLista() { return true; }
    bool querChave(std::size_t) { return true; }
    bool querTexto(std::size_t) { return true; }
    bool querNumero(std::size_t) { return true; }
    bool chave(std::string&) { return true; }
    bool texto(std::string& s) {
        ++textos;
        ultimo = s;
        return true;
    }
    bool numero(std::string_view) { return true; }
    bool literal(Literal) { return true; }
};

TEST(JsonEstrito, PedacosDeQualquerTamanhoDaoOMesmoResultado) {
    const std::string doc =
        "{\"a\":\"caf\u00e9 \\ud83d\\ude00 \\n 0123456789abcdef0123456789\",\"n\":-12.5e+3,\"b\":[true,null]}";
    for (std::size_t t : {1u, 2u, 3u, 7u, 16u, 1000u}) {
        SCOPED_TRACE(t);
        FontePedacos f{doc, t};
        Contador c;
        EXPECT_TRUE(analisar(f, c));
        EXPECT_EQ(c.ultimo, "caf\u00e9 \U0001F600 \n 0123456789abcdef0123456789");
    }
    const std::string ruim = "{\"a\":\"caf\xC3\"}";
    for (std::size_t t : {1u, 5u, 100u}) {
        FontePedacos f{ruim, t};
        Contador c;
        EXPECT_FALSE(analisar(f, c));
    }
}

TEST(Numeros, InteiroPeloValorExato) {
    constexpr auto mn = std::numeric_limits<std::int64_t>::min();
    constexpr auto mx = std::numeric_limits<std::int64_t>::max();
    struct Caso {
        const char* lexema;
        std::optional<std::int64_t> esperado;
    } casos[] = {
        {"12", 12},
        {"12.0", 12},
        {"1e2", 100},
        {"1.5e1", 15},
        {"-0", 0},
        {"0.0e-5", 0},
        {"12.5", std::nullopt},
        {"1e-9", std::nullopt},
        {"9223372036854775807", mx},
        {"9223372036854775807.0", mx},
        {"-9223372036854775808", mn},
        {"9223372036854775808", std::nullopt},
        {"92233720368547758070e-1", mx},
        {"1e19", std::nullopt},
        {"1e999999999999999999", std::nullopt},
        {"1e-999999999999999999", std::nullopt},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.lexema);
        EXPECT_EQ(inteiroExato(c.lexema, mn, mx), c.esperado);
    }
    EXPECT_EQ(inteiroExato("2147483648", INT32_MIN, INT32_MAX), std::nullopt);
    EXPECT_EQ(inteiroExato("-2147483648", INT32_MIN, INT32_MAX), INT32_MIN);
    EXPECT_EQ(paraDouble("1e400"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(paraDouble("4.9406564584124654e-324"), std::numeric_limits<double>::denorm_min());
}

}  // namespace
}  // namespace kivo::json
