// What the status line tells about a session: read from Claude Code's captured object
// (the figures filled in), kept beside the records, read back, written as money.
#include "apresentacao/consumo.hpp"

#include <gmock/gmock.h>
#include <sys/stat.h>
#include <sys/time.h>

#include <nlohmann/json.hpp>

#include "pastas.hpp"

namespace fs = std::filesystem;
using kivo::app::Consumo;
using ::testing::HasSubstr;
using ::testing::Not;
using Json = nlohmann::json;

namespace {

const std::string opus = "Opus 4.8 (1M context)";

// The captured object with a JSON merge patch (null removes a member).
struct Caso {
    const char* remendo;
    Consumo esperado;
};

TEST(Consumo, DoObjetoDaLinhaDeStatus) {
    std::string hostil;  // 1 MB of escapes, bidi controls and line breaks
    while (hostil.size() < (1 << 20)) hostil += "\x1b]0;x\x07\u202E\u2066Opus\n";
    const Caso casos[] = {
        {.remendo = "{}", .esperado = {opus, std::nullopt, 0.0}},  // as captured: nothing used yet
        {.remendo = R"({"context_window":{"used_percentage":92.4},"cost":{"total_cost_usd":4.37}})",
         .esperado = {opus, 92.4, 4.37}},
        {.remendo = R"({"context_window":{"current_usage":{"input_tokens":150000,"output_tokens":900,
                        "cache_creation_input_tokens":20000,"cache_read_input_tokens":30000}}})",
         .esperado = {opus, 20.0, 0.0}},
        {.remendo = R"({"model":{"display_name":7,"id":null},"context_window":{"used_percentage":"92"},"cost":"x"})",
         .esperado = {}},
        {.remendo = R"({"model":{"display_name":" \t "},"context_window":{"used_percentage":150},
                        "cost":{"total_cost_usd":-1}})",
         .esperado = {std::nullopt, 100.0, std::nullopt}},
        {.remendo = R"({"context_window":{"current_usage":{"input_tokens":10},"context_window_size":null},
                        "cost":null})",
         .esperado = {opus, std::nullopt, std::nullopt}},
    };
    const Json capturado =
        Json::parse(kivo::teste::conteudo(fs::path(KIVO_DADOS) / "claude-code-2.1.197-statusline.json"));
    for (const Caso& caso : casos) {
        SCOPED_TRACE(caso.remendo);
        Json j = capturado;
        j.merge_patch(Json::parse(caso.remendo));
        const auto informe = kivo::app::informeDaLinha(j.dump());
        ASSERT_TRUE(informe);
        EXPECT_EQ(informe->sessao, "fd54bafe-d6c7-4ae4-af41-29fc9aa77228");
        EXPECT_EQ(informe->consumo, caso.esperado);
        EXPECT_EQ(kivo::app::lerTexto(kivo::app::paraTexto(informe->consumo)), caso.esperado);
    }
    Json j = capturado;
    j["model"]["display_name"] = hostil;  // bounded and inert, also when read back from a file
    for (const auto& nome :
         {kivo::app::informeDaLinha(j.dump())->consumo.modelo, kivo::app::lerTexto("modelo " + hostil).modelo}) {
        ASSERT_TRUE(nome);
        EXPECT_LE(nome->size(), 240u);
        EXPECT_THAT(*nome, AllOf(HasSubstr("Opus"), Not(HasSubstr("\x1b")), Not(HasSubstr("\u202E")),
                                 Not(HasSubstr("\n"))));
    }
    for (const char* ruim : {"", "[]", R"({"session_id":7})", "{\"session_id\":\"a\xFF\"}"}) {
        EXPECT_EQ(kivo::app::informeDaLinha(ruim), std::nullopt) << ruim;
    }
    EXPECT_EQ(kivo::app::lerTexto("contexto nan\ncusto 1e999\ncontexto 1,5\nlixo\n"), Consumo{});
}

// Written only when it changed and not in the last second; a FIFO is not waited on.
TEST(Consumo, GuardaELe) {
    kivo::teste::PastaTemporaria raiz;
    const fs::path pasta = kivo::app::pastaDoConsumo(raiz.raiz() / "sessoes/");
    EXPECT_EQ(pasta, raiz.raiz() / "consumo");
    const double t = 1765000000;
    const Consumo a{opus, 42.0, 1.5}, b{opus, 43.0, 1.5};
    EXPECT_FALSE(kivo::app::guardarConsumo(pasta, "s/1", Consumo{}, t));  // nothing known: no file
    EXPECT_TRUE(kivo::app::guardarConsumo(pasta, "s/1", a, t));
    const timeval escrito[2] = {{static_cast<time_t>(t), 0}, {static_cast<time_t>(t), 0}};
    utimes((pasta / "s1").c_str(), escrito);
    EXPECT_FALSE(kivo::app::guardarConsumo(pasta, "s/1", a, t + 5));    // the same
    EXPECT_FALSE(kivo::app::guardarConsumo(pasta, "s/1", b, t + 0.5));  // too soon
    EXPECT_TRUE(kivo::app::guardarConsumo(pasta, "s/1", b, t + 1));
    EXPECT_EQ(kivo::teste::nomesEm(pasta), std::set<std::string>{"s1"});  // no temporary file left
    ASSERT_EQ(mkfifo((pasta / "fifo").c_str(), 0600), 0);
    EXPECT_EQ(kivo::app::lerConsumos(pasta, {{"s/1"}, {"fifo"}, {"sem-arquivo"}}), (kivo::app::Consumos{{"s/1", b}}));
}

TEST(Consumo, Dinheiro) {
    for (const auto& [valor, texto] :
         {std::pair{0.0, "US$ 0,00"}, {0.999, "US$ 1,00"}, {1234567.891, "US$ 1.234.567,89"}})
        EXPECT_EQ(kivo::app::emDolares(valor), texto);
}

}  // namespace
