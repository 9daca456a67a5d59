// Beast speaks std::string_view, as the rest of the project.
#define BOOST_BEAST_USE_STD_STRING_VIEW
#include "servidor.hpp"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/random.h>
#endif

#include <algorithm>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/posix/stream_descriptor.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/read.hpp>
#include <cerrno>
#include <chrono>
#include <list>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "difusor.hpp"
#include "observador.hpp"
#include "recursos.hpp"
#include "resposta.hpp"
#include "apresentacao/apresentacao.hpp"

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

struct Servidor::Interno {
    struct Conexao;

    explicit Interno(OpcoesServidor o)
        : opcoes(std::move(o)),
          token(novoToken()),
          difusor(opcoes.fluxosMaximos),
          observador(opcoes.pasta, difusor, opcoes.vivo,
                     opcoes.relogio ? opcoes.relogio : std::function<double()>(app::relogio)) {}

    void aceitar();
    void admitir(tcp::socket soquete);
    Resposta atender(const http::request<http::empty_body>& req, Conexao& conexao);
    void encerrarTudo();

    OpcoesServidor opcoes;
    std::string token;
    Difusor difusor;
    Observador observador;
    // Open connections, oldest first. Touched by the network thread only (and by the
    // owner's thread before it starts).
    std::list<Conexao*> conexoes;
    // Declared after what the connections use: destroying it destroys the handlers
    // still pending, and with them the last connections.
    asio::io_context io{1};
    tcp::acceptor aceitador{io};
    asio::steady_timer pausa{io};  // after a failed accept (out of descriptors, say)
    std::thread rede;
    int porta = 0;
    bool iniciado = false;
    bool parando = false;  // network thread only
};

// One client's connection: requests one after the other (their heads read against a
// total deadline, never more than kCabecaMaxima of them kept), then either answers
// or, once, the event stream. Lives while an operation of its own is pending.
struct Servidor::Interno::Conexao : std::enable_shared_from_this<Conexao> {
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
    bool autorizada = false;  // a request with the token and a good Host came in
    int pedidos = 0;
    std::string saida;
    Resposta resposta;  // the body being written
    std::array<char, 4096> lixo;
    std::size_t descartado = 0;
    // The event stream.
    std::unique_ptr<Difusor::Inscricao> inscricao;
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

Resposta Servidor::Interno::atender(const http::request<http::empty_body>& req, Conexao& conexao) {
    // Nothing, not even the kind of refusal, for a request that does not name this
    // server as the loopback address (DNS rebinding) or lacks the token.
    const std::string sufixo = ":" + std::to_string(porta);
    const std::string_view host = req[http::field::host];
    const bool hostBom =
        req.count(http::field::host) == 1 && (host == "127.0.0.1" + sufixo || host == "localhost" + sufixo);
    const std::string nomeCookie = "kivo-" + std::to_string(porta);
    const std::string_view alvo = req.target();
    const std::size_t interrogacao = alvo.find('?');
    const std::string caminho = decodificado(alvo.substr(0, interrogacao), false);
    const std::vector<std::string> tokens =
        parametro(interrogacao == std::string_view::npos ? "" : alvo.substr(interrogacao + 1), "t");
    bool viaEndereco = false;
    bool autorizado = false;
    if (!tokens.empty()) {
        viaEndereco = true;
        autorizado = tokens.size() == 1 && mesmoToken(tokens[0], token);
    } else {
        autorizado = req.count(http::field::cookie) == 1 &&
                     mesmoToken(cookie(req[http::field::cookie], nomeCookie), token);
    }
    if (!hostBom || !autorizado) return Resposta{.status = 403};
    conexao.autorizada = true;
    const std::string_view metodo = req.method_string();
    if (metodo != "GET" && metodo != "HEAD") return Resposta{.status = 405, .cabecalhos = {{"Allow", "GET, HEAD"}}};
    Resposta r;
    const bool api = caminho.rfind("/api/", 0) == 0;
    if (viaEndereco && !api) {
        // The page itself comes with the cookie (its script then takes the token out
        // of the address bar); anything else is sent to its clean address. A redirect
        // for the page would lose the cookie when the address was opened from a
        // local file (`kivo web --abrir`): SameSite=Strict holds it back then.
        r.cabecalhos.emplace_back("Set-Cookie", nomeCookie + "=" + token + "; HttpOnly; SameSite=Strict; Path=/");
        if (caminho != "/") {
            std::string destino = "/";
            for (const Recurso& recurso : recursos()) {
                if (recurso.caminho == caminho) destino = std::string(recurso.caminho);
            }
            r.status = 303;
            r.cabecalhos.emplace_back("Location", destino);
            return r;
        }
    }
    if (caminho == "/api/resumo") {
        auto texto = difusor.atual().second;
        if (!texto) texto = std::make_shared<const std::string>("{}");
        r.cabecalhos.emplace_back("Content-Type", "application/json; charset=utf-8");
        r.corpo = *texto;
        r.dono = texto;
        return r;
    }
    if (caminho == "/api/eventos") {
        auto inscricao = difusor.inscrever();
        if (!inscricao) return Resposta{.status = 503, .cabecalhos = {{"Retry-After", "5"}}};
        r.cabecalhos.emplace_back("Content-Type", "text/event-stream");
        // The stream (and its place among fluxosMaximos) lives as long as the connection.
        if (metodo == "GET") {
            r.fluxo = true;
            conexao.inscricao = std::move(inscricao);
        }
        return r;
    }
    for (const Recurso& recurso : recursos()) {
        if (recurso.caminho == caminho) {
            r.cabecalhos.emplace_back("Content-Type", recurso.tipo);
            r.corpo = recurso.conteudo;
            return r;
        }
    }
    return Resposta{.status = 404};
}

Servidor::Servidor(OpcoesServidor opcoes) : interno_(std::make_unique<Interno>(std::move(opcoes))) {}

Servidor::~Servidor() {
    parar();
}

void Servidor::iniciar() {
    Interno& i = *interno_;
    beast::error_code ec;
    const tcp::endpoint local(asio::ip::make_address_v4("127.0.0.1"), static_cast<unsigned short>(i.opcoes.porta));
    i.aceitador.open(tcp::v4(), ec);
    // SO_REUSEADDR only (SO_REUSEPORT would let a second server share the port
    // instead of reporting it busy).
    if (!ec) i.aceitador.set_option(tcp::acceptor::reuse_address(true), ec);
    if (!ec) i.aceitador.bind(local, ec);
    if (!ec) i.aceitador.listen(asio::socket_base::max_listen_connections, ec);
    if (!ec) i.porta = i.aceitador.local_endpoint(ec).port();
    if (ec) {
        beast::error_code ignorado;
        i.aceitador.close(ignorado);
        throw std::system_error(ec.value(), std::generic_category(), "bind");
    }
    fcntl(i.aceitador.native_handle(), F_SETFD, FD_CLOEXEC);
    i.observador.iniciar();
    i.aceitar();
    i.rede = std::thread([&i] {
        for (;;) {
            try {
                i.io.run();
                return;
            } catch (const std::exception&) {
                // Out of memory in a handler: that connection is lost, the rest go on.
            }
        }
    });
    i.iniciado = true;
}

void Servidor::parar() {
    Interno& i = *interno_;
    if (!i.iniciado) return;
    i.iniciado = false;
    i.difusor.encerrar();
    asio::post(i.io, [&i] { i.encerrarTudo(); });
    if (i.rede.joinable()) i.rede.join();
    i.observador.parar();
}

int Servidor::porta() const {
    return interno_->porta;
}

const std::string& Servidor::token() const {
    return interno_->token;
}

std::string Servidor::endereco() const {
    return "http://127.0.0.1:" + std::to_string(interno_->porta) + "/?t=" + interno_->token;
}

}  // namespace kivo::web
