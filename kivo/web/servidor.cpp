#include "servidor.hpp"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/random.h>
#endif

#include <httplib.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "difusor.hpp"
#include "observador.hpp"
#include "recursos.hpp"
#include "apresentacao/apresentacao.hpp"

namespace kivo::web {

namespace {

using Tratado = httplib::Server::HandlerResponse;

// Read timeout per receive: a client that opens a request and stops sending holds
// one worker this long at most per byte it sends.
constexpr time_t kLeituraSegundos = 2;
constexpr time_t kEscritaSegundos = 5;
constexpr time_t kConexaoOciosaSegundos = 2;

const httplib::Headers& cabecalhosDeSeguranca() {
    static const httplib::Headers cabecalhos = {
        {"Content-Security-Policy",
         "default-src 'self'; img-src 'self'; style-src 'self'; script-src 'self'; connect-src "
         "'self'; "
         "base-uri 'none'; form-action 'none'; frame-ancestors 'none'"},
        {"X-Content-Type-Options", "nosniff"},
        {"Referrer-Policy", "no-referrer"},
        {"X-Frame-Options", "DENY"},
        {"Cache-Control", "no-store"},
    };
    return cabecalhos;
}

void lerAleatorio(unsigned char* destino, std::size_t n) {
#if defined(__APPLE__)
    arc4random_buf(destino, n);
#else
    std::size_t lidos = 0;
#if defined(__linux__)
    while (lidos < n) {
        const ssize_t r = getrandom(destino + lidos, n - lidos, 0);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        lidos += static_cast<std::size_t>(r);
    }
    if (lidos == n) return;
#endif
    const int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw std::system_error(errno, std::generic_category(), "/dev/urandom");
    while (lidos < n) {
        const ssize_t r = read(fd, destino + lidos, n - lidos);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) {
            const int erro = r < 0 ? errno : EIO;
            close(fd);
            throw std::system_error(erro, std::generic_category(), "/dev/urandom");
        }
        lidos += static_cast<std::size_t>(r);
    }
    close(fd);
#endif
}

// `conteudo` as the answer's body, with its length. Through a content provider, since
// the library compresses a body set directly when the client accepts it: on loopback
// that saves nothing and costs the encoder's buffers (megabytes of heap for brotli).
// `dono` keeps `conteudo` alive until the answer is written.
void responder(httplib::Response& res, std::string_view conteudo, std::string_view tipo,
               std::shared_ptr<const void> dono = nullptr) {
    res.status = 200;
    res.set_content_provider(
        conteudo.size(), std::string(tipo),
        [conteudo, dono](std::size_t inicio, std::size_t tamanho, httplib::DataSink& sink) {
            return sink.write(conteudo.data() + inicio, tamanho);
        });
}

// The value of the cookie `nome` in a Cookie header, or empty.
std::string_view cookie(std::string_view cabecalho, std::string_view nome) {
    while (!cabecalho.empty()) {
        const std::size_t fim = cabecalho.find(';');
        std::string_view par = cabecalho.substr(0, fim);
        while (!par.empty() && par.front() == ' ') par.remove_prefix(1);
        if (par.size() > nome.size() && par.substr(0, nome.size()) == nome &&
            par[nome.size()] == '=') {
            return par.substr(nome.size() + 1);
        }
        if (fim == std::string_view::npos) break;
        cabecalho.remove_prefix(fim + 1);
    }
    return {};
}

// The accepted socket this request came in on: the one whose local and remote ports
// are the request's (the pair names one TCP connection). -1 when not found. The
// library does not hand the socket to handlers; the event stream needs it to notice
// at once that its client went away.
int soqueteDe(const httplib::Request& req) {
    auto confere = [&](int fd) {
        sockaddr_in local{}, remoto{};
        socklen_t n1 = sizeof local, n2 = sizeof remoto;
        if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &n1) != 0 ||
            local.sin_family != AF_INET)
            return false;
        if (getpeername(fd, reinterpret_cast<sockaddr*>(&remoto), &n2) != 0) return false;
        return ntohs(local.sin_port) == req.local_port && ntohs(remoto.sin_port) == req.remote_port;
    };
#if defined(__linux__)
    if (DIR* d = opendir("/proc/self/fd")) {
        int achado = -1;
        while (const dirent* e = readdir(d)) {
            char* fim = nullptr;
            const long fd = std::strtol(e->d_name, &fim, 10);
            if (fim != e->d_name && *fim == '\0' && fd != dirfd(d) &&
                confere(static_cast<int>(fd))) {
                achado = static_cast<int>(fd);
                break;
            }
        }
        closedir(d);
        return achado;
    }
#endif
    for (int fd = 0; fd < 1024; ++fd) {
        if (confere(fd)) return fd;
    }
    return -1;
}

// One open event stream: the latest summary at once, then each new one, and a
// comment when nothing happened for a while. Ends when the client goes away, a
// write fails or the server stops.
class Fluxo {
public:
    Fluxo(Difusor& difusor, std::unique_ptr<Difusor::Inscricao> inscricao, int soquete,
          int pulsacao)
        : difusor_(difusor),
          inscricao_(std::move(inscricao)),
          soquete_(soquete),
          pulsacao_(pulsacao) {}

    bool escrever(httplib::DataSink& sink) {
        for (;;) {
            inscricao_->esvaziar();
            if (difusor_.encerrado()) {
                sink.done();
                return true;
            }
            const auto [versao, texto] = difusor_.atual();
            if (texto && versao != enviada_) {
                std::string bloco = enviada_ == 0 && !inicio_ ? "retry: 2000\n" : "";
                inicio_ = true;
                enviada_ = versao;
                bloco += "data: " + *texto + "\n\n";
                return sink.write(bloco.data(), bloco.size());
            }
            pollfd fds[2] = {{inscricao_->descritor(), POLLIN, 0}, {soquete_, POLLIN, 0}};
#if defined(POLLRDHUP)
            fds[1].events |= POLLRDHUP;
#endif
            const int r = poll(fds, soquete_ >= 0 ? 2 : 1, pulsacao_ * 1000);
            if (r < 0 && errno != EINTR) return false;
            if (r == 0) {
                constexpr std::string_view kPulso = ": pulso\n\n";
                return sink.write(kPulso.data(), kPulso.size());
            }
            // The client sent more, closed its side or reset: it is gone.
            if (soquete_ >= 0 && fds[1].revents != 0) return false;
        }
    }

private:
    Difusor& difusor_;
    std::unique_ptr<Difusor::Inscricao> inscricao_;
    int soquete_;
    int pulsacao_;
    std::uint64_t enviada_ = 0;
    bool inicio_ = false;
};

}  // namespace

std::string novoToken() {
    unsigned char bytes[32];
    lerAleatorio(bytes, sizeof bytes);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string token;
    for (const unsigned char b : bytes) {
        token += kHex[b >> 4];
        token += kHex[b & 15];
    }
    return token;
}

bool mesmoToken(std::string_view a, std::string_view b) {
    if (a.size() != b.size() || a.empty()) return false;
    unsigned char diferenca = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        diferenca |= static_cast<unsigned char>(a[i] ^ b[i]);
    }
    // Keep the compiler from leaving the loop early.
    return *static_cast<volatile unsigned char*>(&diferenca) == 0;
}

struct Servidor::Interno {
    explicit Interno(OpcoesServidor o)
        : opcoes(std::move(o)),
          token(novoToken()),
          difusor(opcoes.fluxosMaximos),
          observador(opcoes.pasta, difusor, opcoes.vivo,
                     opcoes.relogio ? opcoes.relogio : std::function<double()>(app::relogio)) {}

    Tratado atender(const httplib::Request& req, httplib::Response& res);
    void servirEventos(const httplib::Request& req, httplib::Response& res);

    OpcoesServidor opcoes;
    std::string token;
    Difusor difusor;
    Observador observador;
    httplib::Server http;
    std::thread escuta;
    int porta = 0;
    bool iniciado = false;
};

Tratado Servidor::Interno::atender(const httplib::Request& req, httplib::Response& res) {
    // Nothing, not even the kind of refusal, for a request that does not name this
    // server as the loopback address (DNS rebinding) or lacks the token.
    const std::string sufixo = ":" + std::to_string(porta);
    const std::string host = req.get_header_value("Host");
    const bool hostBom = req.get_header_value_count("Host") == 1 &&
                         (host == "127.0.0.1" + sufixo || host == "localhost" + sufixo);
    const std::string nomeCookie = "kivo-" + std::to_string(porta);
    bool viaEndereco = false;
    bool autorizado = false;
    if (req.has_param("t")) {
        viaEndereco = true;
        autorizado =
            req.get_param_value_count("t") == 1 && mesmoToken(req.get_param_value("t"), token);
    } else {
        autorizado = req.get_header_value_count("Cookie") == 1 &&
                     mesmoToken(cookie(req.get_header_value("Cookie"), nomeCookie), token);
    }
    if (!hostBom || !autorizado) {
        res.status = 403;
        return Tratado::Handled;
    }
    if (req.method != "GET" && req.method != "HEAD") {
        res.status = 405;
        res.set_header("Allow", "GET, HEAD");
        return Tratado::Handled;
    }
    const bool api = req.path.rfind("/api/", 0) == 0;
    if (viaEndereco && !api) {
        // The page itself comes with the cookie (its script then takes the token out
        // of the address bar); anything else is sent to its clean address. A redirect
        // for the page would lose the cookie when the address was opened from a
        // local file (`kivo web --abrir`): SameSite=Strict holds it back then.
        res.set_header("Set-Cookie",
                       nomeCookie + "=" + token + "; HttpOnly; SameSite=Strict; Path=/");
        if (req.path != "/") {
            std::string destino = "/";
            for (const Recurso& r : recursos()) {
                if (r.caminho == req.path) destino = std::string(r.caminho);
            }
            res.status = 303;
            res.set_header("Location", destino);
            return Tratado::Handled;
        }
    }
    if (req.path == "/api/resumo") {
        auto texto = difusor.atual().second;
        if (!texto) texto = std::make_shared<const std::string>("{}");
        responder(res, *texto, "application/json; charset=utf-8", texto);
        return Tratado::Handled;
    }
    if (req.path == "/api/eventos") {
        servirEventos(req, res);
        return Tratado::Handled;
    }
    for (const Recurso& r : recursos()) {
        if (r.caminho == req.path) {
            responder(res, r.conteudo, r.tipo);
            return Tratado::Handled;
        }
    }
    res.status = 404;
    return Tratado::Handled;
}

void Servidor::Interno::servirEventos(const httplib::Request& req, httplib::Response& res) {
    auto inscricao = difusor.inscrever();
    if (!inscricao) {
        res.status = 503;
        res.set_header("Retry-After", "5");
        return;
    }
    res.status = 200;
    if (req.method == "HEAD") {
        res.set_header("Content-Type", "text/event-stream");
        return;
    }
    auto fluxo = std::make_shared<Fluxo>(difusor, std::move(inscricao), soqueteDe(req),
                                         opcoes.pulsacaoSegundos);
    // The stream (and its place among fluxosMaximos) lives as long as the response.
    res.set_chunked_content_provider(
        "text/event-stream",
        [fluxo](std::size_t, httplib::DataSink& sink) { return fluxo->escrever(sink); });
}

Servidor::Servidor(OpcoesServidor opcoes) : interno_(std::make_unique<Interno>(std::move(opcoes))) {
    Interno& i = *interno_;
    const std::size_t trabalhadores = i.opcoes.trabalhadores;
    i.http.new_task_queue = [trabalhadores] { return new httplib::ThreadPool(trabalhadores); };
    i.http.set_address_family(AF_INET);
    // SO_REUSEADDR only (the library's default adds SO_REUSEPORT, which would let a
    // second server share the port instead of reporting it busy).
    i.http.set_socket_options([](int fd) {
        const int um = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &um, sizeof um);
    });
    i.http.set_read_timeout(kLeituraSegundos);
    i.http.set_write_timeout(kEscritaSegundos);
    i.http.set_keep_alive_timeout(kConexaoOciosaSegundos);
    i.http.set_payload_max_length(std::size_t{64} * 1024);
    i.http.set_default_headers(cabecalhosDeSeguranca());
    i.http.set_pre_routing_handler(
        [&i](const httplib::Request& req, httplib::Response& res) { return i.atender(req, res); });
    i.http.set_exception_handler([](const httplib::Request&, httplib::Response& res,
                                    const std::exception_ptr&) { res.status = 500; });
}

Servidor::~Servidor() {
    parar();
}

void Servidor::iniciar() {
    Interno& i = *interno_;
    errno = 0;
    if (i.opcoes.porta == 0) {
        i.porta = i.http.bind_to_any_port("127.0.0.1");
        if (i.porta < 0) i.porta = 0;
    } else if (i.http.bind_to_port("127.0.0.1", i.opcoes.porta)) {
        i.porta = i.opcoes.porta;
    }
    if (i.porta == 0) {
        throw std::system_error(errno != 0 ? errno : EADDRINUSE, std::generic_category(), "bind");
    }
    i.observador.iniciar();
    i.escuta = std::thread([&i] { i.http.listen_after_bind(); });
    i.iniciado = true;
    // stop() only reaches a server that is already listening: wait for it, so that a
    // signal right after the start still ends it.
    for (int espera = 0; espera < 5000 && !i.http.is_running(); ++espera) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void Servidor::parar() {
    Interno& i = *interno_;
    if (!i.iniciado) return;
    i.iniciado = false;
    i.difusor.encerrar();
    i.http.stop();
    if (i.escuta.joinable()) i.escuta.join();
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
