#include "servidor_interno.hpp"

#include <fcntl.h>
#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <boost/asio/posix/stream_descriptor.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/read.hpp>
#include <chrono>
#include <optional>
#include <utility>
#include <vector>

#include "resumo_json.hpp"

namespace kivo::web {

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = boost::beast::http;
using tcp = asio::ip::tcp;
using namespace std::chrono_literals;

// A request's head (request line and headers) must arrive whole within this time of
// the connection's start, however slowly it trickles in; on a connection kept open
// for more requests, each next head within kOciosa (resposta.hpp) of the previous answer.
constexpr auto kCabecaPrazo = 5s;
// Writing one answer, or one event of a stream, may take this long.
constexpr auto kEscritaPrazo = 5s;
// A head larger than this, or with more header lines, gets 400 and the connection
// closes: the rest is never read.
constexpr std::uint32_t kCabecaMaxima = 16 * 1024;
constexpr std::size_t kCamposMaximos = 100;

}  // namespace

// One client's connection: requests one after the other (their heads read against a
// total deadline, never more than kCabecaMaxima of them kept), then either answers
// or, once, the event stream. Lives while an operation of its own is pending.
struct Servidor::Interno::Conexao : Vinculo, std::enable_shared_from_this<Conexao> {
    Conexao(Interno& s, tcp::socket so)
        : servidor(s), soquete(std::move(so)), prazo(s.io), pulso(s.io), aviso(s.io), buffer(kCabecaMaxima) {}
    ~Conexao() {
        if (naLista) servidor.conexoes.erase(posicao);
        if (aviso.is_open()) aviso.release();
    }

    void iniciar() {
        posicao = servidor.conexoes.insert(servidor.conexoes.end(), this);
        naLista = true;
        lerCabeca(kCabecaPrazo);
    }

    // Closes the connection at once; what is pending ends with an error.
    void fechar() {
        if (naLista) {
            servidor.conexoes.erase(posicao);
            naLista = false;
        }
        beast::error_code ignorado;
        soquete.close(ignorado);
        prazo.cancel();
        pulso.cancel();
        if (aviso.is_open()) aviso.release();
        inscricao.reset();  // the stream's place goes back at once
    }

    // The server stops: a stream gets its last chunk if the socket takes it now.
    void encerrar() {
        if (inscricao && !escrevendo && soquete.is_open()) {
            constexpr std::string_view kFim = "0\r\n\r\n";
            [[maybe_unused]] const auto n =
                ::send(soquete.native_handle(), kFim.data(), kFim.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        }
        fechar();
    }

    // The deadline for what is pending: when it passes, the connection closes.
    void armar(asio::steady_timer& relogio, std::chrono::steady_clock::duration d) {
        relogio.expires_after(d);
        relogio.async_wait([eu = shared_from_this()](beast::error_code ec) {
            if (!ec) eu->fechar();
        });
    }

    void lerCabeca(std::chrono::steady_clock::duration d) {
        parser.emplace();
        parser->header_limit(kCabecaMaxima);
        armar(prazo, d);
        http::async_read_header(soquete, buffer, *parser,
                                [eu = shared_from_this()](beast::error_code ec, std::size_t) { eu->cabecaLida(ec); });
    }

    void cabecaLida(beast::error_code ec) {
        prazo.cancel();
        if (!soquete.is_open() || servidor.parando) return;
        const bool invalido = ec && ec.category() == beast::http::make_error_code(http::error::bad_target).category() &&
                              ec != http::error::end_of_stream && ec != http::error::partial_message;
        if (ec && !invalido) {
            fechar();  // gone, or reset
            return;
        }
        const auto& req = parser->get();
        if (invalido || (req.version() != 10 && req.version() != 11) ||
            static_cast<std::size_t>(std::distance(req.begin(), req.end())) > kCamposMaximos ||
            !metodoConhecido(req.method_string())) {
            escrever(Resposta{.status = 400}, false, true);
            return;
        }
        ++pedidos;
        const bool head = req.method() == http::verb::head;
        const bool pedeFechar = req.version() == 11 && !parser->keep_alive();
        const bool comCorpo = parser->chunked() || parser->content_length().value_or(0) > 0;
        const bool avisarFechar = pedeFechar || pedidos >= kPedidosPorConexao;
        const bool fecharDepois = avisarFechar || !parser->keep_alive() || comCorpo;
        Resposta r;
        try {
            r = servidor.atender(req, *this);
        } catch (const std::exception&) {
            r = Resposta{.status = 500};
        }
        if (r.adiada) {
            ir(fecharDepois, avisarFechar);
            return;
        }
        if (r.fluxo) {
            prefixo = cabecaDe(r, false, avisarFechar);
            aviso.assign(inscricao->descritor());
            vigiarCliente();
            enviarFluxo();
            return;
        }
        escrever(std::move(r), head, fecharDepois, avisarFechar);
    }

    void escrever(Resposta r, bool head, bool fecharDepois, std::optional<bool> avisar = std::nullopt) {
        saida = cabecaDe(r, head, avisar.value_or(fecharDepois));
        resposta = std::move(r);
        const std::array<asio::const_buffer, 2> partes = {
            asio::buffer(saida), head ? asio::const_buffer() : asio::buffer(resposta.corpo.data(), resposta.corpo.size())};
        armar(prazo, kEscritaPrazo);
        asio::async_write(soquete, partes, [eu = shared_from_this(), fecharDepois](beast::error_code ec, std::size_t) {
            eu->prazo.cancel();
            eu->resposta = Resposta{};
            if (ec || !eu->soquete.is_open() || eu->servidor.parando) {
                eu->fechar();
            } else if (fecharDepois) {
                eu->fecharDepoisDeEscrever();
            } else {
                eu->lerCabeca(kOciosa);
            }
        });
    }

    // POST /api/ir: the going runs on a thread of its own (tmux may take its time); its
    // answer is written here, on the network thread, when it is back.
    void ir(bool fecharDepois, bool avisarFechar) {
        std::string sessao = std::move(*ida);
        ida.reset();
        auto eu = shared_from_this();
        const bool lancada = servidor.lancar([eu, sessao = std::move(sessao), fecharDepois, avisarFechar]() mutable {
            app::Ida resultado;
            try {
                resultado = eu->servidor.opcoes.ir(sessao);
            } catch (const std::exception&) {
                resultado = {1, "N\u00E3o consegui ir at\u00E9 o agente."};
            }
            Interno& s = eu->servidor;
            asio::post(s.io, [eu = std::move(eu), resultado = std::move(resultado), fecharDepois, avisarFechar] {
                if (!eu->soquete.is_open() || eu->servidor.parando) {
                    eu->fechar();
                    return;
                }
                auto corpo = std::make_shared<const std::string>(
                    textoJson({{"ok", resultado.status == 0}, {"mensagem", resultado.mensagem}}));
                Resposta r{.status = resultado.status == 0 ? 200 : 409,
                           .cabecalhos = {{"Content-Type", "application/json; charset=utf-8"}},
                           .corpo = *corpo,
                           .dono = corpo};
                eu->escrever(std::move(r), false, fecharDepois, avisarFechar);
            });
        });
        if (!lancada) escrever(Resposta{.status = 503, .cabecalhos = {{"Retry-After", "1"}}}, false, fecharDepois, avisarFechar);
    }

    // Ends our side, then reads and drops what the client still sends (a little, for
    // a little while) before closing: closing with unread data would reset the
    // connection and could lose the answer just written.
    void fecharDepoisDeEscrever() {
        beast::error_code ignorado;
        soquete.shutdown(tcp::socket::shutdown_send, ignorado);
        armar(prazo, 1s);
        descartar();
    }
    void descartar() {
        soquete.async_read_some(asio::buffer(lixo), [eu = shared_from_this()](beast::error_code ec, std::size_t n) {
            eu->descartado += n;
            if (ec || eu->descartado > 64 * 1024 || !eu->soquete.is_open()) {
                eu->fechar();
            } else {
                eu->descartar();
            }
        });
    }

    // The event stream: the client sending anything more, or leaving, ends it.
    void vigiarCliente() {
        soquete.async_read_some(asio::buffer(lixo),
                                [eu = shared_from_this()](beast::error_code, std::size_t) { eu->fechar(); });
    }

    // Writes what the stream owes: the head first, the latest summary when it is
    // new, a comment when idle for a while; then waits for the next publication.
    void enviarFluxo() {
        if (escrevendo || !soquete.is_open() || !inscricao) return;
        inscricao->esvaziar();
        std::string bloco = std::exchange(prefixo, {});
        bool fim = false;
        if (servidor.difusor.encerrado()) {
            bloco += "0\r\n\r\n";
            fim = true;
        } else if (const auto [versao, texto] = servidor.difusor.atual(); texto && versao != enviada) {
            std::string evento = enviada == 0 && !inicio ? "retry: 2000\n" : "";
            inicio = true;
            enviada = versao;
            evento += "data: " + *texto + "\n\n";
            bloco += pedaco(evento);
        } else if (pulsar) {
            bloco += pedaco(": pulso\n\n");
        }
        pulsar = false;
        if (bloco.empty()) {
            esperarPublicacao();
            return;
        }
        saida = std::move(bloco);
        escrevendo = true;
        armar(prazo, kEscritaPrazo);
        asio::async_write(soquete, asio::buffer(saida), [eu = shared_from_this(), fim](beast::error_code ec, std::size_t) {
            eu->escrevendo = false;
            eu->prazo.cancel();
            if (ec || !eu->soquete.is_open()) {
                eu->fechar();
                return;
            }
            if (fim) {
                eu->fecharDepoisDeEscrever();
                return;
            }
            eu->pulso.expires_after(std::chrono::seconds(eu->servidor.opcoes.pulsacaoSegundos));
            eu->pulso.async_wait([eu](beast::error_code e) {
                if (e) return;
                eu->pulsar = true;
                eu->enviarFluxo();
            });
            eu->enviarFluxo();
        });
    }

    void esperarPublicacao() {
        if (esperando || !aviso.is_open()) return;
        esperando = true;
        aviso.async_wait(asio::posix::stream_descriptor::wait_read, [eu = shared_from_this()](beast::error_code ec) {
            eu->esperando = false;
            if (!ec) eu->enviarFluxo();
        });
    }

    Interno& servidor;
    tcp::socket soquete;
    asio::steady_timer prazo;  // of the head being read or of the write in progress
    asio::steady_timer pulso;  // the stream's next comment
    asio::posix::stream_descriptor aviso;  // the subscription's pipe (not owned)
    beast::flat_buffer buffer;             // at most kCabecaMaxima
    std::optional<http::request_parser<http::empty_body>> parser;
    std::list<Conexao*>::iterator posicao;
    bool naLista = false;
    int pedidos = 0;
    std::string saida;
    Resposta resposta;  // the body being written
    std::array<char, 4096> lixo;
    std::size_t descartado = 0;
    // The event stream (its subscription is the Vinculo's).
    std::string prefixo;  // its head, not yet written
    std::uint64_t enviada = 0;
    bool inicio = false;
    bool escrevendo = false;
    bool esperando = false;
    bool pulsar = false;
};

void Servidor::Interno::aceitar() {
    aceitador.async_accept([this](beast::error_code ec, tcp::socket soquete) {
        if (!aceitador.is_open() || parando) return;
        if (ec) {
            pausa.expires_after(100ms);
            pausa.async_wait([this](beast::error_code e) {
                if (!e) aceitar();
            });
            return;
        }
        admitir(std::move(soquete));
        aceitar();
    });
}

// At the cap, the oldest connection that has not shown the token gives its place;
// when every one has, the new one is closed.
void Servidor::Interno::admitir(tcp::socket soquete) {
    fcntl(soquete.native_handle(), F_SETFD, FD_CLOEXEC);
    if (conexoes.size() >= std::max<std::size_t>(opcoes.conexoesMaximas, 1)) {
        const auto velha = std::find_if(conexoes.begin(), conexoes.end(), [](const Conexao* c) { return !c->autorizada; });
        if (velha == conexoes.end()) {
            beast::error_code ignorado;
            soquete.close(ignorado);
            return;
        }
        (*velha)->fechar();
    }
    std::make_shared<Conexao>(*this, std::move(soquete))->iniciar();
}

void Servidor::Interno::encerrarTudo() {
    parando = true;
    beast::error_code ignorado;
    aceitador.close(ignorado);
    pausa.cancel();
    // Each fechar() takes its connection out of the list.
    const std::vector<Conexao*> todas(conexoes.begin(), conexoes.end());
    for (Conexao* c : todas) c->encerrar();
}

}  // namespace kivo::web
