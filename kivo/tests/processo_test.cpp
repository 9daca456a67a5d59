// kivo as a process, the way a user runs it: the command line of each subcommand, a
// session folder holding a FIFO, and the status line fed Claude Code's own object.
#include "processo.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>

#include <algorithm>
#include <functional>
#include <nlohmann/json.hpp>
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
        // A FIFO among the records: no command may wait on it (a hang shows as 124).
        EXPECT_EQ(mkfifo((sessoes_ / "x.json").c_str(), 0600), 0);
    }
    // KIVO_DIR and HOME this folder, unless `a` says otherwise.
    std::map<std::string, std::string> ambiente(const char* noColor = nullptr,
                                                std::map<std::string, std::string> a = {}) const {
        a.insert({{"KIVO_DIR", pasta_.raiz().string()}, {"HOME", pasta_.raiz().string()}, {"PATH", "/usr/bin:/bin"}});
        if (noColor) a["NO_COLOR"] = noColor;
        return a;
    }
    // The program in that environment, under `timeout` (a hang shows as 124).
    Execucao kivo(std::vector<std::string> args, const std::string& entrada = "", const char* noColor = nullptr,
                  const std::string& programa = KIVO_EXECUTAVEL,
                  const std::map<std::string, std::string>& mais = {}) const {
        args.insert(args.begin(), {"/usr/bin/timeout", "-s", "TERM", "10", programa});
        return kivo::teste::rodar({args, ambiente(noColor, mais)}, entrada);
    }
    kivo::teste::PastaTemporaria pasta_;
    fs::path sessoes_ = pasta_.raiz() / "sessoes";
};

// The hook must not wait on a FIFO where its record goes while holding the lock: its record replaces it.
TEST_F(Processo, GanchoNaoEsperaPorUmFifo) {
    ASSERT_EQ(mkfifo((sessoes_ / "fila.json").c_str(), 0600), 0);
    const auto inicio = R"({"hook_event_name":"SessionStart","session_id":"fila","cwd":"/tmp/f"})";
    EXPECT_EQ(kivo({}, inicio, nullptr, KIVO_GANCHO).status, 0);
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(sessoes_ / "fila.json")));
}

// Every subcommand's options, one row each: what is accepted, what is refused, with part
// of standard output and of standard error (empty when not given).
TEST_F(Processo, LinhaDeComando) {
    const std::string arquivo = (pasta_.raiz() / "claude" / "settings.json").string();
    const std::string desconhecida = "op\u00E7\u00E3o desconhecida para ";
    const std::string ajuda =  // a text on two lines, in the column
        "  kivo painel --seguir   redesenha a cada segundo e avisa das novidades\n" + std::string(25, ' ') +
        "(1\u20139, Enter: ir ao agente; q: sair)\n  kivo painel --todas ";
    const std::string faixa = "--porta precisa de um n\u00FAmero de 1 a 65535: ";
    struct Caso { std::vector<std::string> args; int status = 0; std::string saida, erro; };
    const Caso casos[] = {
        // A pipe without --largura gets whole lines.
        {.args = {"painel"}, .saida = "-com-um-nome-bem-comprido \u2014 Tem uma pergunta pra voc\u00EA \u00B7 agora\n"},
        {.args = {"painel", "--todas"}, .saida = "antiga"},
        {.args = {"painel", "--largura=16"},
         .saida = "  ! api-de-paga\u2026\n    Tem uma\n    pergunta pra\n    voc\u00EA \u00B7 agora\n"},
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
        {.args = {"olhar"}, .status = 2, .erro = "comando desconhecido: olhar\nVeja `kivo --ajuda`.\n"},
        {.args = {"web", "--porta=0"}, .status = 2, .erro = faixa + "0"},
        {.args = {"web", "--porta", "65536"}, .status = 2, .erro = faixa + "65536"},
        {.args = {"web", "--porta", "80a"}, .status = 2, .erro = faixa + "80a"},
        {.args = {"web", "--porta"}, .status = 2, .erro = "--porta precisa de um n\u00FAmero\n"},
        {.args = {"web", "--aberto"}, .status = 2, .erro = desconhecida + "web: --aberto"},
        // The only row that writes the file: the rows above found it missing.
        {.args = {"instalar", "--linha", "--arquivo", arquivo, "--gancho", KIVO_GANCHO}, .saida = "+ statusLine: "}};
    // kivo web's own options are read by kivo_web, which a build without it lacks.
    const bool comWeb = fs::exists(fs::path(KIVO_EXECUTAVEL).parent_path() / "kivo_web");
    for (const Caso& c : casos) {
        if (!c.args.empty() && c.args[0] == "web" && !comWeb) continue;
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

// Run through npx, kivo and kivo_gancho sit in npx's cache: nothing is registered from
// there, and the user is told how to install for good.
TEST_F(Processo, InstalarDoCacheDoNpxNaoRegistra) {
    const fs::path npx = pasta_.raiz() / ".npm" / "_npx" / "4f1c" / "bin";
    fs::create_directories(npx);
    fs::create_symlink(KIVO_EXECUTAVEL, npx / "kivo");
    fs::create_symlink(KIVO_GANCHO, npx / "kivo_gancho");
    const fs::path arquivo = pasta_.raiz() / "claude" / "settings.json";
    const Execucao r = kivo({"instalar", "--arquivo", arquivo.string()}, "", nullptr, (npx / "kivo").string());
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.erro, AllOf(HasSubstr((npx / "kivo_gancho").string() + " est\u00E1 no cache do npx"),
                              HasSubstr("npm install -g")));
    EXPECT_FALSE(fs::exists(arquivo));
}

// In a pipe it cleans up at once, shows the panel once, with no escape codes, news as
// lines of their own (a hook run once the panel is out), and waits for the signal, which
// ends it with status 0.
TEST_F(Processo, PainelSeguirNumCanoMostraUmaVezEEsperaOSinal) {
    const kivo::teste::Processo p = kivo::teste::iniciar({{KIVO_EXECUTAVEL, "painel", "--seguir"}, ambiente(), true});
    std::string r;
    EXPECT_TRUE(kivo::teste::lerAte(p.saida, r, "~ site")) << r;  // the panel is out
    kivo::teste::rodar({{KIVO_GANCHO}, ambiente()},
                       R"({"hook_event_name":"Stop","session_id":"site","last_assistant_message":"Ok"})");
    EXPECT_TRUE(kivo::teste::lerAte(p.saida, r, "  site terminou: Pronto: Ok\n")) << r;
    EXPECT_EQ(waitpid(p.pid, nullptr, WNOHANG), 0) << "ended before the signal";
    kill(p.pid, SIGTERM);
    const Execucao fim = kivo::teste::terminar(p, "");
    EXPECT_EQ(fim.status, 0);
    r += fim.saida;
    EXPECT_FALSE(fs::exists(sessoes_ / "antiga.json"));
    EXPECT_THAT(r, Not(HasSubstr("\x1b")));
    EXPECT_EQ(r.find("loja-virtual"), r.rfind("loja-virtual")) << r;  // the panel once
}

// On a terminal, with --todas: the alternate screen, frames of the terminal's size, a bell for
// news no notification carried; the signal brings back the normal screen with the last panel,
// the old record still there.
TEST_F(Processo, PainelSeguirNumTerminal) {
    const int mestre = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_TRUE(mestre >= 0 && grantpt(mestre) == 0 && unlockpt(mestre) == 0);
    const int terminal = open(ptsname(mestre), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios modo{};
    const winsize tamanho{.ws_row = 9, .ws_col = 30, .ws_xpixel = 0, .ws_ypixel = 0};
    ASSERT_EQ(tcgetattr(terminal, &modo), 0);
    modo.c_oflag &= ~static_cast<tcflag_t>(OPOST);  // "\n" as written
    ASSERT_TRUE(tcsetattr(terminal, TCSANOW, &modo) == 0 && ioctl(terminal, TIOCSWINSZ, &tamanho) == 0);
    const kivo::teste::Processo p =
        kivo::teste::iniciar({{KIVO_EXECUTAVEL, "painel", "--seguir", "--todas", "--avisos", "todos"}, ambiente("1"),
                              true, terminal});
    close(terminal);
    std::string tela;
    EXPECT_TRUE(kivo::teste::lerAte(mestre, tela, "\x1b[J")) << tela;
    EXPECT_THAT(tela, StartsWith("\x1b[?1049h\x1b[?25l\x1b[?7l\x1b[2J\x1b[H\x1b[Kkivo \u00B7 atualiza a cada segund\u2026\n"));
    kivo::teste::rodar({{KIVO_GANCHO}, ambiente()}, R"({"hook_event_name":"Stop","session_id":"site"})");
    EXPECT_TRUE(kivo::teste::lerAte(mestre, tela, "\a")) << tela;
    kill(p.pid, SIGTERM);
    EXPECT_EQ(kivo::teste::terminar(p, "").status, 0);
    tela += kivo::teste::lerAteOFim(mestre);
    EXPECT_THAT(tela, ::testing::ContainsRegex("\x1b\\[K  Novidades:\n\x1b\\[K  [0-9:]{8}  site terminou:\n"
                                               "\x1b\\[K    Pronto\x1b\\[J\a"));
    EXPECT_THAT(tela, ::testing::EndsWith(
        "\x1b[?7h\x1b[?25h\x1b[?1049l  (O.O)!  2 agentes precisam\n  de voc\u00EA.\n\n  ! api-de-pagamentos-com-um-\u2026\n"
        "    Tem uma pergunta pra voc\u00EA\n    \u00B7 agora\n  ! loja-virtual\n    Quer permiss\u00E3o para rodar\n    um "
        "comando \u00B7 agora\n  \u2713 site \u2014 Pronto \u00B7 agora\n  \u00B7 antiga\n    Esperando voc\u00EA \u00B7 h\u00E1 13 h\n"));
    EXPECT_TRUE(fs::exists(sessoes_ / "antiga.json"));
}

// One line, status 0, nothing on standard error: this session is left out; an explicit
// --tmux keeps tmux's styles even under NO_COLOR (a flag overrides it).
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
                          {.args = {"linha", "--tmux"}, .noColor = "1", .saida = tmux}};
    for (const Caso& c : casos) {
        SCOPED_TRACE(::testing::PrintToString(c.args) + " NO_COLOR=" + (c.noColor ? c.noColor : "(nada)"));
        const Execucao r = kivo(c.args, objeto, c.noColor);
        EXPECT_EQ(std::tie(r.status, r.erro, r.saida), std::make_tuple(0, std::string(), c.saida));
    }
}

// instalar and desinstalar take exactly one JSON text in a regular file: anything else
// is refused at once (never waiting on a FIFO), with status 1, the reason, and the
// file as it was, bytes and modification time.
TEST_F(Processo, ConfiguracaoQueNaoEhUmTextoJsonNumArquivoComum) {
    const fs::path arquivo = pasta_.raiz() / "settings.json";
    struct Caso {
        const char* nome;
        std::function<void()> preparar;  // puts something at `arquivo`
        std::string trecho;              // part of standard error
    };
    const auto texto = [&](std::string t) { return [&arquivo, t] { kivo::teste::escrever(arquivo, t); }; };
    const std::string invalido = "n\u00E3o \u00E9 um JSON v\u00E1lido (linha ";
    const Caso casos[] = {
        {.nome = "nulo e lixo depois", .preparar = texto(std::string("{\"model\":\"x\"}\0lixo", 18)),
         .trecho = invalido + "1, coluna 14): tem um byte nulo"},
        {.nome = "nulo num texto", .preparar = texto(std::string("{\n\"model\":\"a\0b\"}", 16)),
         .trecho = invalido + "2, coluna 11): tem um byte nulo"},
        {.nome = "outro valor depois", .preparar = texto("{\"a\":1}\n{\"b\":2}"),
         .trecho = invalido + "2, coluna 1): h\u00E1 mais texto depois do valor"},
        {.nome = "latin-1", .preparar = texto("{\"model\":\"caf\xE9\"}"),
         .trecho = invalido + "1, coluna 14): tem bytes que n\u00E3o s\u00E3o UTF-8"},
        {.nome = "FIFO", .preparar = [&] { ASSERT_EQ(mkfifo(arquivo.c_str(), 0600), 0); }, .trecho = "\u00E9 um FIFO"},
        {.nome = "link para FIFO",
         .preparar = [&] { ASSERT_EQ(mkfifo((pasta_.raiz() / "cano").c_str(), 0600), 0); fs::create_symlink("cano", arquivo); },
         .trecho = "\u00E9 um FIFO"},
        {.nome = "dispositivo", .preparar = [&] { fs::create_symlink("/dev/null", arquivo); }, .trecho = "\u00E9 um dispositivo"},
        {.nome = "pasta", .preparar = [&] { fs::create_directory(arquivo); }, .trecho = "\u00E9 uma pasta"},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.nome);
        c.preparar();
        struct stat antes {};
        ASSERT_EQ(stat(arquivo.c_str(), &antes), 0);
        const std::string bytes = S_ISREG(antes.st_mode) ? kivo::teste::conteudo(arquivo) : "";
        for (const std::string comando : {"instalar", "desinstalar"}) {
            std::vector<std::string> args = {comando, "--arquivo", arquivo.string()};
            if (comando == "instalar") args.insert(args.end(), {"--gancho", KIVO_GANCHO});
            const Execucao r = kivo(args);
            EXPECT_EQ(r.status, 1) << comando << ": " << r.saida;
            EXPECT_THAT(r.erro, AllOf(HasSubstr(c.trecho), HasSubstr("Nada foi alterado"))) << comando;
        }
        struct stat depois {};
        ASSERT_EQ(stat(arquivo.c_str(), &depois), 0);
        EXPECT_EQ(std::tie(depois.st_mtim.tv_sec, depois.st_mtim.tv_nsec),
                  std::tie(antes.st_mtim.tv_sec, antes.st_mtim.tv_nsec));
        if (S_ISREG(antes.st_mode)) { EXPECT_EQ(kivo::teste::conteudo(arquivo), bytes); }
        std::error_code e;
        fs::remove_all(arquivo, e);
        fs::remove(pasta_.raiz() / "cano", e);
    }
}

// A newcomer's first minutes, in order: checking the setup before and after installing,
// setup mistakes named instead of an empty panel, errors in Portuguese, help that is
// each command's own. Rows run in order (instalar and desinstalar change the file).
TEST_F(Processo, PrimeirosMinutos) {
    const std::string raiz = pasta_.raiz().string();
    kivo::teste::escrever(pasta_.raiz() / "comum", "x");
    fs::create_symlink("ciclo", pasta_.raiz() / "ciclo");
    struct Caso {
        const char* nome;
        std::vector<std::string> args;
        std::map<std::string, std::string> ambiente = {};  // over KIVO_DIR, HOME and PATH
        int status = 0;
        std::string naSaida = "";
        std::string noErro = "";  // "": empty
    };
    const std::string semPasta = raiz + "/nao-existe";
    const Caso casos[] = {
        {.nome = "nada instalado", .args = {"verificar"}, .status = 1,
         .naSaida = "\u2717 Configura\u00E7\u00F5es do Claude Code: " + raiz +
                    "/.claude/settings.json n\u00E3o existe \u2014 rode `kivo instalar`\n"},
        {.nome = "contagem na frase", .args = {"painel"}, .naSaida = "(O.O)!  2 agentes precisam de voc\u00EA.\n"},
        {.nome = "pasta que falta", .args = {"painel"}, .ambiente = {{"KIVO_DIR", semPasta}},
         .naSaida = "Nenhuma sess\u00E3o: a pasta dos registros, " + semPasta + " n\u00E3o existe (confira KIVO_DIR"},
        {.nome = "linha sem a pasta", .args = {"linha"}, .ambiente = {{"KIVO_DIR", semPasta}},
         .naSaida = "(?.?) kivo: sem a pasta " + semPasta.substr(0, 20)},
        {.nome = "til entre aspas", .args = {"painel"}, .ambiente = {{"KIVO_DIR", "~/kivo"}}, .status = 1,
         .noErro = "KIVO_DIR \u00E9 \"~/kivo\", com um ~ que o shell n\u00E3o expandiu"},
        {.nome = "sem KIVO_DIR", .args = {"painel"}, .ambiente = {{"KIVO_DIR", ""}, {"HOME", raiz + "/c"}},
         .naSaida = raiz + "/c/.kivo n\u00E3o existe (rode `kivo instalar`; `kivo verificar` confere o resto).\n"},
        {.nome = "sob um arquivo", .args = {"painel"}, .ambiente = {{"KIVO_DIR", raiz + "/comum/k"}}, .status = 1,
         .noErro = "kivo: pasta dos registros: n\u00E3o consegui ler " + raiz + "/comum/k: uma parte do caminho n\u00E3o "
                   "\u00E9 uma pasta.\nconfira KIVO_DIR e as permiss\u00F5es da pasta; `kivo verificar` confere o resto.\n"},
        {.nome = "pasta que \u00E9 arquivo", .args = {"painel", "--seguir"}, .ambiente = {{"KIVO_DIR", raiz + "/comum"}},
         .status = 1, .noErro = raiz + "/comum n\u00E3o \u00E9 uma pasta.\nconfira KIVO_DIR"},
        {.nome = "largura pequena demais", .args = {"painel", "--largura", "5"}, .status = 2,
         .noErro = "--largura precisa de um n\u00FAmero de colunas, de 16 para cima\nVeja `kivo painel --ajuda`."},
        {.nome = "ENOTDIR", .args = {"instalar", "--arquivo", raiz + "/comum/s.json", "--gancho", KIVO_GANCHO},
         .status = 1, .noErro = "/comum/s.json: uma parte do caminho n\u00E3o \u00E9 uma pasta."},
        {.nome = "ELOOP", .args = {"desinstalar", "--arquivo", raiz + "/ciclo"}, .status = 1,
         .noErro = "/ciclo: links simb\u00F3licos em ciclo"},
        {.nome = "op\u00E7\u00F5es", .args = {"painel", "--ajuda"}, .naSaida = "\nOp\u00E7\u00F5es:\n  --largura N" +
         std::string(12, ' ') + "cabe em N colunas, de 16 para cima (padr\u00E3o: a largura\n" + std::string(25, ' ') +
         "do terminal)\n  --avisos QUAIS"},
        {.nome = "instalar", .args = {"instalar", "--gancho", KIVO_GANCHO}, .naSaida = "`kivo verificar` confere"},
        {.nome = "tudo no lugar", .args = {"verificar"},
         .naSaida = "\u2713 Gancho: registrado nos 11 eventos, " KIVO_GANCHO},
        {.nome = "desinstalar diz o que ficou", .args = {"desinstalar"},
         .naSaida = "Ficou a pasta dos registros das sess\u00F5es, " + raiz + ". Para apag\u00E1-la: rm -r '" + raiz + "'\n"},
        {.nome = "gancho faltando", .args = {"verificar"}, .status = 1,
         .naSaida = "\u2717 Gancho: o kivo_gancho n\u00E3o est\u00E1 registrado em nenhum evento \u2014 rode `kivo instalar`\n"},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.nome);
        const Execucao r = kivo(c.args, "", nullptr, KIVO_EXECUTAVEL, c.ambiente);
        EXPECT_EQ(r.status, c.status) << r.saida << r.erro;
        EXPECT_THAT(r.saida, ::testing::HasSubstr(c.naSaida));
        EXPECT_THAT(r.erro, c.noErro.empty() ? ::testing::Matcher<std::string>(std::string())
                                             : ::testing::HasSubstr(c.noErro));
    }
    // Each command's own help, in at most 20 lines.
    for (const char* comando : {"painel", "linha", "limpar", "instalar", "desinstalar", "verificar"}) {
        const Execucao r = kivo({comando, "--ajuda"});
        EXPECT_EQ(r.status, 0);
        EXPECT_THAT(r.saida, ::testing::StartsWith(std::string("Uso:\n  kivo ") + comando));
        EXPECT_LE(std::count(r.saida.begin(), r.saida.end(), '\n'), 20) << r.saida;
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
    const struct { const char* sessao; double contexto, custo; const char* naLinha; } casos[] = {
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
          R"({"session_id":"loja","cost":{"total_cost_usd":1e999}})", "\xFF{"})
        EXPECT_THAT(kivo({"linha"}, ruim).saida, ::testing::MatchesRegex("\\(O\\.O\\)! [^\n]*\n"));
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
