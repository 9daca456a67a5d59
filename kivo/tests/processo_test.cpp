// kivo as a process, the way a user runs it: the command line of each subcommand, a
// session folder holding a FIFO, and the status line fed Claude Code's own object.
#include "processo.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "kivo/armazem.hpp"
#include "pastas.hpp"
#include "terminal/seguir.hpp"

namespace fs = std::filesystem;
using kivo::Estado;
using kivo::teste::Execucao;
using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

namespace {
// The session of the captured status-line object (kivo/tests/dados).
constexpr const char* estaSessao = "fd54bafe-d6c7-4ae4-af41-29fc9aa77228";

class Processo : public ::testing::Test {
protected:
    void SetUp() override {
        const double agora = kivo::app::relogio();
        const auto gravar = [&](const char* id, const std::string& projeto, Estado estado, const char* detalhe,
                                double quando) {
            kivo::Armazem(sessoes_).gravar({.id = id, .cwd = "/home/ana/" + projeto, .estado = estado,
                                            .detalhe = detalhe, .atualizado = quando, .mudouEstadoEm = quando});
        };
        gravar("loja", "loja-virtual", Estado::atencao, "Quer permiss\u00E3o para rodar um comando", agora);
        gravar(estaSessao, "api-de-pagamentos-com-um-nome-bem-comprido", Estado::atencao,
               "Tem uma pergunta pra voc\u00EA", agora);
        gravar("site", "site", Estado::trabalhando, "Lendo arquivos", agora);
        gravar("antiga", "antiga", Estado::feito, "Feito", agora - 13 * 3600);
    }
    std::map<std::string, std::string> ambiente(const char* noColor = nullptr) const {
        std::map<std::string, std::string> a = {
            {"KIVO_DIR", pasta_.raiz().string()}, {"HOME", pasta_.raiz().string()}, {"PATH", "/usr/bin:/bin"}};
        if (noColor) a["NO_COLOR"] = noColor;
        return a;
    }
    // The program with this folder as KIVO_DIR, under `timeout` (a hang shows as 124).
    Execucao kivo(std::vector<std::string> args, const std::string& entrada = "", const char* noColor = nullptr,
                  const std::string& programa = KIVO_EXECUTAVEL) const {
        args.insert(args.begin(), {"/usr/bin/timeout", "-s", "TERM", "10", programa});
        return kivo::teste::rodar({args, ambiente(noColor)}, entrada);
    }
    kivo::teste::PastaTemporaria pasta_;
    fs::path sessoes_ = pasta_.raiz() / "sessoes";
};

TEST_F(Processo, FifoNaPastaNaoPrendeNinguem) {
    ASSERT_EQ(mkfifo((sessoes_ / "x.json").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo((sessoes_ / "fila.json").c_str(), 0600), 0);
    const Execucao painel = kivo({"painel"});
    EXPECT_EQ(painel.status, 0);
    EXPECT_THAT(painel.saida, HasSubstr("site"));
    // The hook must not wait on the FIFO while holding the lock; its record replaces it.
    const auto inicio = R"({"hook_event_name":"SessionStart","session_id":"fila","cwd":"/tmp/f"})";
    EXPECT_EQ(kivo({}, inicio, nullptr, KIVO_GANCHO).status, 0);
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(sessoes_ / "fila.json")));
    EXPECT_EQ(kivo({"linha"}).status, 0);
    EXPECT_EQ(kivo({"limpar", "--mostrar"}).status, 0);
}

// Every subcommand's options, one row each: what is accepted, what is refused, with part
// of standard output and of standard error (empty when not given).
TEST_F(Processo, LinhaDeComando) {
    const std::string arquivo = (pasta_.raiz() / "claude" / "settings.json").string();
    const std::string desconhecida = "op\u00E7\u00E3o desconhecida para ";
    const std::string ajuda = "kivo painel --seguir", numero = "--largura precisa de um n\u00FAmero";
    const std::string faixa = "--porta precisa de um n\u00FAmero de 1 a 65535: ";
    struct Caso { std::vector<std::string> args; int status = 0; std::string saida, erro; };
    const Caso casos[] = {
        // A pipe without --largura gets whole lines.
        {.args = {"painel"}, .saida = "-com-um-nome-bem-comprido \u2014 Tem uma pergunta pra voc\u00EA \u00B7 agora\n"},
        {.args = {"painel", "--todas"}, .saida = "antiga"},
        {.args = {"painel", "--largura", "20"}, .saida = "\n    Quer permiss\u00E3o"},
        {.args = {"painel", "--largura=0"}, .status = 2, .erro = numero},
        {.args = {"painel", "--largura", "2x"}, .status = 2, .erro = numero},
        {.args = {"painel", "--largura"}, .status = 2, .erro = "--largura precisa de um valor"},
        {.args = {"painel", "--largurax=3"}, .status = 2, .erro = desconhecida + "painel: --largurax=3"},
        {.args = {"painel", "--ajuda"}, .saida = ajuda}, {.args = {"painel", "-h"}, .saida = ajuda},
        {.args = {}, .saida = ajuda}, {.args = {"ajuda"}, .saida = ajuda}, {.args = {"--version"}, .saida = "kivo "},
        {.args = {"limpar", "--mostrar"}, .saida = "Apagaria 1 registro"},
        {.args = {"limpar", "--todas"}, .status = 2, .erro = desconhecida + "limpar: --todas"},
        {.args = {"linha", "--desconhecida"}, .saida = "(O.O)!"},
        {.args = {"linha", "--largura", "12"}, .saida = "(O.O)!\n"},
        {.args = {"instalar", "--arquivo=" + arquivo, "--gancho", KIVO_GANCHO, "--mostrar"},
         .saida = "Nada foi gravado"},
        {.args = {"instalar", "--arquivo", arquivo, "--gancho"}, .status = 2, .erro = "--gancho precisa de um valor"},
        {.args = {"instalar", "--arquivo", arquivo, "--gancho", "/nada/kivo_gancho"}, .status = 1,
         .erro = "/nada/kivo_gancho"},
        {.args = {"desinstalar", "--arquivo", arquivo, "--mostrar"}, .saida = "Nada a remover"},
        {.args = {"desinstalar", "--arquivo", arquivo, "--gancho", KIVO_GANCHO}, .status = 2,
         .erro = desconhecida + "desinstalar: --gancho"},
        {.args = {"desinstalar", "--linha"}, .status = 2, .erro = desconhecida + "desinstalar: --linha"},
        {.args = {"instalar", "--arquivo="}, .status = 2, .erro = "--arquivo precisa de um caminho"},
        {.args = {"olhar"}, .status = 2, .erro = "comando desconhecido: olhar"},
        {.args = {"web", "--porta=0"}, .status = 2, .erro = faixa + "0"},
        {.args = {"web", "--porta", "65536"}, .status = 2, .erro = faixa + "65536"},
        {.args = {"web", "--porta", "80a"}, .status = 2, .erro = faixa + "80a"},
        {.args = {"web", "--porta"}, .status = 2, .erro = "--porta precisa de um n\u00FAmero\n"},
        {.args = {"web", "--aberto"}, .status = 2, .erro = desconhecida + "web: --aberto"},
        // The only row that writes the file: the rows above found it missing.
        {.args = {"instalar", "--linha", "--arquivo", arquivo, "--gancho", KIVO_GANCHO}, .saida = "+ statusLine: "}};
    for (const Caso& c : casos) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        const Execucao r = kivo(c.args);
        EXPECT_EQ(r.status, c.status) << r.erro;
        EXPECT_THAT(r.saida, HasSubstr(c.saida));
        EXPECT_THAT(r.erro, HasSubstr(c.erro));
        if (c.erro.empty()) { EXPECT_EQ(r.erro, ""); }
    }
    EXPECT_THAT(kivo::teste::conteudo(arquivo), AllOf(HasSubstr("exec '" KIVO_GANCHO "'\""),
                                                      HasSubstr("\"command\": \"'" KIVO_EXECUTAVEL "' linha\"")));
    // kivo web runs the kivo_web beside it: a copy of kivo alone in a folder cannot.
    fs::copy_file(KIVO_EXECUTAVEL, pasta_.raiz() / "kivo");
    const Execucao web = kivo({"web"}, "", nullptr, (pasta_.raiz() / "kivo").string());
    EXPECT_EQ(web.status, 1);
    EXPECT_THAT(web.erro, AllOf(StartsWith("kivo: n\u00E3o consegui iniciar /"), HasSubstr("/kivo_web: ")));
}

// With --todas it shows the old record, and leaves it; without, it cleans up at once,
// shows the panel once, with no escape codes, news as lines of their own (a hook run
// once the panel is out), and waits for the signal, which ends it with status 0.
TEST_F(Processo, PainelSeguirNumCanoMostraUmaVezEEsperaOSinal) {
    const auto seguir = [&](std::vector<std::string> args, const std::string& ate, const std::string& hook) {
        args.insert(args.begin(), {KIVO_EXECUTAVEL, "painel", "--seguir"});
        const kivo::teste::Processo p = kivo::teste::iniciar({args, ambiente(), true});
        std::string saida;
        EXPECT_TRUE(kivo::teste::lerAte(p.saida, saida, "~ site")) << saida;  // the panel is out
        if (!hook.empty()) kivo::teste::rodar({{KIVO_GANCHO}, ambiente()}, hook);
        EXPECT_TRUE(kivo::teste::lerAte(p.saida, saida, ate)) << saida;
        EXPECT_EQ(waitpid(p.pid, nullptr, WNOHANG), 0) << "ended before the signal";
        kill(p.pid, SIGTERM);
        const Execucao fim = kivo::teste::terminar(p, "");
        EXPECT_EQ(fim.status, 0);
        return saida + fim.saida;
    };
    EXPECT_THAT(seguir({"--todas"}, "antiga", ""), HasSubstr("antiga"));
    EXPECT_TRUE(fs::exists(sessoes_ / "antiga.json"));
    const std::string parou = R"({"hook_event_name":"Stop","session_id":"site","last_assistant_message":"Ok"})";
    const std::string r = seguir({}, "  site terminou: Pronto: Ok\n", parou);
    EXPECT_FALSE(fs::exists(sessoes_ / "antiga.json"));
    EXPECT_THAT(r, Not(HasSubstr("\x1b")));
    EXPECT_EQ(r.find("loja-virtual"), r.rfind("loja-virtual")) << r;  // the panel once
}

// One line, status 0, nothing on standard error: this session is left out; only a
// NO_COLOR with a value turns tmux's colours off.
TEST_F(Processo, LinhaComOObjetoDoClaudeCode) {
    const std::string objeto = kivo::teste::conteudo(fs::path(KIVO_DADOS) / "claude-code-2.1.197-statusline.json");
    ASSERT_THAT(objeto, HasSubstr(estaSessao));
    const std::string loja = "loja-virtual: Quer permiss\u00E3o para rodar um comando";
    const std::string semCor = "(O.O)! \u00B7 " + loja + " \u00B7 1 trabalhando\n";
    const std::string tmux = "#[fg=yellow,bold](O.O)!#[default] \u00B7 #[fg=yellow,bold]" + loja +
                             "#[default] \u00B7 #[fg=cyan]1 trabalhando#[default]\n";
    struct Caso { std::vector<std::string> args; const char* noColor; std::string saida; };
    const Caso casos[] = {{.args = {"linha"}, .noColor = nullptr, .saida = semCor},
                          {.args = {"linha", "--tmux"}, .noColor = "", .saida = tmux},
                          {.args = {"linha", "--tmux"}, .noColor = "1", .saida = semCor}};
    for (const Caso& c : casos) {
        SCOPED_TRACE(::testing::PrintToString(c.args) + " NO_COLOR=" + (c.noColor ? c.noColor : "(nada)"));
        const Execucao r = kivo(c.args, objeto, c.noColor);
        EXPECT_EQ(std::tie(r.status, r.erro, r.saida), std::make_tuple(0, std::string(), c.saida));
    }
}
}  // namespace
