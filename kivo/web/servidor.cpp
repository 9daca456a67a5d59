// kivo web's routes (what each request gets, after the token and Host checks) and the
// owner's side: start, stop, the address to open.
#include "servidor.hpp"

#include <fcntl.h>

#include <boost/asio/post.hpp>
#include <stdexcept>
#include <system_error>
#include <utility>
#include <vector>

#include "recursos.hpp"
#include "servidor_interno.hpp"

namespace kivo::web {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = boost::beast::http;
using tcp = asio::ip::tcp;

Resposta Servidor::Interno::atender(const Pedido& req, Vinculo& conexao) {
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
    if (caminho == "/api/ir") {
        if (metodo != "POST") return Resposta{.status = 405, .cabecalhos = {{"Allow", "POST"}}};
        // The one request that changes something: only from the page itself. Another
        // page of the same site (another port of 127.0.0.1) gets the cookie sent too,
        // so the browser's word on where the request comes from decides.
        const bool mesmaOrigem =
            req.count(http::field::origin) == 1
                ? req[http::field::origin] == "http://" + std::string(host)
                : req.count("Sec-Fetch-Site") == 1 && req["Sec-Fetch-Site"] == "same-origin";
        if (viaEndereco || !mesmaOrigem) return Resposta{.status = 403};
        const std::vector<std::string> sessao =
            parametro(interrogacao == std::string_view::npos ? "" : alvo.substr(interrogacao + 1), "s");
        if (sessao.size() != 1 || sessao[0].empty() || sessao[0].size() > 256) return Resposta{.status = 400};
        if (!opcoes.ir) return Resposta{.status = 404};
        conexao.ida = sessao[0];
        return Resposta{.adiada = true};
    }
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
    i.esperarIdas();
    i.observador.parar();
}

bool Servidor::Interno::lancar(std::function<void()> tarefa) {
    const std::lock_guard trava(idasMutex);
    for (auto i = idas.begin(); i != idas.end();) {
        if (!i->second->load()) {
            ++i;
            continue;
        }
        i->first.join();
        i = idas.erase(i);
    }
    if (idas.size() >= kIdasMaximas) return false;
    auto pronta = std::make_shared<std::atomic<bool>>(false);
    idas.emplace_back(std::thread([tarefa = std::move(tarefa), pronta] {
                          tarefa();
                          pronta->store(true);
                      }),
                      pronta);
    return true;
}

void Servidor::Interno::esperarIdas() {
    const std::lock_guard trava(idasMutex);
    for (auto& [t, pronta] : idas) {
        if (t.joinable()) t.join();
    }
    idas.clear();
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
