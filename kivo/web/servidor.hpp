// The HTTP server of `kivo web`: the page, GET /api/resumo and the event stream
// GET /api/eventos, on 127.0.0.1 only, behind a token made for this run. Every
// request needs the token (in the URL once, then in a cookie); the Host header must
// name the loopback address and this port; only GET and HEAD are served, but for the
// one request that changes something, POST /api/ir, which also needs the cookie and
// an Origin that is the page's own (or Sec-Fetch-Site: same-origin).
// Threads: one that serves every connection (event-driven: each request's head has a
// total deadline and a size limit, and at most conexoesMaximas connections are open)
// and the folder's watcher. The public members are for the thread that owns the
// object.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "apresentacao/avisos.hpp"
#include "apresentacao/vigencia.hpp"
#include "tmux/ir.hpp"

namespace kivo::web {

struct OpcoesServidor {
    std::filesystem::path pasta;     // the session folder
    int porta = 0;                   // 0: a free port chosen by the system
    std::size_t fluxosMaximos = 16;  // open event streams; the next gets 503
    // Open connections; at the cap, a new one closes the oldest that has not shown the
    // token (or is itself closed when all have).
    std::size_t conexoesMaximas = 256;
    int pulsacaoSegundos = 15;       // a comment on idle streams this often
    app::ProcessoVivo vivo = app::processoExiste;
    std::function<double()> relogio;  // empty: the wall clock
    // Whether the user looks at a session (no notice for it); empty: never.
    app::Olhando olhando;
    // POST /api/ir?s=ID: goes to that session's agent, off the network thread (it
    // may wait for tmux); empty: 404.
    std::function<app::Ida(const std::string& sessao)> ir;
};

// 32 random bytes from the operating system, as 64 hexadecimal digits. Throws
// std::system_error when the system's random source fails.
std::string novoToken();

// `a` == `b`, in a time that depends on their lengths only.
bool mesmoToken(std::string_view a, std::string_view b);

class Servidor {
public:
    explicit Servidor(OpcoesServidor opcoes);  // makes the token; binds nothing
    ~Servidor();
    Servidor(const Servidor&) = delete;
    Servidor& operator=(const Servidor&) = delete;

    // Binds 127.0.0.1 at the port, reads the folder once and starts serving in the
    // background. Throws std::system_error with the bind's errno (EADDRINUSE for a
    // busy port), or when a thread cannot be made.
    void iniciar();

    // Stops accepting, ends every event stream, closes every connection and waits for
    // the threads. Idempotent; never throws.
    void parar();

    int porta() const;
    const std::string& token() const;
    // http://127.0.0.1:PORT/?t=TOKEN
    std::string endereco() const;

private:
    struct Interno;
    std::unique_ptr<Interno> interno_;
};

}  // namespace kivo::web
