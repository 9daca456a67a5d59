// Inside kivo web's server: the state the network thread works on. servidor.cpp holds
// the routes (what each request gets) and the owner's side; conexao.cpp the
// connections (reading heads against a deadline, writing answers, the event stream).
#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/message.hpp>
#include <atomic>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "difusor.hpp"
#include "observador.hpp"
#include "resposta.hpp"
#include "servidor.hpp"
#include "apresentacao/apresentacao.hpp"

namespace kivo::web {

using Pedido = boost::beast::http::request<boost::beast::http::empty_body>;

// What the routes learn about the connection a request came on, and leave on it.
struct Vinculo {
    bool autorizada = false;  // a request with the token and a good Host came in
    std::unique_ptr<Difusor::Inscricao> inscricao;  // the event stream, once given
    std::optional<std::string> ida;  // the session a deferred answer goes to
};

// At most this many goings to an agent run at once; the next gets 503.
inline constexpr std::size_t kIdasMaximas = 4;

struct Servidor::Interno {
    struct Conexao;

    explicit Interno(OpcoesServidor o)
        : opcoes(std::move(o)),
          token(novoToken()),
          difusor(opcoes.fluxosMaximos),
          observador(opcoes.pasta, difusor, opcoes.vivo,
                     opcoes.relogio ? opcoes.relogio : std::function<double()>(app::relogio), opcoes.olhando) {}

    void aceitar();
    void admitir(boost::asio::ip::tcp::socket soquete);
    Resposta atender(const Pedido& req, Vinculo& conexao);
    void encerrarTudo();
    // Runs `tarefa` on a thread of its own: false when kIdasMaximas are running.
    bool lancar(std::function<void()> tarefa);
    void esperarIdas();

    OpcoesServidor opcoes;
    std::string token;
    // The goings in progress, each with a flag it raises when done.
    std::mutex idasMutex;
    std::list<std::pair<std::thread, std::shared_ptr<std::atomic<bool>>>> idas;
    Difusor difusor;
    Observador observador;
    // Open connections, oldest first. Touched by the network thread only (and by the
    // owner's thread before it starts).
    std::list<Conexao*> conexoes;
    // Declared after what the connections use: destroying it destroys the handlers
    // still pending, and with them the last connections.
    boost::asio::io_context io{1};
    boost::asio::ip::tcp::acceptor aceitador{io};
    boost::asio::steady_timer pausa{io};  // after a failed accept (out of descriptors, say)
    std::thread rede;
    int porta = 0;
    bool iniciado = false;
    bool parando = false;  // network thread only
};

}  // namespace kivo::web
