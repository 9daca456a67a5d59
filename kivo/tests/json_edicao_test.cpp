// One member of a JSON text's top-level object set, added or removed, every other byte kept.
#include "instalar/json_edicao.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {
using Json = nlohmann::ordered_json;
using kivo::app::trocarMembro;

struct Caso {
    const char* nome;
    std::string original, chave;
    std::optional<Json> valor;            // nullopt: remove
    std::optional<std::string> esperado;  // nullopt: refused (what the JSON reader refuses: its own tests)
};

const Json lista = Json::parse(R"({"c": [1]})");

const Caso casos[] = {
    // The step is the first indented line's; the base, the last member's line.
    {.nome = "acrescentadoNoRecuoDoUltimo", .original = "{\n  \"a\": 1,\n    \"b\": 2\n}\n", .chave = "n", .valor = lista,
     .esperado = "{\n  \"a\": 1,\n    \"b\": 2,\n    \"n\": {\n      \"c\": [\n        1\n      ]\n    }\n}\n"},
    {.nome = "acrescentadoComTabulacao", .original = "{\n\t\"a\": 1\n}", .chave = "n", .valor = Json::array({1}),
     .esperado = "{\n\t\"a\": 1,\n\t\"n\": [\n\t\t1\n\t]\n}"},
    {.nome = "naMesmaLinha", .original = "{\"a\": 1}", .chave = "n", .valor = lista,
     .esperado = "{\"a\": 1, \"n\": {\"c\":[1]}}"},
    {.nome = "semEspaco", .original = "{\"a\":1}", .chave = "n", .valor = 2, .esperado = "{\"a\":1, \"n\":2}"},
    {.nome = "aoVazio", .original = " {\n}\n", .chave = "n", .valor = 2, .esperado = " {\n  \"n\": 2\n}\n"},
    {.nome = "aoVazioNumaLinha", .original = " {} ", .chave = "n", .valor = 2, .esperado = " {\"n\":2} "},
    {.nome = "marcaDeOrdem", .original = "\xEF\xBB\xBF{\"a\": 1}", .chave = "n", .valor = 2,
     .esperado = "\xEF\xBB\xBF{\"a\": 1, \"n\": 2}"},
    {.nome = "trocadoORestoFica", .original = R"({"x": "// /* \"}\" */", "n": {"v": [true]}, "caf\u00e9": 1.50E+2})",
     .chave = "n", .valor = 2, .esperado = R"({"x": "// /* \"}\" */", "n": 2, "caf\u00e9": 1.50E+2})"},
    {.nome = "trocadoComORecuoDaSuaLinha", .original = "{\n  \"a\": [1,\n 2],\n  \"z\": 0\n}", .chave = "a",
     .valor = Json{{"k", 1}}, .esperado = "{\n  \"a\": {\n    \"k\": 1\n  },\n  \"z\": 0\n}"},
    {.nome = "chaveComEscape", .original = R"({"caf\u00e9": 1})", .chave = "caf\u00E9", .valor = 2,
     .esperado = R"({"caf\u00e9": 2})"},
    {.nome = "repetidaOUltimoVale", .original = R"({"a": 1, "a": 2})", .chave = "a", .valor = 3,
     .esperado = R"({"a": 1, "a": 3})"},
    {.nome = "trocadoFalse", .original = R"({"a": false, "b": -1.5e3})", .chave = "a", .valor = 0,
     .esperado = R"({"a": 0, "b": -1.5e3})"},
    {.nome = "trocadoNumero", .original = R"({"a": false, "b": -1.5e3})", .chave = "b", .valor = 0,
     .esperado = R"({"a": false, "b": 0})"},
    {.nome = "trocadoNull", .original = R"({"c": null, "d": 1})", .chave = "c", .valor = 0,
     .esperado = R"({"c": 0, "d": 1})"},
    {.nome = "removidoOPrimeiro", .original = R"({"a": 1, "b": 2})", .chave = "a", .esperado = R"({"b": 2})"},
    {.nome = "removidoOUltimo", .original = "{\n  \"a\": 1,\n  \"b\": [2]\n}\n", .chave = "b",
     .esperado = "{\n  \"a\": 1\n}\n"},
    {.nome = "removidoOUnico", .original = " {\n  \"a\": 1\n}\n", .chave = "a", .esperado = " {}\n"},
    {.nome = "removidoOQueFalta", .original = "{\"a\": 1}", .chave = "b", .esperado = "{\"a\": 1}"},
    {.nome = "listaRecusada", .original = "[1]", .chave = "n", .valor = 2},
    {.nome = "textoRecusado", .original = "\"x\"", .chave = "n", .valor = 2},
    {.nome = "valorNaoUtf8Recusado", .original = "{}", .chave = "n", .valor = "\xC3"}};

TEST(JsonEdicao, TrocaSoOMembro) {
    for (const Caso& c : casos) EXPECT_EQ(trocarMembro(c.original, c.chave, c.valor), c.esperado) << c.nome;
}
}  // namespace
