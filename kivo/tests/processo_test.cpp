// kivo as a process, the way a user runs it: the command line of each subcommand, a
// session folder holding a FIFO, and the status line fed Claude Code's own object.
#include "processo.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <nlohmann/json.hpp>

#include <string>
#include <tuple>
#include <vector>

#include "kivo/armazem.hpp"
#include "pastas.hpp"
#include "terminal/seguir.hpp"

namespace fs = std::filesystem;
using kivo::Estado;
using kivo::teste::Execucao;

namespace {

// The session of the captured status-line object (kivo/tests/dados).
constexpr const char* estaSessao = "fd54bafe-d6c7-4ae4-af41-29fc9aa77228";

class Processo : public ::testing::Test {
protected:
    void SetUp() override {
        const double agora = kivo::app::relogio();
        const std::tuple<const char*, const char*, Estado, const char*, double> registros[] = {
            {"loja", "loja-virtual", Estado::atencao, "Quer permiss\u00E3o para rodar um comando", agora},
            {estaSessao, "api-de-pagamentos-com-um-nome-bem-comprido", Estado::atencao,
             "Tem uma pergunta pra voc\u00EA", agora},
            {"site", "site", Estado::trabalhando, "Lendo arquivos", agora},
            {"antiga", "antiga", Estado::feito, "Feito", agora - 13 * 3600},
        };
        for (const auto& [id, projeto, estado, detalhe, quando] : registros) {
            kivo::Armazem(sessoes_).gravar(
                {id, std::string("/home/ana/") + projeto, {}, estado, detalhe, quando, quando});
        }
    }

    // The program with this folder as KIVO_DIR, under `timeout` (a hang shows as 124).
    Execucao kivo(std::vector<std::string> args, const std::string& entrada = "", const char* noColor = nullptr,
                  const char* segundos = "10", const std::string& programa = KIVO_EXECUTAVEL) const {
        args.insert(args.begin(), {"/usr/bin/timeout", "-s", "TERM", segundos, programa});
        std::map<std::string, std::string> ambiente = {
            {"KIVO_DIR", pasta_.raiz().string()}, {"HOME", pasta_.raiz().string()}, {"PATH", "/usr/bin:/bin"}};
        if (noColor) ambiente["NO_COLOR"] = noColor;
        return kivo::teste::rodar({args, ambiente}, entrada);
    }

    kivo::teste::PastaTemporaria pasta_;
    fs::path sessoes_ = pasta_.raiz() / "sessoes";
};

TEST_F(Processo, FifoNaPastaNaoPrendeNinguem) {
    ASSERT_EQ(mkfifo((sessoes_ / "x.json").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo((sessoes_ / "fila.json").c_str(), 0600), 0);
    const Execucao painel = kivo({"painel"});
    EXPECT_EQ(painel.status, 0);
    EXPECT_NE(painel.saida.find("site"), std::string::npos) << painel.saida;
    // The hook must not wait on the FIFO while holding the lock; its record replaces it.
    const auto inicio = R"({"hook_event_name":"SessionStart","session_id":"fila","cwd":"/tmp/f"})";
    EXPECT_EQ(kivo({}, inicio, nullptr, "10", KIVO_GANCHO).status, 0);
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(sessoes_ / "fila.json")));
    EXPECT_EQ(kivo({"linha"}).status, 0);
    EXPECT_EQ(kivo({"limpar", "--mostrar"}).status, 0);
}

// Every subcommand's options, one row each: what is accepted, what is refused. Columns:
// the arguments, the status, part of standard output, part of standard error ("": empty).
TEST_F(Processo, LinhaDeComando) {
    const std::string arquivo = (pasta_.raiz() / "claude" / "settings.json").string();
    const std::string desconhecida = "op\u00E7\u00E3o desconhecida para ";
    const std::string ajuda = "kivo painel --seguir";
    const std::tuple<std::vector<std::string>, int, std::string, std::string> casos[] = {
        // A pipe without --largura gets whole lines.
        {{"painel"}, 0, "-com-um-nome-bem-comprido \u2014 Tem uma pergunta pra voc\u00EA \u00B7 agora\n", ""},
        {{"painel", "--todas"}, 0, "antiga", ""},
        {{"painel", "--largura", "20"}, 0, "\n    Quer permiss\u00E3o", ""},
        {{"painel", "--largura=0"}, 2, "", "--largura precisa de um n\u00FAmero"},
        {{"painel", "--largura", "2x"}, 2, "", "--largura precisa de um n\u00FAmero"},
        {{"painel", "--largura"}, 2, "", "--largura precisa de um valor"},
        {{"painel", "--largurax=3"}, 2, "", desconhecida + "painel: --largurax=3"},
        {{"painel", "--ajuda"}, 0, ajuda, ""},
        {{"painel", "-h"}, 0, ajuda, ""},
        {{}, 0, ajuda, ""},
        {{"ajuda"}, 0, ajuda, ""},
        {{"--version"}, 0, "kivo ", ""},
        {{"limpar", "--mostrar"}, 0, "Apagaria 1 registro", ""},
        {{"limpar", "--todas"}, 2, "", desconhecida + "limpar: --todas"},
        {{"linha", "--desconhecida"}, 0, "(O.O)!", ""},
        {{"linha", "--largura", "12"}, 0, "(O.O)!\n", ""},
        {{"instalar", "--arquivo=" + arquivo, "--gancho", KIVO_GANCHO, "--mostrar"}, 0, "Nada foi gravado", ""},
        {{"instalar", "--arquivo", arquivo, "--gancho"}, 2, "", "--gancho precisa de um valor"},
        {{"instalar", "--arquivo", arquivo, "--gancho", "/nada/kivo_gancho"}, 1, "", "/nada/kivo_gancho"},
        {{"desinstalar", "--arquivo", arquivo, "--mostrar"}, 0, "Nada a remover", ""},
        {{"desinstalar", "--arquivo", arquivo, "--gancho", KIVO_GANCHO}, 2, "", desconhecida + "desinstalar: --gancho"},
        {{"desinstalar", "--linha"}, 2, "", desconhecida + "desinstalar: --linha"},
        {{"instalar", "--arquivo="}, 2, "", "--arquivo precisa de um caminho"},
        {{"olhar"}, 2, "", "comando desconhecido: olhar"},
        // The only row that writes the file: the rows above found it missing.
        {{"instalar", "--linha", "--arquivo", arquivo, "--gancho", KIVO_GANCHO}, 0, "+ statusLine: ", ""},
    };
    for (const auto& [args, status, naSaida, noErro] : casos) {
        SCOPED_TRACE(::testing::PrintToString(args));
        const Execucao r = kivo(args);
        EXPECT_EQ(r.status, status) << r.erro;
        EXPECT_NE(r.saida.find(naSaida), std::string::npos) << r.saida;
        EXPECT_TRUE(noErro.empty() ? r.erro.empty() : r.erro.find(noErro) != std::string::npos) << r.erro;
    }
    const std::string texto = kivo::teste::conteudo(arquivo);
    EXPECT_NE(texto.find("\"command\": \"CLAUDE_PID=$PPID exec '" KIVO_GANCHO "'\""), std::string::npos) << texto;
    EXPECT_NE(texto.find("\"command\": \"'" KIVO_EXECUTAVEL "' linha\""), std::string::npos) << texto;
    // kivo web runs the kivo_web beside it: a copy of kivo alone in a folder cannot.
    fs::copy_file(KIVO_EXECUTAVEL, pasta_.raiz() / "kivo");
    const Execucao web = kivo({"web"}, "", nullptr, "10", (pasta_.raiz() / "kivo").string());
    EXPECT_EQ(web.status, 1);
    EXPECT_EQ(web.erro.rfind("kivo: n\u00E3o consegui iniciar /", 0), 0u) << web.erro;
    EXPECT_NE(web.erro.find("/kivo_web: "), std::string::npos) << web.erro;
}

// With --todas it shows the old record, and leaves it; without, it cleans up at once,
// shows the panel once, with no escape codes, news as lines of their own (a hook run
// half a second in), and waits for the signal.
TEST_F(Processo, PainelSeguirNumCanoMostraUmaVezEEsperaOSinal) {
    const Execucao todas = kivo({"painel", "--seguir", "--todas"}, "", nullptr, "0.5");
    EXPECT_NE(todas.saida.find("antiga"), std::string::npos) << todas.saida;
    EXPECT_TRUE(fs::exists(sessoes_ / "antiga.json"));
    const std::string parou = R"({"hook_event_name":"Stop","session_id":"site","last_assistant_message":"Ok"})";
    const std::string depois = "' | " KIVO_GANCHO ") & exec " KIVO_EXECUTAVEL " painel --seguir";
    const Execucao r = kivo({"-c", "(sleep 0.5; printf %s '" + parou + depois}, "", nullptr, "2", "/bin/sh");
    EXPECT_FALSE(fs::exists(sessoes_ / "antiga.json"));
    EXPECT_EQ(r.status, 124);
    EXPECT_EQ(r.saida.find("\x1b"), std::string::npos);
    const std::size_t primeira = r.saida.find("loja-virtual");
    ASSERT_NE(primeira, std::string::npos) << r.saida;
    EXPECT_EQ(r.saida.find("loja-virtual", primeira + 1), std::string::npos) << r.saida;
    EXPECT_NE(r.saida.find("  site terminou: Pronto: Ok\n"), std::string::npos) << r.saida;
}

// One line, status 0, nothing on standard error: this session is left out; only a
// NO_COLOR with a value turns tmux's colours off.
TEST_F(Processo, LinhaComOObjetoDoClaudeCode) {
    const std::string objeto = kivo::teste::conteudo(fs::path(KIVO_DADOS) / "claude-code-2.1.197-statusline.json");
    ASSERT_NE(objeto.find(estaSessao), std::string::npos);
    const std::string loja = "loja-virtual: Quer permiss\u00E3o para rodar um comando";
    const std::string semCor = "(O.O)! \u00B7 " + loja + " \u00B7 1 trabalhando\n";
    const std::string tmux = "#[fg=yellow,bold](O.O)!#[default] \u00B7 #[fg=yellow,bold]" + loja +
                             "#[default] \u00B7 #[fg=cyan]1 trabalhando#[default]\n";
    const std::tuple<std::vector<std::string>, const char*, std::string> casos[] = {
        {{"linha"}, nullptr, semCor},
        {{"linha", "--tmux"}, "", tmux},
        {{"linha", "--tmux"}, "1", semCor},
    };
    for (const auto& [args, noColor, saida] : casos) {
        SCOPED_TRACE(::testing::PrintToString(args) + " NO_COLOR=" + (noColor ? noColor : "(nada)"));
        const Execucao r = kivo(args, objeto, noColor);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.erro, "");
        EXPECT_EQ(r.saida, saida);
    }
}

// What each conversation's status line says is kept beside the records (never in
// them): the other conversations' lines warn of a full context, the panel shows
// context, model, cost and their total, and `kivo limpar` removes what has no record.
TEST_F(Processo, ContextoECustoDaLinhaDeStatus) {
    nlohmann::json objeto =
        nlohmann::json::parse(kivo::teste::conteudo(fs::path(KIVO_DADOS) / "claude-code-2.1.197-statusline.json"));
    const fs::path consumo = pasta_.raiz() / "consumo", registro = sessoes_ / (std::string(estaSessao) + ".json");
    const std::string antes = kivo::teste::conteudo(registro);
    const struct {
        const char* sessao;
        double contexto, custo;
        const char* naLinha;
    } casos[] = {
        {estaSessao, 92.4, 4.366, " \u00B7 1 trabalhando\n"},
        {"site", 10, 0, " \u00B7 api-de-pagamentos-c\u2026 92% do contexto\n"},
        {"sem-registro", 99, 100, " \u00B7 api-de-pagamentos-c\u2026 92% do contexto \u00B7 1 trabalhando\n"},
    };
    for (const auto& c : casos) {
        objeto["session_id"] = c.sessao;
        objeto["context_window"]["used_percentage"] = c.contexto;
        objeto["cost"]["total_cost_usd"] = c.custo;
        EXPECT_THAT(kivo({"linha", "--largura", "200"}, objeto.dump()).saida, ::testing::EndsWith(c.naLinha));
    }
    EXPECT_EQ(kivo::teste::conteudo(consumo / estaSessao),
              "contexto 92.4\ncusto 4.366\nmodelo Opus 4.8 (1M context)\n");
    EXPECT_EQ(kivo::teste::conteudo(registro), antes);
    // Bad input: still one line, and nothing kept from it.
    for (const std::string ruim :
         {R"({"session_id":"loja","model":[],"context_window":{"used_percentage":"x"},"cost":7})",
          R"({"session_id":"loja","cost":{"total_cost_usd":1e999}})", "\xFF{"}) {
        EXPECT_THAT(kivo({"linha"}, ruim).saida, ::testing::MatchesRegex("\\(O\\.O\\)! [^\n]*\n"));
    }
    EXPECT_THAT(kivo({"painel"}).saida,
                ::testing::HasSubstr(
                    "\u2014 Tem uma pergunta pra voc\u00EA \u00B7 agora \u00B7 92% \u00B7 Opus 4.8 (1M context) "
                    "\u00B7 US$ 4,37\n  ! loja-virtual \u2014 Quer permiss\u00E3o para rodar um comando \u00B7 "
                    "agora\n  ~ site \u2014 Lendo arquivos \u00B7 agora \u00B7 10% \u00B7 Opus 4.8 (1M context) "
                    "\u00B7 US$ 0,00\n\n  US$ 4,37 nas sess\u00F5es abertas\n"));
    kivo::teste::escrever(consumo / "sumiu", "custo 1\n");
    EXPECT_THAT(kivo({"limpar"}).saida, ::testing::HasSubstr("de uma sess\u00E3o sem registro:\n  - sumiu\n"));
    EXPECT_EQ(kivo::teste::nomesEm(consumo), (std::set<std::string>{estaSessao, "site"}));  // not sem-registro, loja
}

}  // namespace
