// tmux as the companion sees it: the user's servers (every socket in the user's tmux
// folder, not only the default one), their panes and clients, the pane a process runs
// in (found by its ancestry, never by asking which pane is active), and moving a
// client to a pane. Every question is one `tmux` run with a deadline. Knows no
// record; thread-safe.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kivo::app {

// A tmux command is given this long to answer.
inline constexpr int prazoDoTmux = 2000;

// The sockets of the user's tmux servers: `$TMUX`'s own (first), then every socket in
// "<TMUX_TMPDIR or /tmp>/tmux-<uid>/". `tmux` is $TMUX (null when unset), `tmpdir`
// $TMUX_TMPDIR.
std::vector<std::string> servidoresDoTmux(const char* tmux, const char* tmpdir, uid_t uid);

struct PainelTmux {
    std::string soquete;
    std::string sessao;   // its session's name
    std::string janela;   // window id, "@3"
    int indiceJanela = 0;
    int indicePainel = 0;
    std::string id;       // pane id, "%7"
    pid_t pid = 0;        // the pane's first process
};

struct ClienteTmux {
    std::string nome;         // client_name
    std::string painel;       // the pane it shows, "%7"
    long long atividade = 0;  // client_activity
    bool anexado = false;
    bool focado = false;      // "focused" in client_flags (always there without focus-events)
};

// What one server said in a single run: its panes and its clients.
struct ServidorTmux {
    std::vector<PainelTmux> paineis;
    std::vector<ClienteTmux> clientes;
};

// A process's pane, with the clients of its server.
struct PainelAchado {
    PainelTmux painel;
    std::vector<ClienteTmux> clientes;
};

// The most recently active attached client of `clientes`; nullopt when none.
std::optional<ClienteTmux> clienteMaisRecente(const std::vector<ClienteTmux>& clientes);

class Tmux {
public:
    // `programa`: the tmux to run ("tmux": looked up on the PATH).
    explicit Tmux(std::string programa = "tmux") : programa_(std::move(programa)) {}

    // The panes of every session of the server at `soquete` and its clients, asked in
    // one run of tmux; empty when it does not answer.
    ServidorTmux consultar(const std::string& soquete) const;

    // The pane of the nearest of `linhagem` (a process and its ancestors, nearest
    // first) on the first of `servidores` that has one.
    std::optional<PainelAchado> painelDe(const std::vector<pid_t>& linhagem,
                                         const std::vector<std::string>& servidores) const;

    // The client that ran this process from inside tmux (a key binding's run-shell, a
    // pane's shell): what `display -p '#{client_name}'` says on `soquete`; "" when none.
    std::string clienteAtual(const std::string& soquete) const;

    // Moves `cliente` to `painel`: its session, window and pane. True when tmux agreed.
    bool mover(const std::string& cliente, const PainelTmux& painel) const;

private:
    std::optional<std::string> rodar(const std::string& soquete, const std::vector<std::string>& argumentos) const;
    std::string programa_;
};

}  // namespace kivo::app
