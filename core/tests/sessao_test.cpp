#include "kivo/sessao.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace kivo {
namespace {

Sessao completa() {
    return Sessao{.id = "s-1",
                  .cwd = "/home/ana/proj",
                  .titulo = "T\u00edtulo \"x\"",
                  .estado = Estado::atencao,
                  .detalhe = "Quer permiss\u00e3o para rodar um comando",
                  .atualizado = 1765000000.25,
                  .mudouEstadoEm = 1765000000,
                  .pid = -7,
                  .origem = "vscode",
                  .ferramentaId = "toolu_1",
                  .faseFerramenta = 1};
}

TEST(Estado, NomesEPrioridades) {
    const std::pair<Estado, std::pair<const char*, int>> tabela[] = {
        {Estado::ocioso, {"ocioso", 0}},   {Estado::trabalhando, {"trabalhando", 3}},
        {Estado::atencao, {"atencao", 4}}, {Estado::feito, {"feito", 1}},
        {Estado::erro, {"erro", 2}},
    };
    for (const auto& [e, np] : tabela) {
        EXPECT_EQ(nomeDe(e), np.first);
        EXPECT_EQ(prioridade(e), np.second);
        EXPECT_EQ(estadoDe(np.first), e);
    }
    EXPECT_EQ(estadoDe("Trabalhando"), std::nullopt);
    EXPECT_EQ(allCases<Estado>.size(), 5u);
    EXPECT_EQ(allCases<Estado>[2], Estado::atencao);
}

TEST(ParaJson, BytesExatos) {
    EXPECT_EQ(paraJson(completa()),
              "{\"atualizado\":1765000000.25,\"cwd\":\"\\/home\\/ana\\/proj\","
              "\"detalhe\":\"Quer permiss\u00e3o para rodar um comando\",\"estado\":\"atencao\","
              "\"faseFerramenta\":1,\"ferramentaId\":\"toolu_1\",\"id\":\"s-1\","
              "\"mudouEstadoEm\":1765000000,\"origem\":\"vscode\",\"pid\":-7,"
              "\"titulo\":\"T\u00edtulo \\\"x\\\"\"}");
    const Sessao minima{.id = "a", .cwd = "", .estado = Estado::feito, .atualizado = 0.1,
                        .mudouEstadoEm = 1e16};
    EXPECT_EQ(paraJson(minima),
              "{\"atualizado\":0.1,\"cwd\":\"\",\"estado\":\"feito\",\"id\":\"a\",\"mudouEstadoEm\":1e+16}");
}

TEST(ParaJson, EscapesENumeros) {
    Sessao s{.id = std::string("\x01\b\f\n\r\t\x1f\x7f\u2028\\", 12), .cwd = "/", .atualizado = -0.0,
             .mudouEstadoEm = 1700000000};
    EXPECT_EQ(paraJson(s),
              "{\"atualizado\":-0,\"cwd\":\"\\/\",\"estado\":\"ocioso\","
              "\"id\":\"\\u0001\\b\\f\\n\\r\\t\\u001f\x7f\u2028\\\\\",\"mudouEstadoEm\":1700000000}");
    for (double t : {std::nan(""), std::numeric_limits<double>::infinity()}) {
        s.atualizado = t;
        EXPECT_THROW(paraJson(s), std::domain_error);
    }
    s.atualizado = 1;
    s.titulo = "\xC3";
    EXPECT_THROW(paraJson(s), std::domain_error);
}

TEST(SessaoDeJson, IdaEVolta) {
    const double tempos[] = {0.1, 1765000000.123456, 1e-300, 5e-324, 1e300, -0.0, 123456789012345678.0};
    for (double t : tempos) {
        Sessao s = completa();
        s.atualizado = t;
        s.faseFerramenta = std::numeric_limits<std::int64_t>::min();
        s.pid = std::numeric_limits<std::int32_t>::max();
        const auto lido = sessaoDeJson(paraJson(s));
        ASSERT_TRUE(lido) << t;
        EXPECT_EQ(*lido, s);
        EXPECT_EQ(std::signbit(lido->atualizado), std::signbit(t));
    }
}

TEST(SessaoDeJson, Leitura) {
    const std::string base = R"("id":"x","cwd":"/p","estado":"feito","atualizado":1,"mudouEstadoEm":2)";
    auto ler = [&](const std::string& extra) { return sessaoDeJson("{" + base + extra + "}"); };
    ASSERT_TRUE(ler(""));
    EXPECT_EQ(ler(R"(,"titulo":"")")->titulo, "");
    EXPECT_EQ(ler(R"(,"pid":null)")->pid, std::nullopt);
    EXPECT_EQ(ler(R"(,"pid":12.0)")->pid, 12);
    EXPECT_EQ(ler(R"(,"pid":1e2)")->pid, 100);
    EXPECT_EQ(ler(R"(,"faseFerramenta":-0)")->faseFerramenta, 0);
    EXPECT_EQ(ler(R"(,"outro":{"a":[1,2]},"Titulo":"x")")->titulo, std::nullopt);
    EXPECT_EQ(ler(R"(,"pid":1.5,"pid":3)")->pid, 3);  // the last duplicate counts
    EXPECT_TRUE(std::isinf(ler(R"(,"atualizado":1e400)")->atualizado));
    EXPECT_EQ(ler(R"(,"estado":"atencao")")->estado, Estado::atencao);

    const char* ilegiveis[] = {
        R"(,"pid":2147483648)", R"(,"pid":-2147483649)", R"(,"pid":1.5)", R"(,"pid":"1")",
        R"(,"pid":true)", R"(,"faseFerramenta":9223372036854775808)", R"(,"faseFerramenta":1e-9)",
        R"(,"estado":"Feito")", R"(,"estado":3)", R"(,"estado":null)", R"(,"id":null)",
        R"(,"cwd":["a"])", R"(,"atualizado":"1")", R"(,"mudouEstadoEm":null)", R"(,"titulo":5)",
        R"(,"detalhe":{})", R"(,"origem":false)", R"(,"ferramentaId":[])",
    };
    for (const char* extra : ilegiveis) {
        SCOPED_TRACE(extra);
        EXPECT_FALSE(ler(extra).has_value());
    }
    EXPECT_FALSE(sessaoDeJson(R"({"id":"x","cwd":"/p","estado":"feito","atualizado":1})"));
    EXPECT_FALSE(sessaoDeJson("[" + base + "]"));
    EXPECT_FALSE(sessaoDeJson("{" + base + "} x"));
    EXPECT_FALSE(sessaoDeJson("{" + base + ",\"titulo\":\"\xC3\"}"));
    EXPECT_FALSE(sessaoDeJson("\"x\""));
    EXPECT_FALSE(sessaoDeJson(""));
}

TEST(SessaoIgualdade, CanonicaENaN) {
    Sessao a = completa(), b = completa();
    a.detalhe = "caf\u00e9";
    b.detalhe = "cafe\u0301";
    EXPECT_EQ(a, b);
    b.faseFerramenta = std::nullopt;
    EXPECT_NE(a, b);
    a.faseFerramenta = 0;
    b.faseFerramenta = std::nullopt;
    EXPECT_NE(a, b);
    Sessao n = completa();
    n.atualizado = std::nan("");
    EXPECT_NE(n, n);
}

TEST(Nomes, DoProjeto) {
    struct Caso {
        const char* caminho;
        const char* esperado;
    } casos[] = {
        {"/home/ana/loja", "loja"},
        {"/home/ana/loja///", "loja"},
        {"loja", "loja"},
        {"/", "Claude"},
        {"///", "Claude"},
        {"", "Claude"},
        {"/x/loja-a1b2c3d", "loja"},
        {"/x/loja-A1B2C3D", "loja-A1B2C3D"},
        {"/x/loja-abcde", "loja-abcde"},
        {"/x/minha-loja-abcdef", "minha-loja"},
        {"/x/-abcdef12", "-abcdef12"},
        {"/x/loja-abcdefg", "loja-abcdefg"},
        {"/x/loja-abcdef.", "loja-abcdef."},
        {"/x/loja-abcdef-123456", "loja-abcdef"},
        {"/x/proj-abcdef\n", "proj"},
        {"/x/caf\u00e9-0a1b2c/", "caf\u00e9"},
        {"/x/loja-abcdef ", "loja-abcdef "},
        {"/x/loja-", "loja-"},
        {"/x/-", "-"},
        {"/x/a-abcdef-", "a-abcdef-"},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.caminho);
        EXPECT_EQ(Sessao::nomeDoProjeto(c.caminho), c.esperado);
    }
}

TEST(Nomes, NomeComTitulo) {
    Sessao s{.id = "1", .cwd = "/home/ana/loja"};
    EXPECT_EQ(s.nome(), "loja");
    s.titulo = "";
    EXPECT_EQ(s.nome(), "loja");
    s.titulo = "  ";
    EXPECT_EQ(s.nome(), "loja \u00b7   ");
    s.titulo = "Login";
    EXPECT_EQ(s.nome(), "loja \u00b7 Login");
    EXPECT_EQ(s.projeto(), "loja");
}

}  // namespace
}  // namespace kivo
