// A session record: the exact bytes written, the all-or-nothing reader, equality and a project's names.
#include "kivo/sessao.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace kivo {
namespace {
Sessao completa() {
    return Sessao{.id = "s-1", .cwd = "/home/ana/proj", .titulo = "T\u00edtulo \"x\"", .estado = Estado::atencao,
                  .detalhe = "Quer permiss\u00e3o", .atualizado = 1765000000.25, .mudouEstadoEm = 1765000000,
                  .pid = -7, .origem = "vscode", .ferramentaId = "toolu_1", .faseFerramenta = 1};
}

TEST(ParaJson, BytesExatos) {
    EXPECT_EQ(paraJson(completa()),
              "{\"atualizado\":1765000000.25,\"cwd\":\"\\/home\\/ana\\/proj\",\"detalhe\":\"Quer permiss\u00e3o\","
              "\"estado\":\"atencao\",\"faseFerramenta\":1,\"ferramentaId\":\"toolu_1\",\"id\":\"s-1\","
              "\"mudouEstadoEm\":1765000000,\"origem\":\"vscode\",\"pid\":-7,\"titulo\":\"T\u00edtulo \\\"x\\\"\"}");
    // Fixed notation for decimal exponents from -4 to 15, scientific beyond.
    const std::pair<double, const char*> numeros[] = {{-0.0, "-0"}, {1e16, "1e+16"}, {0.0001, "0.0001"},
                                                      {0.00001, "1e-05"}, {999999999999999.9, "999999999999999.9"}};
    for (const auto& [t, texto] : numeros) {
        const Sessao s{.id = std::string("\x01\b\f\n\r\t\x1f\x7f\u2028\\", 12), .estado = Estado::feito,
                       .atualizado = t, .mudouEstadoEm = 2};
        EXPECT_EQ(paraJson(s), std::string("{\"atualizado\":") + texto + ",\"cwd\":\"\",\"estado\":\"feito\","
                                   "\"id\":\"\\u0001\\b\\f\\n\\r\\t\\u001f\x7f\u2028\\\\\",\"mudouEstadoEm\":2}");
    }
    Sessao s = completa();
    s.titulo = "\xC3";
    EXPECT_THROW(paraJson(s), std::domain_error);
}

TEST(SessaoDeJson, IdaEVolta) {
    bool pasta = false;  // a text longer than the buffer reserved for the rest: the folder or the detail
    for (double t : {0.1, 1765000000.123456, 5e-324, 1e300, -0.0, 123456789012345678.0}) {
        Sessao s = completa();
        s.atualizado = t, s.faseFerramenta = std::numeric_limits<std::int64_t>::min();
        s.pid = std::numeric_limits<std::int32_t>::max();
        ((pasta = !pasta) ? s.cwd : *s.detalhe) = std::string(300, 'c');
        const auto lido = sessaoDeJson(paraJson(s));
        EXPECT_EQ(lido, s) << t;
        EXPECT_EQ(std::signbit(lido.value_or(Sessao{}).atualizado), std::signbit(t));
    }
}

// All or nothing; unknown members are ignored, null is absent, the last duplicate counts.
TEST(SessaoDeJson, TudoOuNada) {
    const std::string base = R"({"id":"x","cwd":"/p","estado":"feito","atualizado":1,"mudouEstadoEm":2)";
    const Sessao b{.id = "x", .cwd = "/p", .estado = Estado::feito, .atualizado = 1, .mudouEstadoEm = 2};
    Sessao c = b, d = b;
    c.titulo = "", c.pid = 100, c.faseFerramenta = 0;
    d.estado = Estado::atencao, d.origem = "o", d.pid = 3;
    const std::pair<const char*, std::optional<Sessao>> casos[] = {
        {"}", b}, {R"(,"pid":null,"detalhe":null,"outro":{"a":[1,"x",true]},"versao":2,"Titulo":"x"})", b},
        {R"(,"titulo":"","pid":1e2,"faseFerramenta":-0})", c},
        {R"(,"estado":"atencao","origem":"o","pid":1.5,"pid":3.0})", d},
        {R"(,"pid":2147483648})", {}}, {R"(,"pid":true})", {}}, {R"(,"faseFerramenta":9223372036854775808})", {}},
        {R"(,"faseFerramenta":1e-9})", {}}, {R"(,"estado":"Feito"})", {}}, {R"(,"cwd":["a"]})", {}},
        {R"(,"atualizado":"1"})", {}}, {R"(,"mudouEstadoEm":null})", {}}, {R"(,"titulo":5})", {}},
        {",\"titulo\":\"\xC3\"}", {}}, {"} x", {}}, {R"(,"pid":[1]})", {}}};
    for (const auto& [resto, esperado] : casos) EXPECT_EQ(sessaoDeJson(base + resto), esperado) << resto;
    EXPECT_TRUE(std::isinf(sessaoDeJson(base + R"(,"atualizado":1e400})").value_or(b).atualizado));
    for (const std::string& t : std::vector<std::string>{R"({"id":"x","cwd":"/p","estado":"feito","atualizado":1})",
                                                         "[" + base + "}]", "\"x\"", "5", "null", ""})
        EXPECT_FALSE(sessaoDeJson(t)) << t;
}

TEST(SessaoIgualdade, CanonicaENaN) {
    Sessao a = completa(), b = completa();
    a.detalhe = "caf\u00e9", b.detalhe = "cafe\u0301";
    EXPECT_EQ(a, b);
    b.ferramentaId = "toolu_2";
    EXPECT_NE(a, b);
    a.atualizado = std::nan("");
    EXPECT_NE(a, a);
}

TEST(Nomes, DoProjetoEComTitulo) {
    const std::pair<const char*, const char*> casos[] = {
        {"/home/ana/loja///", "loja"}, {"loja", "loja"}, {"///", "Claude"}, {"", "Claude"},
        {"/x/loja-A1B2C3D", "loja-A1B2C3D"}, {"/x/loja-abcde", "loja-abcde"}, {"/x/minha-loja-abcdef", "minha-loja"},
        {"/x/-abcdef12", "-abcdef12"}, {"/x/loja-abcdef-123456", "loja-abcdef"}, {"/x/proj-abcdef\n", "proj"},
        {"/x/caf\u00e9-0a1b2c/", "caf\u00e9"}};
    for (const auto& [caminho, esperado] : casos) EXPECT_EQ(Sessao::nomeDoProjeto(caminho), esperado) << caminho;
    EXPECT_EQ((Sessao{.id = "1", .cwd = "/home/ana/loja", .titulo = ""}).nome(), "loja");
}
}  // namespace
}  // namespace kivo
