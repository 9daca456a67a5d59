// kivo as a process, the way a user runs it: the command line of each subcommand, a
// session folder holding a FIFO, and the status line fed Claude Code's own object.
#include "processo.hpp"

#include <gtest/gtest.h>
#include <gmock/gmock.h>
#include <sys/stat.h>

#include <algorithm>
#include <functional>
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
         .preparar = [&] {
             ASSERT_EQ(mkfifo((pasta_.raiz() / "cano").c_str(), 0600), 0);
             fs::create_symlink("cano", arquivo);
         },
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
            const Execucao r = kivo(args, "", nullptr, "5");
            EXPECT_EQ(r.status, 1) << comando << ": " << r.saida;
            EXPECT_THAT(r.erro, ::testing::AllOf(::testing::HasSubstr(c.trecho), ::testing::HasSubstr("Nada foi alterado")))
                << comando;
        }
        struct stat depois {};
        ASSERT_EQ(stat(arquivo.c_str(), &depois), 0);
        EXPECT_EQ(depois.st_mtim.tv_sec, antes.st_mtim.tv_sec);
        EXPECT_EQ(depois.st_mtim.tv_nsec, antes.st_mtim.tv_nsec);
        if (S_ISREG(antes.st_mode)) {
            EXPECT_EQ(kivo::teste::conteudo(arquivo), bytes);
        }
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
        {.nome = "pasta que \u00E9 arquivo", .args = {"painel", "--seguir"}, .ambiente = {{"KIVO_DIR", raiz + "/comum"}},
         .status = 1, .noErro = raiz + "/comum n\u00E3o \u00E9 uma pasta.\nconfira KIVO_DIR"},
        {.nome = "largura pequena demais", .args = {"painel", "--largura", "5"}, .status = 2,
         .noErro = "--largura precisa de um n\u00FAmero de colunas, de 16 para cima\nVeja `kivo painel --ajuda`."},
        {.nome = "ENOTDIR", .args = {"instalar", "--arquivo", raiz + "/comum/s.json", "--gancho", KIVO_GANCHO},
         .status = 1, .noErro = "/comum/s.json: uma parte do caminho n\u00E3o \u00E9 uma pasta."},
        {.nome = "ELOOP", .args = {"desinstalar", "--arquivo", raiz + "/ciclo"}, .status = 1,
         .noErro = "/ciclo: links simb\u00F3licos em ciclo"},
        {.nome = "ajuda da linha", .args = {"linha", "--ajuda"}, .naSaida = "Uso:\n  kivo linha "},
        {.nome = "help", .args = {"help"}, .naSaida = "  kivo verificar "},
        {.nome = "-V", .args = {"-V"}, .naSaida = "kivo "},
        {.nome = "mostrar por evento", .args = {"instalar", "--mostrar", "--gancho", KIVO_GANCHO},
         .naSaida = ":\n  + SessionStart\n  + UserPromptSubmit\n"},
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
        std::vector<std::string> argv = {"/usr/bin/timeout", "-s", "TERM", "10", KIVO_EXECUTAVEL};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        std::map<std::string, std::string> ambiente = {{"KIVO_DIR", raiz}, {"HOME", raiz}, {"PATH", "/usr/bin:/bin"}};
        for (const auto& [k, v] : c.ambiente) ambiente[k] = v;
        const Execucao r = kivo::teste::rodar({argv, ambiente});
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

}  // namespace
