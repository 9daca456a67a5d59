// Going to an agent against a real tmux server: a private socket in a temporary
// TMUX_TMPDIR, agents that are children of their pane's shell, and control-mode
// clients attached as a user's terminals would be.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "pastas.hpp"
#include "processo.hpp"

namespace fs = std::filesystem;
using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {
constexpr const char* tmuxPrograma = "/usr/bin/tmux";

class TmuxReal : public ::testing::Test {
protected:
    void SetUp() override {
        if (access(tmuxPrograma, X_OK) != 0) GTEST_SKIP() << "sem " << tmuxPrograma << ": o tmux n\u00E3o pode rodar aqui";
        fs::create_directories(raiz_ / "tmux");
        ambiente_ = {{"KIVO_DIR", raiz_.string()}, {"HOME", raiz_.string()}, {"PATH", "/usr/bin:/bin"},
                     {"TMUX_TMPDIR", (raiz_ / "tmux").string()}, {"LANG", "C.UTF-8"}, {"TERM", "xterm-256color"}};
        // Session "um": the agent of loja-virtual. Session "dois": a shell (window 0)
        // and the agent of api-pagamentos (window 1, second pane).
        if (tmux({"-f", "/dev/null", "new-session", "-d", "-s", "um", "-x", "80", "-y", "24", agente("loja")}).status != 0) {
            GTEST_SKIP() << "o tmux n\u00E3o conseguiu iniciar um servidor";
        }
        tmux({"new-session", "-d", "-s", "dois", "-x", "80", "-y", "24", "sh"});
        tmux({"new-window", "-t", "dois", "sh"});
        tmux({"split-window", "-t", "dois:1", agente("api")});
        std::string loja, api;
        ASSERT_TRUE(kivo::teste::esperarAte([&] {
            loja = kivo::teste::conteudo(raiz_ / "loja.pid"), api = kivo::teste::conteudo(raiz_ / "api.pid");
            return !loja.empty() && !api.empty();
        }));
        evento("a1b2c3d4-loja", "loja-virtual", "UserPromptSubmit", loja.substr(0, loja.find('\n')));
        evento("a1b2ffff-api", "api-pagamentos", "PermissionRequest", api.substr(0, api.find('\n')));
        fora_ = kivo::teste::iniciar({{"/bin/sleep", "600"}, ambiente_});
        evento("c9c9c9c9-fora", "fora", "UserPromptSubmit", std::to_string(fora_.pid));
        paineis_ = {{"loja", painelDe("um:0.0")}, {"api", painelDe("dois:1.1")}, {"shell", painelDe("dois:0.0")}};
        cliente_ = conectar("dois");
    }
    void TearDown() override {
        tmux({"kill-server"});
        for (const kivo::teste::Processo& p : {fora_, cliente_, outro_}) {
            if (p.pid > 0) kill(p.pid, SIGKILL), waitpid(p.pid, nullptr, 0);
        }
    }
    // A pane whose shell starts the stand-in agent as its child and waits for it.
    std::string agente(const std::string& nome) const {
        return "sh -c 'sleep 600 & echo $! > " + (raiz_ / (nome + ".pid")).string() + "; wait'";
    }
    void evento(const std::string& id, const std::string& projeto, const std::string& nome, const std::string& pid) {
        auto a = ambiente_;
        a["CLAUDE_PID"] = pid;
        const std::string e = R"({"hook_event_name":")" + nome + R"(","session_id":")" + id +
                              R"(","cwd":"/home/ana/)" + projeto + R"(","tool_name":"Bash","tool_use_id":"t)" +
                              std::to_string(++eventos_) + R"("})";
        ASSERT_EQ(kivo::teste::rodar({{KIVO_GANCHO}, a}, e).status, 0);
    }
    kivo::teste::Execucao tmux(std::vector<std::string> args) const {
        args.insert(args.begin(), {tmuxPrograma, "-L", "kivo"});
        return kivo::teste::rodar({args, ambiente_, true});
    }
    std::string painelDe(const std::string& alvo) const {
        std::string id = tmux({"display-message", "-p", "-t", alvo, "#{pane_id}"}).saida;
        return id.substr(0, id.find('\n'));
    }
    // A control-mode client attached to `sessao`, its input kept open for commands.
    kivo::teste::Processo conectar(const std::string& sessao) {
        kivo::teste::Processo p = kivo::teste::iniciar({{tmuxPrograma, "-L", "kivo", "-C", "attach", "-t", sessao}, ambiente_});
        kivo::teste::esperarAte([&] { return !mostra(p).empty(); });
        return p;
    }
    // The pane the client `p` shows.
    std::string mostra(const kivo::teste::Processo& p) const {
        const std::string lista = tmux({"list-clients", "-F", "#{client_pid} #{pane_id}"}).saida;
        const std::string inicio = std::to_string(p.pid) + " ";
        const std::size_t i = lista.find(inicio);
        return i == std::string::npos ? "" : lista.substr(i + inicio.size(), lista.find('\n', i) - i - inicio.size());
    }
    void mover(const kivo::teste::Processo& p, const std::string& painel) {
        const std::string nome = tmux({"list-clients", "-F", "#{client_pid} #{client_name}"}).saida;
        const std::size_t i = nome.find(std::to_string(p.pid) + " ");
        ASSERT_NE(i, std::string::npos);
        const std::size_t n = i + std::to_string(p.pid).size() + 1;
        tmux({"switch-client", "-c", nome.substr(n, nome.find('\n', i) - n), "-t", painel});
        ASSERT_EQ(mostra(p), painel);
    }
    kivo::teste::Execucao kivo(std::vector<std::string> args) const {
        args.insert(args.begin(), {"/usr/bin/timeout", "10", KIVO_EXECUTAVEL});
        return kivo::teste::rodar({args, ambiente_, true});
    }

    kivo::teste::PastaTemporaria pasta_;
    fs::path raiz_ = pasta_.raiz();
    std::map<std::string, std::string> ambiente_;
    std::map<std::string, std::string> paineis_;
    kivo::teste::Processo fora_, cliente_, outro_;
    int eventos_ = 0;
};

// By id, by the start of one, by project and with no argument (the session that needs
// you), across tmux sessions: window and pane selected.
TEST_F(TmuxReal, IrLevaOClienteAoPainelDoAgente) {
    struct Caso { std::vector<std::string> pedido; std::string painel; };
    const Caso casos[] = {{.pedido = {"a1b2ffff-api"}, .painel = "api"},
                          {.pedido = {"a1b2c"}, .painel = "loja"},
                          {.pedido = {"api-pagamentos"}, .painel = "api"},
                          {.pedido = {"--", "loja-virtual"}, .painel = "loja"},
                          {.pedido = {}, .painel = "api"}};
    for (const Caso& c : casos) {
        SCOPED_TRACE(::testing::PrintToString(c.pedido));
        mover(cliente_, paineis_["shell"]);
        std::vector<std::string> args{"ir"};
        args.insert(args.end(), c.pedido.begin(), c.pedido.end());
        const kivo::teste::Execucao r = kivo(args);
        EXPECT_EQ(std::tie(r.status, r.erro), std::make_tuple(0, std::string()));
        EXPECT_EQ(mostra(cliente_), paineis_[c.painel]);
    }
}

// Unknown, ambiguous, not in tmux: status 1, what matches or where the agent is, and the
// client stays where it was.
TEST_F(TmuxReal, RecusasDeixamOClienteOndeEstava) {
    struct Caso { std::string pedido; std::vector<std::string> diz; };
    const Caso casos[] = {
        {.pedido = "nada", .diz = {"Nenhuma sess\u00E3o com o id", "a1b2c3d4  loja-virtual", "c9c9c9c9  fora"}},
        {.pedido = "a1b2", .diz = {"2 sess\u00F5es come\u00E7am com \u201Ca1b2\u201D", "a1b2ffff  api-pagamentos"}},
        {.pedido = "fora", .diz = {"fora n\u00E3o est\u00E1 no tmux: roda "}}};
    mover(cliente_, paineis_["shell"]);
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.pedido);
        const kivo::teste::Execucao r = kivo({"ir", c.pedido});
        EXPECT_EQ(r.status, 1);
        for (const std::string& d : c.diz) EXPECT_THAT(r.erro, HasSubstr(d));
        EXPECT_EQ(mostra(cliente_), paineis_["shell"]);
    }
    kill(cliente_.pid, SIGKILL), waitpid(cliente_.pid, nullptr, 0), cliente_.pid = -1;
    ASSERT_TRUE(kivo::teste::esperarAte([&] { return tmux({"list-clients"}).saida.empty(); }));
    const kivo::teste::Execucao r = kivo({"ir", "loja-virtual"});
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.erro, HasSubstr("nenhum terminal est\u00E1 anexado"));
}

// From a key binding (run-shell): the client that pressed the key moves, not another;
// a refusal is shown over its pane (run-shell drops standard error).
TEST_F(TmuxReal, TeclaDoTmuxMoveQuemApertou) {
    outro_ = conectar("um");
    mover(cliente_, paineis_["shell"]);
    const std::string antes = mostra(outro_);
    const auto tecla = [&](const std::string& pedido) {
        const std::string comando = "run-shell \"'" + std::string(KIVO_EXECUTAVEL) + "' ir " + pedido + "\"\n";
        ASSERT_EQ(write(cliente_.entrada, comando.data(), comando.size()), static_cast<ssize_t>(comando.size()));
    };
    tecla("api-pagamentos");
    EXPECT_TRUE(kivo::teste::esperarAte([&] { return mostra(cliente_) == paineis_["api"]; }));
    EXPECT_EQ(mostra(outro_), antes);
    tecla("nada");
    EXPECT_TRUE(kivo::teste::esperarAte([&] {
        return tmux({"display-message", "-p", "-t", paineis_["api"], "#{pane_mode}"}).saida == "view-mode\n";
    }));
    EXPECT_EQ(mostra(cliente_), paineis_["api"]);
}

// The panel in a real pane: 1 goes to the first line's session (the one that needs
// you), Enter to the highlighted one; every way out gives the terminal its mode back.
TEST_F(TmuxReal, TeclasDoPainel) {
    const fs::path modo = raiz_ / "modo", pid = raiz_ / "painel.pid";
    const std::string linha = "sh -c 'echo $$ > " + pid.string() + "; exec " + KIVO_EXECUTAVEL +
                              " painel --seguir'; stty -a > " + modo.string();
    const auto tela = [&] { return tmux({"capture-pane", "-p", "-t", paineis_["shell"]}).saida; };
    struct Saida { std::string como; };
    for (const Saida& s : {Saida{"q"}, Saida{"C-c"}, Saida{"TERM"}, Saida{"HUP"}}) {
        SCOPED_TRACE(s.como);
        fs::remove(modo), fs::remove(pid);
        mover(cliente_, paineis_["shell"]);
        tmux({"send-keys", "-t", paineis_["shell"], linha, "Enter"});
        ASSERT_TRUE(kivo::teste::esperarAte([&] { return tela().find("Enter: \u00E0 destacada") != std::string::npos; }))
            << tela();
        EXPECT_THAT(tela(), HasSubstr("1 ! api-pagamentos"));
        tmux({"send-keys", "-t", paineis_["shell"], s.como == "q" ? "1" : "Enter"});
        EXPECT_TRUE(kivo::teste::esperarAte([&] { return mostra(cliente_) == paineis_["api"]; }));
        if (s.como == "q" || s.como == "C-c") {
            tmux({"send-keys", "-t", paineis_["shell"], s.como});
        } else {
            kill(std::stoi(kivo::teste::conteudo(pid)), s.como == "TERM" ? SIGTERM : SIGHUP);
        }
        ASSERT_TRUE(kivo::teste::esperarAte([&] { return kivo::teste::conteudo(modo).find("icanon") != std::string::npos; }));
        EXPECT_THAT(kivo::teste::conteudo(modo), AllOf(HasSubstr(" icanon"), HasSubstr(" echo "), Not(HasSubstr("-icanon"))));
    }
}
}  // namespace

namespace {
// Notices respect attention: none for the pane a focused client shows; the one that
// comes carries "Ir para o agente" (through a stand-in notify-send that chooses it),
// which goes there.
TEST_F(TmuxReal, AvisoDoQueNaoSeVeLevaAoAgente) {
    fs::create_directories(raiz_ / "bin");
    const fs::path registro = raiz_ / "avisos.log", falso = raiz_ / "bin" / "notify-send";
    kivo::teste::escrever(falso, "#!/bin/sh\n[ \"$1\" = --help ] && { echo '  -A, --action=[NAME=]Text...'; exit 0; }\n"
                                 "printf '%s\\n' \"$*\" >> " + registro.string() + "\necho ir\n");
    fs::permissions(falso, fs::perms::owner_all);
    outro_ = conectar("um");  // looks at loja-virtual's pane
    mover(cliente_, paineis_["shell"]);
    const auto tela = [&] { return tmux({"capture-pane", "-p", "-t", paineis_["shell"]}).saida; };
    tmux({"send-keys", "-t", paineis_["shell"], "DISPLAY=:9 PATH=" + (raiz_ / "bin").string() + ":/usr/bin:/bin " +
                                                     KIVO_EXECUTAVEL + " painel --seguir", "Enter"});
    ASSERT_TRUE(kivo::teste::esperarAte([&] { return tela().find("q: sair") != std::string::npos; })) << tela();
    const auto pid = [&](const char* nome) {
        const std::string p = kivo::teste::conteudo(raiz_ / nome);
        return p.substr(0, p.find('\n'));
    };
    evento("a1b2c3d4-loja", "loja-virtual", "PermissionRequest", pid("loja.pid"));
    ASSERT_TRUE(kivo::teste::esperarAte([&] { return tela().find("loja-virtual precisa") != std::string::npos; })) << tela();
    evento("a1b2ffff-api", "api-pagamentos", "PermissionRequest", pid("api.pid"));
    ASSERT_TRUE(kivo::teste::esperarAte([&] { return mostra(cliente_) == paineis_["api"] || mostra(outro_) == paineis_["api"]; }));
    EXPECT_EQ(kivo::teste::conteudo(registro),
              "--action=ir=Ir para o agente --app-name=kivo -- api-pagamentos precisa de voc\u00EA "
              "Quer permiss\u00E3o para rodar um comando\n");
}

// kivo instalar --tmux: two lines at the end that tmux itself reads as prefix-K, a copy,
// nothing more on a second run, a K of the user's own refused, and desinstalar takes
// exactly those lines out.
TEST(InstalarTmux, TeclaKNoTmuxConf) {
    if (access(tmuxPrograma, X_OK) != 0) GTEST_SKIP() << "sem " << tmuxPrograma << ": o tmux n\u00E3o pode rodar aqui";
    kivo::teste::PastaTemporaria pasta;
    const fs::path conf = pasta.raiz() / ".tmux.conf";
    const std::map<std::string, std::string> ambiente = {{"HOME", pasta.raiz().string()}, {"PATH", "/usr/bin:/bin"},
                                                         {"KIVO_DIR", (pasta.raiz() / "k").string()},
                                                         {"TMUX_TMPDIR", pasta.raiz().string()}};
    const auto kivo = [&](const std::vector<std::string>& args) {
        std::vector<std::string> argv{KIVO_EXECUTAVEL};
        argv.insert(argv.end(), args.begin(), args.end());
        return kivo::teste::rodar({argv, ambiente, true});
    };
    const std::string arquivo = "--arquivo=" + (pasta.raiz() / "settings.json").string();
    kivo::teste::escrever(conf, "set -g mouse on");
    EXPECT_EQ(kivo({"instalar", "--tmux", arquivo}).status, 0);
    const std::string ligacao = "bind-key K run-shell \"'" + std::string(KIVO_EXECUTAVEL) + "' ir\"\n";
    EXPECT_EQ(kivo::teste::conteudo(conf), "set -g mouse on\n# kivo: prefixo e K levam ao agente que precisa de voc\u00EA "
                                           "(kivo ir)\n" + ligacao);
    const kivo::teste::Execucao teclas = kivo::teste::rodar(
        {{tmuxPrograma, "-L", "conf", "-f", conf.string(), "start-server", ";", "list-keys", "-T", "prefix", "K", ";",
          "kill-server"}, ambiente, true});
    EXPECT_THAT(teclas.saida, HasSubstr("run-shell \"'" + std::string(KIVO_EXECUTAVEL) + "' ir\""));
    EXPECT_THAT(kivo({"instalar", "--tmux", arquivo}).saida, HasSubstr("Nada a mudar: a tecla K"));
    EXPECT_THAT(kivo::teste::nomesEm(pasta.raiz()), ::testing::Contains(::testing::StartsWith(".tmux.conf.kivo-backup-")));
    EXPECT_EQ(kivo({"desinstalar", arquivo}).status, 0);
    EXPECT_EQ(kivo::teste::conteudo(conf), "set -g mouse on\n");
    kivo::teste::escrever(conf, "bind K kill-pane\n");
    const kivo::teste::Execucao recusa = kivo({"instalar", "--tmux", arquivo});
    EXPECT_EQ(recusa.status, 1);
    EXPECT_THAT(recusa.erro, HasSubstr("a tecla K j\u00E1 est\u00E1 ligada em " + conf.string() + " (linha 1)"));
    EXPECT_EQ(kivo::teste::conteudo(conf), "bind K kill-pane\n");
}
}  // namespace
