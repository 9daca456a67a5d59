// What the status line tells about a session: read from Claude Code's captured object
// (the figures filled in), kept beside the records, read back, written as money.
#include "apresentacao/consumo.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>

#include <functional>
#include <nlohmann/json.hpp>
#include <string>

#include "pastas.hpp"

namespace fs = std::filesystem;
using kivo::app::Consumo;
using ::testing::HasSubstr;
using ::testing::Not;
using Json = nlohmann::json;

namespace {

Json capturado() {
    return Json::parse(kivo::teste::conteudo(fs::path(KIVO_DADOS) / "claude-code-2.1.197-statusline.json"));
}

const std::string opus = "Opus 4.8 (1M context)";

struct CasoDaEntrada {
    const char* nome;
    std::function<void(Json&)> mudar;
    Consumo esperado;
};

TEST(Consumo, DoObjetoDaLinhaDeStatus) {
    const CasoDaEntrada casos[] = {
        {.nome = "como veio: sem uso ainda", .mudar = [](Json&) {}, .esperado = {opus, std::nullopt, 0.0}},
        {.nome = "preenchido",
         .mudar = [](Json& j) { j["context_window"]["used_percentage"] = 92.4; j["cost"]["total_cost_usd"] = 4.37; },
         .esperado = {opus, 92.4, 4.37}},
        {.nome = "sem porcentagem: das fichas em uso",
         .mudar = [](Json& j) {
             j["context_window"]["current_usage"] = {{"input_tokens", 150000}, {"output_tokens", 900},
                                                     {"cache_creation_input_tokens", 20000},
                                                     {"cache_read_input_tokens", 30000}};
         },
         .esperado = {opus, 20.0, 0.0}},
        {.nome = "tipos errados",
         .mudar = [](Json& j) {
             j["model"] = {{"display_name", 7}};
             j["context_window"]["used_percentage"] = "92";
             j["cost"] = "caro";
         },
         .esperado = {}},
        {.nome = "fora de faixa",
         .mudar = [](Json& j) {
             j["context_window"]["used_percentage"] = 150;
             j["cost"]["total_cost_usd"] = -1;
             j["model"]["display_name"] = " \t ";
         },
         .esperado = {std::nullopt, 100.0, std::nullopt}},
        {.nome = "sem tamanho da janela",
         .mudar = [](Json& j) {
             j["context_window"]["current_usage"] = {{"input_tokens", 10}};
             j["context_window"].erase("context_window_size");
             j.erase("cost");
         },
         .esperado = {opus, std::nullopt, std::nullopt}},
    };
    for (const CasoDaEntrada& caso : casos) {
        SCOPED_TRACE(caso.nome);
        Json j = capturado();
        caso.mudar(j);
        const auto informe = kivo::app::informeDaLinha(j.dump());
        ASSERT_TRUE(informe);
        EXPECT_EQ(informe->sessao, "fd54bafe-d6c7-4ae4-af41-29fc9aa77228");
        EXPECT_EQ(informe->consumo, caso.esperado);
        EXPECT_EQ(kivo::app::lerTexto(kivo::app::paraTexto(informe->consumo)), caso.esperado);
    }
    for (const char* ruim : {"", "{", "[]", R"({"session_id":7})", R"({"cwd":"/x"})", "{\"session_id\":\"a\xFF\"}"}) {
        EXPECT_EQ(kivo::app::informeDaLinha(ruim), std::nullopt) << ruim;
    }
}

// A 1 MB name full of escapes and bidi controls: bounded and inert, on the way in and
// read back from a file someone else wrote.
TEST(Consumo, NomeHostil) {
    std::string hostil;
    while (hostil.size() < (1 << 20)) hostil += "\x1b]0;x\x07\u202E\u2066Opus\n";
    Json j = capturado();
    j["model"]["display_name"] = hostil;
    const auto informe = kivo::app::informeDaLinha(j.dump());
    ASSERT_TRUE(informe && informe->consumo.modelo);
    for (const std::string& nome : {*informe->consumo.modelo, *kivo::app::lerTexto("modelo " + hostil).modelo}) {
        EXPECT_LE(nome.size(), 240u);
        EXPECT_THAT(nome, AllOf(HasSubstr("Opus"), Not(HasSubstr("\x1b")), Not(HasSubstr("\u202E")),
                                Not(HasSubstr("\n"))));
    }
    EXPECT_EQ(kivo::app::lerTexto("contexto nan\ncusto 1e999\ncontexto 1,5\nlixo\n"), Consumo{});
}

// Written only when it changed and not in the last second; read only for the
// sessions asked about.
TEST(Consumo, GuardaELe) {
    kivo::teste::PastaTemporaria raiz;
    const fs::path pasta = kivo::app::pastaDoConsumo(raiz.raiz() / "sessoes/");
    EXPECT_EQ(pasta, raiz.raiz() / "consumo");
    const double t = 1765000000;
    const Consumo a{opus, 42.0, 1.5}, b{opus, 43.0, 1.5};
    EXPECT_FALSE(kivo::app::guardarConsumo(pasta, "s/1", Consumo{}, t));  // nothing known: no file
    EXPECT_TRUE(kivo::app::guardarConsumo(pasta, "s/1", a, t));
    const fs::path arquivo = pasta / "s1";
    const timeval escrito[2] = {{static_cast<time_t>(t), 0}, {static_cast<time_t>(t), 0}};
    utimes(arquivo.c_str(), escrito);
    EXPECT_FALSE(kivo::app::guardarConsumo(pasta, "s/1", a, t + 5));    // the same
    EXPECT_FALSE(kivo::app::guardarConsumo(pasta, "s/1", b, t + 0.5));  // too soon
    EXPECT_TRUE(kivo::app::guardarConsumo(pasta, "s/1", b, t + 1));
    EXPECT_EQ(kivo::teste::conteudo(arquivo), "contexto 43\ncusto 1.5\nmodelo " + opus + "\n");
    EXPECT_EQ(kivo::teste::nomesEm(pasta), std::set<std::string>{"s1"});  // no temporary file left

    ASSERT_EQ(mkfifo((pasta / "fifo").c_str(), 0600), 0);
    kivo::teste::escrever(pasta / "outra", "custo 0.25\n");
    const kivo::Sessao s1{"s/1"}, fifo{"fifo"}, outra{"outra"}, sem{"sem-arquivo"};
    EXPECT_EQ(kivo::app::lerConsumos(pasta, {s1, fifo, sem}), (kivo::app::Consumos{{"s/1", b}}));
    EXPECT_EQ(kivo::app::custoTotal({s1, outra, sem}, kivo::app::lerConsumos(pasta, {s1, outra})),
              "US$ 1,75 nas sess\u00F5es abertas");
    EXPECT_EQ(kivo::app::custoTotal({sem}, {}), "");
}

TEST(Consumo, DinheiroEPorcentagem) {
    const std::pair<double, const char*> dinheiro[] = {
        {0, "US$ 0,00"}, {4.366, "US$ 4,37"}, {0.999, "US$ 1,00"}, {1234.5, "US$ 1.234,50"},
        {1234567.891, "US$ 1.234.567,89"}};
    for (const auto& [valor, texto] : dinheiro) EXPECT_EQ(kivo::app::emDolares(valor), texto);
    EXPECT_EQ(kivo::app::porcentagem(89.5), "90%");
    EXPECT_TRUE(kivo::app::quaseCheio({.contexto = 89.5}));
    EXPECT_FALSE(kivo::app::quaseCheio({.contexto = 89.4}) || kivo::app::quaseCheio({.custo = 95}));
}

}  // namespace
