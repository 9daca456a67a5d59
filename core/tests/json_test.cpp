// The strict JSON reader: what RFC 8259 allows and nothing else, deep nesting, input
// that arrives in pieces, and numbers read as exact integers.
#include "json.hpp"

#include <gtest/gtest.h>

#include <limits>

namespace kivo::json {
namespace {

TEST(JsonEstrito, RejeitaTudoQueNaoERfc8259) {
    const std::string invalidos[] = {
        "", "\xEF\xBB\xBF{}", "{} x", "{}{}", "[1,]", "{\"a\":1,}", "// c\n{}", "[NaN]", "[-]", "[01]", "[1.]",
        "[.5]", "[1e]", "[+1]", "[\"\x01\"]", "[\"\\x\"]", "[\"\\ud800\"]", "[\"\\udc00\"]", "[\"\\ud800\\u0041\"]",
        "[\"\xC0\xAF\"]", "[\"\xED\xA0\x80\"]", "[\"\xF4\x90\x80\x80\"]", "[\"abc", "{\"a\" 1}", "{1:2}", "[tru]",
        std::string("{}\0", 3)};
    for (const auto& t : invalidos) EXPECT_FALSE(documento(t).has_value()) << t;
}

TEST(JsonEstrito, AceitaOValido) {
    const auto d = documento(" \t\r\n{\"a\":[1],\"b\":[true,false,null],\"a\":{}} \n");
    EXPECT_EQ(d, (nlohmann::json{{"a", nlohmann::json::object()}, {"b", {true, false, nullptr}}}));  // the last wins
    const auto e = documento("[1,-0,2.5e3,\"\\u00e9\\ud83d\\ude00\\/\\n\", 1e400, -1e400, 18446744073709551615, -12]");
    EXPECT_EQ(e, (nlohmann::json{1, 0, 2500.0, "\u00e9\U0001F600/\n", std::numeric_limits<double>::infinity(),
                                 -std::numeric_limits<double>::infinity(), 18446744073709551615ull, -12}));
    EXPECT_TRUE(documento("\"x\"").has_value());  // scalars parse; callers decide
}

TEST(JsonEstrito, AninhamentoProfundoSemRecursao) {
    std::string fundo = std::string(200000, '[') + std::string(200000, ']');
    EXPECT_TRUE(documento(fundo).has_value());
    fundo.pop_back();
    EXPECT_FALSE(documento(fundo).has_value());
}

// Feeds the parser `tamanho` bytes at a time, as standard input may.
struct FontePedacos {
    std::string_view resto;
    std::size_t tamanho;
    const char* p = nullptr;
    const char* fim = nullptr;
    bool recarregar() {
        if (resto.empty()) return false;
        p = resto.data();
        fim = p + std::min(tamanho, resto.size());
        resto.remove_prefix(static_cast<std::size_t>(fim - p));
        return true;
    }
};

struct UltimoTexto {
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
        ultimo = s;
        return true;
    }
    bool numero(std::string_view) { return true; }
    bool literal(Literal) { return true; }
};

TEST(JsonEstrito, PedacosDeQualquerTamanhoDaoOMesmoResultado) {
    const std::string doc = "{\"a\":\"caf\u00e9 \\ud83d\\ude00 \\n 0123456789abcdef0123456789\",\"n\":-12.5e+3,\"b\":[true]}";
    for (std::size_t t : {1u, 2u, 3u, 7u, 16u, 1000u}) {
        SCOPED_TRACE(t);
        FontePedacos f{doc, t}, g{"{\"a\":\"caf\xC3\"}", t};
        UltimoTexto c;
        EXPECT_TRUE(analisar(f, c));
        EXPECT_EQ(c.ultimo, "caf\u00e9 \U0001F600 \n 0123456789abcdef0123456789");
        EXPECT_FALSE(analisar(g, c));
    }
}

TEST(Numeros, InteiroPeloValorExato) {
    constexpr auto mn = std::numeric_limits<std::int64_t>::min();
    constexpr auto mx = std::numeric_limits<std::int64_t>::max();
    const std::pair<const char*, std::optional<std::int64_t>> casos[] = {
        {"100", 100}, {"-7", -7}, {"12.0", 12}, {"1E+2", 100}, {"1.5e1", 15}, {"-0", 0}, {"0.0e-5", 0}, {"12.5", {}},
        {"1e-9", {}}, {"120e-1", 12}, {"9223372036854775807", mx}, {"-9223372036854775808", mn},
        {"9223372036854775808", {}}, {"-9223372036854775809", {}}, {"92233720368547758070e-1", mx}, {"1e19", {}},
        {"1e999999999999999999", {}}, {"1e-999999999999999999", {}}};
    for (const auto& [lexema, esperado] : casos) EXPECT_EQ(inteiroExato(lexema, mn, mx), esperado) << lexema;
    EXPECT_EQ(inteiroExato("-0", 1, 5), std::nullopt);
    EXPECT_EQ(inteiroExato("0", 0, 5), 0);
    EXPECT_EQ(paraDouble("4.9406564584124654e-324"), std::numeric_limits<double>::denorm_min());
}

}  // namespace
}  // namespace kivo::json
