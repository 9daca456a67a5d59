// kivo web at the HTTP level, through raw sockets to 127.0.0.1; what the page does with
// the answers is navegador.cjs's part.
#include "servidor.hpp"

#include <arpa/inet.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "kivo/armazem.hpp"
#include "kivo/tempos.hpp"
#include "pastas.hpp"
#include "resposta.hpp"
#include "resumo_json.hpp"
#include "processo.hpp"
#include "terminal/seguir.hpp"

namespace kivo {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;
using ::testing::Not;
namespace fs = std::filesystem;
using Relogio = std::chrono::steady_clock;

// A client that sends `pedido`, with a small receive buffer (full soon if it never reads).
struct Conexao {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    Conexao(int porta, const std::string& pedido) {
        const int pequeno = 4096;
        const timeval espera{0, 100000};
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &pequeno, sizeof pequeno);
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &espera, sizeof espera);
        sockaddr_in a{AF_INET, htons(static_cast<std::uint16_t>(porta)), {htonl(INADDR_LOOPBACK)}, {}};
        if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) enviar(pedido);
    }
    ~Conexao() { close(fd); }
    void enviar(const std::string& s) const { (void)send(fd, s.data(), s.size(), MSG_NOSIGNAL); }
    // What arrives until `fim` is seen, the peer closes, or 3 s pass.
    std::string receber(std::string_view fim = {}) const {
        std::string s;
        char b[65536];
        for (const auto ate = Relogio::now() + 3s; Relogio::now() < ate && (fim.empty() || s.find(fim) == s.npos);) {
            const ssize_t n = recv(fd, b, sizeof b, 0);
            if (n == 0 || (n < 0 && errno != EAGAIN)) break;
            if (n > 0) s.append(b, static_cast<std::size_t>(n));
        }
        return s;
    }
};

struct Resposta { int status = 0; std::string cabecalhos, corpo; };  // 0: closed without an answer; lower case

Resposta ler(const std::string& bruto) {
    const std::size_t fim = bruto.find("\r\n\r\n");
    Resposta r{bruto.rfind("HTTP/1.1 ", 0) == 0 ? std::stoi(bruto.substr(9, 3)) : 0, bruto.substr(0, fim),
               fim == std::string::npos ? "" : bruto.substr(fim + 4)};
    for (char& c : r.cabecalhos) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return r;
}

Resposta pedir(int n, const std::string& p, std::string_view fim = {}) { return ler(Conexao(n, p).receber(fim)); }

std::vector<nlohmann::json> blocos(const std::string& texto) {
    std::vector<nlohmann::json> v;
    for (std::size_t i = 0; (i = texto.find("\ndata: ", i)) != std::string::npos; ++i)
        v.push_back(nlohmann::json::parse(texto.substr(i + 7, texto.find('\n', i + 1) - i - 7)));
    return v;
}

// A process's resident memory in KiB (by default this one's, where the server runs).
// The resident memory (or with "VmHWM:", its highest) of a process, in KiB.
long rssKiB(const std::string& processo = "self", const std::string& campo = "VmRSS:") {
    std::ifstream status("/proc/" + processo + "/status");
    for (std::string linha; std::getline(status, linha);)
        if (linha.rfind(campo, 0) == 0) return std::stol(linha.substr(campo.size()));
    return 0;
}

// Under a sanitizer, memory is the sanitizer's: only the plain build measures it.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kMedeMemoria = false;
#else
constexpr bool kMedeMemoria = true;
#endif
constexpr long kMemoriaMaximaKiB = 32 * 1024;

std::string pedido(const std::string& l, const std::string& h) { return l + "\r\n" + h + "Connection: close\r\n\r\n"; }

class ServidorTest : public ::testing::Test {
protected:
    void iniciar(std::size_t fluxos = 16, int pulsacao = 15, std::size_t conexoes = 256,
                 std::function<app::Ida(const std::string&)> ir = {}) {
        const auto vivo = [](std::int32_t pid) { return pid != morto; };
        servidor = std::make_unique<web::Servidor>(web::OpcoesServidor{.pasta = pasta.raiz() / "sessoes",
                                                                       .fluxosMaximos = fluxos,
                                                                       .conexoesMaximas = conexoes,
                                                                       .pulsacaoSegundos = pulsacao,
                                                                       .vivo = vivo,
                                                                       .ir = std::move(ir)});
        servidor->iniciar();
        porta = servidor->porta();
        host = "Host: 127.0.0.1:" + std::to_string(porta) + "\r\n";
        cookie = "Cookie: kivo-" + std::to_string(porta) + "=" + servidor->token() + "\r\n";
    }
    std::string get(const std::string& alvo) const { return pedido("GET " + alvo + " HTTP/1.1", host + cookie); }
    void gravar(const Sessao& s) const { Armazem(pasta.raiz() / "sessoes").gravar(s); }
    static Sessao sessao(std::string id, double idade, std::int32_t pid = 0) {
        const double t = app::relogio() - idade;
        return {std::move(id), "/home/ana/loja", {}, Estado::trabalhando, {}, t, t, pid};
    }
    static constexpr std::int32_t morto = 999999;
    teste::PastaTemporaria pasta;
    std::unique_ptr<web::Servidor> servidor;
    int porta = 0;
    std::string host, cookie;
};

// The same headers on every answer; malformed requests get 400 and the server goes on;
// without the token or with a foreign Host, 403 and an empty body, whatever the method.
TEST_F(ServidorTest, TokenHostEMetodos) {
    iniciar();
    const std::string p = std::to_string(porta), t = servidor->token(), errado(t.size(), 'a');
    ASSERT_THAT(t, ::testing::MatchesRegex("[0-9a-f]{64}"));  // 256 bits
    const std::string quase = t.substr(0, 63) + (t[63] == '0' ? "1" : "0");
    const auto raiz = [](const std::string& cabecalhos) { return pedido("GET / HTTP/1.1", cabecalhos); };
    const auto comToken = [&](const std::string& a) { return pedido("GET " + a + "?t=" + t + " HTTP/1.1", host); };
    struct Grupo {  // requests with the same answer, a header also expected, whether the token moves to a cookie
        int status; const char* cabecalho = ""; bool cookie = false;
        std::vector<std::pair<const char*, std::string>> pedidos;
    };
    std::string muitos;
    for (int i = 0; i < 101; ++i) muitos += "X-" + std::to_string(i) + ": a\r\n";
    const Grupo grupos[] = {
        {.status = 400, .pedidos = {{"linha sem sentido", "GARBAGE\r\n\r\n"},
                     {"método desconhecido", "BREW / HTTP/1.1\r\n" + host + "\r\n"},
                     {"cabeçalho enorme",
                      "GET / HTTP/1.1\r\n" + host + "X: " + std::string(20000, 'a') + "\r\n\r\n"},
                     {"cabeçalhos demais", get("/").insert(16, muitos)}}},
        {.status = 403, .pedidos = {{"sem token", raiz(host)},
                     {"token errado", pedido("GET /?t=" + errado + " HTTP/1.1", host)},
                     {"último dígito trocado", raiz(host + "Cookie: kivo-" + p + "=" + quase + "\r\n")},
                     {"cookie de outra porta", raiz(host + "Cookie: kivo-1=" + t + "\r\n")},
                     {"Host de outro nome (rebinding)", raiz("Host: kivo.exemplo.com:" + p + "\r\n" + cookie)},
                     {"Host sem porta", raiz("Host: 127.0.0.1\r\n" + cookie)},
                     {"Host de outra porta", raiz("Host: localhost:1\r\n" + cookie)},
                     {"sem Host", pedido("GET / HTTP/1.0", cookie)},
                     {"dois Host", raiz(host + "Host: evil:1\r\n" + cookie)},
                     {"POST sem token", pedido("POST / HTTP/1.1", host + "Content-Length: 0\r\n")}}},
        {.status = 200, .cookie = true, .pedidos = {{"token no endereço da página", comToken("/")}}},
        {.status = 303, .cabecalho = "location: /estilo.css\r\n", .cookie = true,
         .pedidos = {{"token no endereço de outro arquivo", comToken("/estilo.css")}}},
        {.status = 200, .pedidos = {{"token na API", comToken("/api/resumo")},
                     {"cookie entre outros", raiz(host + "Cookie: a=1; kivo-" + p + "=" + t + "; b=2\r\n")},
                     {"localhost", raiz("Host: localhost:" + p + "\r\n" + cookie)},
                     {"HEAD", pedido("HEAD / HTTP/1.1", host + cookie)}}},
        {.status = 405, .cabecalho = "allow: get, head",
         .pedidos = {{"POST", pedido("POST / HTTP/1.1", host + cookie + "Content-Length: 0\r\n")},
                     {"OPTIONS (CORS preflight)",
                      pedido("OPTIONS /api/resumo HTTP/1.1", host + cookie + "Origin: http://evil\r\n")}}},
        {.status = 404, .pedidos = {{"caminho que não existe", get("/../../etc/passwd")}}}};
    const std::string novoCookie = "set-cookie: kivo-" + p + "=" + t + "; httponly; samesite=strict; path=/";
    for (const Grupo& g : grupos) {
        for (const auto& [rotulo, bruto] : g.pedidos) {
            SCOPED_TRACE(rotulo);
            const Resposta r = pedir(porta, bruto, "\r\n\r\n");
            EXPECT_EQ(r.status, g.status);
            for (const char* h : {"content-security-policy: default-src 'self'", "x-content-type-options: nosniff",
                                  "referrer-policy: no-referrer", "x-frame-options: deny", g.cabecalho})
                EXPECT_THAT(r.cabecalhos, HasSubstr(h));
            EXPECT_THAT(r.cabecalhos, Not(HasSubstr("access-control-")));
            if (g.status == 403) { EXPECT_THAT(r.cabecalhos, HasSubstr("content-length: 0\r\n")); }
            EXPECT_EQ(r.cabecalhos.find(novoCookie) != std::string::npos, g.cookie) << r.cabecalhos;
        }
    }
}

// Streams never read and requests never ended delay no one; at most 5 streams (then 503),
// and a client that goes away frees its place.
// POST /api/ir, the one request that changes something: only with the cookie and from
// the page's own origin (Origin, else Sec-Fetch-Site); the going runs and its answer
// comes back only then.
TEST_F(ServidorTest, IrSoDaPropriaPagina) {
    std::mutex m;
    std::vector<std::string> idas;
    iniciar(16, 15, 256, [&](const std::string& s) {
        const std::lock_guard trava(m);
        idas.push_back(s);
        return app::Ida{s == "longe" ? 1 : 0, s == "longe" ? "longe n\u00E3o est\u00E1 no tmux" : "Fui para " + s};
    });
    const std::string origem = "Origin: http://127.0.0.1:" + std::to_string(porta) + "\r\n";
    const auto post = [&](const std::string& alvo, const std::string& h) { return pedido("POST " + alvo + " HTTP/1.1", h); };
    struct Caso { std::string pedido; int status; std::string corpo; };
    const Caso casos[] = {
        {.pedido = post("/api/ir?s=loja", host + cookie + origem), .status = 200, .corpo = R"({"ok":true,"mensagem":"Fui para loja"})"},
        {.pedido = post("/api/ir?s=longe", host + cookie + "Sec-Fetch-Site: same-origin\r\n"), .status = 409, .corpo = "n\u00E3o est\u00E1 no tmux"},
        {.pedido = post("/api/ir?s=x", host + cookie + "Origin: http://127.0.0.1:1\r\n"), .status = 403},
        {.pedido = post("/api/ir?s=x", host + cookie + "Origin: null\r\n"), .status = 403},
        {.pedido = post("/api/ir?s=x", host + cookie + "Origin: http://localhost:" + std::to_string(porta) + "\r\n"), .status = 403},
        {.pedido = post("/api/ir?s=x", host + cookie + "Sec-Fetch-Site: same-site\r\n"), .status = 403},
        {.pedido = post("/api/ir?s=x", host + cookie), .status = 403},
        {.pedido = post("/api/ir?s=x&t=" + servidor->token(), host + origem), .status = 403},
        {.pedido = post("/api/ir?s=x", "Host: 127.0.0.1:1\r\n" + cookie + "Origin: http://127.0.0.1:1\r\n"), .status = 403},
        {.pedido = post("/api/ir", host + cookie + origem), .status = 400},
        {.pedido = pedido("GET /api/ir?s=x HTTP/1.1", host + cookie + origem), .status = 405},
        {.pedido = post("/", host + cookie + origem), .status = 405}};
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.pedido);
        const Resposta r = pedir(porta, c.pedido);
        EXPECT_EQ(r.status, c.status);
        EXPECT_THAT(r.corpo, HasSubstr(c.corpo));
    }
    const std::lock_guard trava(m);
    EXPECT_THAT(idas, ::testing::ElementsAre("loja", "longe"));
}

TEST_F(ServidorTest, ClientesLentosNaoTravamOsOutrosEFluxosSaoLimitados) {
    iniciar(5);
    std::vector<std::unique_ptr<Conexao>> lentos;
    for (int i = 0; i < 5; ++i) {
        lentos.push_back(std::make_unique<Conexao>(porta, get("/api/eventos")));
        EXPECT_EQ(ler(lentos.back()->receber("\n\n")).status, 200);
    }
    EXPECT_EQ(pedir(porta, get("/api/eventos")).status, 503);
    // Changes big enough to fill the silent clients' buffers; the last stream reads each.
    Sessao s = sessao("grande", 0);
    for (int i = 0; i < 30; ++i) {
        s.titulo = std::to_string(i) + std::string(3000, 'x');
        gravar(s);
        const std::string inicio = "loja · " + s.titulo->substr(0, 200);  // the page gets texts cut for display
        EXPECT_THAT(lentos[4]->receber(inicio), HasSubstr(inicio));
    }
    s.titulo = "fim";
    gravar(s);
    for (int i = 0; i < 20; ++i) lentos.push_back(std::make_unique<Conexao>(porta, "GET / HTTP/1.1\r\n" + host));
    // Answered well inside the 2 s read timeout they hold, timed once connected.
    const Conexao simples(porta, "");
    const auto antes = Relogio::now();
    simples.enviar(get("/api/resumo"));
    EXPECT_EQ(ler(simples.receber()).status, 200);
    EXPECT_LT(Relogio::now() - antes, 1500ms);
    EXPECT_THAT(lentos[4]->receber("loja · fim"), HasSubstr("loja · fim"));
    lentos[4].reset();
    EXPECT_TRUE(teste::esperarAte([&] { return pedir(porta, get("/api/eventos"), "\r\n\r\n").status == 200; }));
}

// 200 connections trickling their heads and 3 flooding headers without end: a request with
// the token is still answered at once (well inside the 3 s a reply is waited for), and
// the server's memory grows by less than 32 MiB, during and after.
TEST_F(ServidorTest, ClientesHostisNaoTravamNemInchamOServidor) {
    iniciar();
    const long antes = rssKiB();
    std::atomic<bool> parar = false;
    std::vector<std::thread> enchentes;
    for (int i = 0; i < 3; ++i)
        enchentes.emplace_back([&] {
            const std::string linha = "X-Enche: " + std::string(8180, 'a') + "\r\n";
            for (std::size_t enviado = 0; !parar && enviado < (std::size_t{100} << 20);) {
                const Conexao c(porta, "GET / HTTP/1.1\r\n" + host);
                for (ssize_t n; !parar && (n = send(c.fd, linha.data(), linha.size(), MSG_NOSIGNAL)) > 0;)
                    enviado += static_cast<std::size_t>(n);
            }
        });
    std::vector<std::unique_ptr<Conexao>> lentos;
    for (int i = 0; i < 200; ++i) lentos.push_back(std::make_unique<Conexao>(porta, "GET / HTTP/1.1\r\n" + host));
    long pico = 0;
    for (int segundo = 0; segundo < 4; ++segundo) {
        const auto proximo = Relogio::now() + 1s;
        for (std::size_t i = 0; i < lentos.size(); ++i) lentos[i]->enviar(i % 2 ? "x" : "X-Lento: a\r\n");
        const Resposta r = pedir(porta, get("/api/resumo"));
        EXPECT_EQ(r.status, 200) << "segundo " << segundo;
        EXPECT_THAT(r.corpo, HasSubstr("\"humor\""));
        pico = std::max(pico, rssKiB());
        std::this_thread::sleep_until(proximo);  // the next trickle
    }
    parar = true;
    for (auto& t : enchentes) t.join();
    lentos.clear();
    EXPECT_EQ(pedir(porta, get("/api/resumo")).status, 200);
    if (!kMedeMemoria) GTEST_SKIP() << "memória não medida sob um sanitizer";
    EXPECT_LT(pico - antes, kMemoriaMaximaKiB);
    EXPECT_LT(rssKiB() - antes, kMemoriaMaximaKiB);
}

// At the connection cap, a new connection closes the oldest one that never showed the
// token; one that did keeps its place and is answered again.
TEST_F(ServidorTest, ConexoesAlemDoLimiteFechamAsMaisVelhasSemChave) {
    iniciar(16, 15, 4);
    const Conexao dono(porta, "");
    dono.enviar("GET /api/resumo HTTP/1.1\r\n" + host + cookie + "\r\n");
    ASSERT_EQ(ler(dono.receber("}")).status, 200);
    std::vector<std::unique_ptr<Conexao>> mudas;
    for (int i = 0; i < 6; ++i) mudas.push_back(std::make_unique<Conexao>(porta, "GET / HTTP/1.1\r\n"));
    // The newest three hold the places left; the three before them were closed, unanswered.
    for (int i = 0; i < 6; ++i) {
        char b;
        if (i < 3) {
            EXPECT_EQ(mudas[i]->receber(), "") << i;  // until closed
        }
        EXPECT_EQ(recv(mudas[i]->fd, &b, 1, MSG_DONTWAIT), i < 3 ? 0 : -1) << i;
    }
    dono.enviar(get("/api/resumo"));
    EXPECT_EQ(ler(dono.receber("}")).status, 200);
}

// A record of 50 MB (valid, its texts of 10 MB each) shows cut: the summary stays under
// 256 KiB, the project's name is the end of its folder, and `kivo web` keeps under 32 MiB.
TEST_F(ServidorTest, RegistroEnormeChegaCortado) {
    const std::string raiz = pasta.raiz().string();
    const teste::Processo web = teste::iniciar({{KIVO_EXECUTAVEL, "web"}, {{"KIVO_DIR", raiz}}});
    ASSERT_GT(web.pid, 0);
    std::string saida;
    char b[256];
    for (ssize_t n; saida.find("\n", saida.find("?t=")) == std::string::npos && (n = read(web.saida, b, sizeof b)) > 0;)
        saida.append(b, static_cast<std::size_t>(n));
    const std::size_t t = saida.find("?t=");
    ASSERT_NE(t, std::string::npos) << saida;
    porta = std::stoi(saida.substr(saida.find("127.0.0.1:") + 10));
    host = "Host: 127.0.0.1:" + std::to_string(porta) + "\r\n";
    cookie = "Cookie: kivo-" + std::to_string(porta) + "=" + saida.substr(t + 3, 64) + "\r\n";
    {
        Sessao s = sessao("grande", 0);
        const std::string dez(10 << 20, 'x');
        s.cwd = "/home/" + dez + "/fim-do-caminho";
        s.titulo = s.detalhe = s.origem = s.ferramentaId = dez;
        gravar(s);
    }
    Resposta r;  // reading 50 MB under a sanitizer takes a while
    for (const auto ate = Relogio::now() + 90s; r.corpo.find("\"grande\"") == std::string::npos && Relogio::now() < ate;
         std::this_thread::sleep_for(50ms))
        r = pedir(porta, get("/api/resumo"));
    EXPECT_THAT(r.corpo, HasSubstr("\"projeto\":\"fim-do-caminho\""));
    EXPECT_THAT(r.corpo, HasSubstr("xxx\u2026"));
    EXPECT_LT(r.corpo.size(), 256u << 10);
    long depois = rssKiB(std::to_string(web.pid));
    // Once the folder's last reading is over (the rename may bring a second one).
    for (const auto ate = Relogio::now() + 20s; depois >= kMemoriaMaximaKiB && Relogio::now() < ate;
         std::this_thread::sleep_for(50ms))
        depois = rssKiB(std::to_string(web.pid));
    const long pico = rssKiB(std::to_string(web.pid), "VmHWM:");
    kill(web.pid, SIGTERM);
    EXPECT_EQ(teste::terminar(web, "").status, 0);
    if (!kMedeMemoria) GTEST_SKIP() << "memória não medida sob um sanitizer";
    EXPECT_LT(depois, kMemoriaMaximaKiB);
    EXPECT_LT(pico, kMemoriaMaximaKiB) << "while it read the record";
}

// retry: first, one data: block of JSON per change (the same JSON /api/resumo gives,
// old and dead sessions left out as in the panel), a comment when idle.
TEST_F(ServidorTest, FluxoDeEventos) {
    for (const auto& s : {sessao("velha", Tempos::sessaoVelha + 60), sessao("morta", app::carenciaProcesso + 60, morto),
                          sessao("recente", 5, morto), sessao("viva", 5, 1)})
        gravar(s);
    iniciar(16, 1);
    const Conexao c(porta, get("/api/eventos"));
    const std::string inicio = c.receber("}\n\n");
    EXPECT_THAT(inicio, ::testing::ContainsRegex("\nretry: [0-9]+\ndata: "));
    EXPECT_THAT(ler(inicio).cabecalhos, HasSubstr("content-type: text/event-stream"));
    const auto primeiro = blocos(inicio);
    ASSERT_EQ(primeiro.size(), 1u);
    std::map<std::string, bool> encerrado;
    for (const auto& s : primeiro[0]["sessoes"]) encerrado[s["id"]] = s["processoEncerrado"];
    EXPECT_EQ(encerrado, (std::map<std::string, bool>{{"recente", true}, {"viva", false}}));
    Sessao s = sessao("a1", 0);
    s.estado = Estado::atencao;
    gravar(s);
    const auto depois = blocos(c.receber("}\n\n"));
    ASSERT_EQ(depois.size(), 1u);
    EXPECT_EQ(depois[0]["destaque"], "a1");
    EXPECT_EQ(nlohmann::json::parse(pedir(porta, get("/api/resumo")).corpo), depois[0]);
    EXPECT_THAT(c.receber(": pulso\n\n"), HasSubstr(": pulso\n\n"));
}

// Every field of the summary for fixed records at a fixed moment: cleaned texts, null
// for what is unknown, the names told apart, the news as notices.
TEST(ResumoJson, CamposDeCadaSessao) {
    constexpr double t = 1765000000;
    const Sessao loja{.id = "l1", .cwd = "/home/ana/loja", .titulo = "Corrige\tlogin", .estado = Estado::atencao,
                      .detalhe = "Quer permiss\u00E3o", .atualizado = t - 100, .mudouEstadoEm = t - 100, .pid = 7},
        outra{.id = "l2", .cwd = "/srv/loja", .titulo = "", .estado = Estado::feito, .atualizado = t - 10,
              .mudouEstadoEm = NAN, .origem = "vscode"};
    const nlohmann::ordered_json j = web::resumoJson({outra, loja}, t, [](std::int32_t) { return false; },
                                                     {Novidade::terminou(outra)}, {{"l1", {"Opus", 50.5, 1.25}}});
    EXPECT_EQ(web::textoJson(j),
              R"({"humor":"atencao","frase":"Um agente precisa de você.","destaque":"l1","sessoes":[{"id":"l1",)"
              R"("projeto":"loja","titulo":"Corrige login","nome":"loja · Corrige login","estado":"atencao",)"
              R"("situacao":"Quer permissão","ha":"há 1 min","mudouEstadoEm":1764999900.0,"processoEncerrado":true,)"
              R"("contexto":50.5,"custo":1.25,"modelo":"Opus"},{"id":"l2","projeto":"loja","titulo":null,"nome":"loja",)"
              R"("estado":"feito","situacao":"Pronto","ha":"","mudouEstadoEm":null,"processoEncerrado":false,)"
              R"("contexto":null,"custo":null,"modelo":null}],"novidades":[{"caso":"terminou","id":"l2",)"
              R"("titulo":"loja terminou","corpo":"Pronto"}]})");
}

// When the same records next read differently: an age's text, a time limit, a pid to
// look at again; never for a time that is not a number.
TEST(ResumoJson, ProximaMudanca) {
    constexpr double t = 1765000000;
    struct Caso { const char* nome; double parado, mudou; std::optional<std::int32_t> pid; double daqui; };
    const Caso casos[] = {
        {.nome = "4 s", .parado = 1, .mudou = 1, .daqui = 3}, {.nome = "45 s", .parado = 10, .mudou = 10, .daqui = 35},
        {.nome = "minuto", .parado = 200, .mudou = 100, .daqui = 20},
        {.nome = "hora", .parado = 7000, .mudou = 7000, .daqui = 200},
        {.nome = "pid", .parado = 7000, .mudou = 7000, .pid = 5, .daqui = 60},
        {.nome = "limite", .parado = 1190, .mudou = 30, .daqui = 10},
        {.nome = "velha", .parado = 43000, .mudou = 80000, .daqui = 200},
        {.nome = "dia", .parado = 50000, .mudou = 3 * 86400 - 50, .daqui = 50},
        {.nome = "sem hora", .parado = 50000, .mudou = NAN, .daqui = INFINITY}};
    for (const Caso& c : casos) {
        const Sessao s{.id = "s", .cwd = "/p", .estado = Estado::trabalhando, .atualizado = t - c.parado,
                       .mudouEstadoEm = t - c.mudou, .pid = c.pid};
        EXPECT_EQ(web::proximaMudanca({s}, t) - t, c.daqui) << c.nome;
    }
    EXPECT_EQ(web::proximaMudanca({}, t), INFINITY);
}

// What is read from a request (a query's values, a cookie) and an answer's head: sorted by
// name, its length or its chunks, kept alive or closed.
TEST(Resposta, LeituraECabeca) {
    EXPECT_EQ(web::parametro("t&a=1&t=x%41%2f%2F+%zz%4&T=y&%74=", "t"),
              (std::vector<std::string>{"", "xA// %zz%4", ""}));
    EXPECT_EQ(web::decodificado("a+b%20", false), "a+b ");
    EXPECT_EQ(web::cookie("a=1;kivo-1=x;  kivo-12=y; kivo-1", "kivo-12"), "y");
    EXPECT_EQ(web::pedaco(std::string(26, 'x')), "1a\r\n" + std::string(26, 'x') + "\r\n");
    EXPECT_THAT(web::cabecaDe({.fluxo = true}, false, true),
                ::testing::AllOf(::testing::StartsWith("HTTP/1.1 200 OK\r\nCache-Control: no-store\r\nConnection: "
                                                       "close\r\n"),
                                 HasSubstr("\r\nTransfer-Encoding: chunked\r\nX-"), Not(HasSubstr("Length"))));
    EXPECT_THAT(web::cabecaDe({.corpo = "ab"}, true, false),
                ::testing::AllOf(::testing::StartsWith("HTTP/1.1 200 OK\r\nAccept-Ranges: bytes\r\nCache-Control"),
                                 HasSubstr("\r\nContent-Length: 2\r\n"), HasSubstr("\r\nKeep-Alive: timeout=2, max=5\r\n")));
}

// Through the program: a busy port gives a message and 1 (its other options are kivo's test).
TEST_F(ServidorTest, PortaOcupada) {
    iniciar();
    const std::string p = std::to_string(porta);
    const auto r = teste::rodar({{KIVO_EXECUTAVEL, "web", "--porta", p}, {{"KIVO_DIR", pasta.raiz().string()}}});
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.erro, HasSubstr("a porta " + p + " j\u00E1 est\u00E1 em uso"));
}

// --abrir hands the opener a 0600 file holding the address, never the token on a command
// line (ps shows those to every user), and removes it when SIGTERM ends the server.
TEST(ComandoWeb, AbrirPassaUmArquivoSoDoUsuarioENuncaOToken) {
    const teste::PastaTemporaria pasta;
    const std::string raiz = pasta.raiz().string(), visto = raiz + "/aberto.txt";
    teste::escrever(pasta.raiz() / "xdg-open", "#!/bin/sh\n{ echo \"$1\"; stat -c %a \"$1\"; cat \"$1\"; } > \"" +
                                                   visto + ".tmp\"; mv \"" + visto + ".tmp\" \"" + visto + "\"\n");
    fs::permissions(pasta.raiz() / "xdg-open", fs::perms::owner_all);
    const std::map<std::string, std::string> ambiente = {
        {"KIVO_DIR", raiz}, {"PATH", raiz + ":/usr/bin:/bin"}, {"XDG_RUNTIME_DIR", raiz}};
    const teste::Processo p = teste::iniciar({{KIVO_EXECUTAVEL, "web", "--abrir"}, ambiente});
    ASSERT_GT(p.pid, 0);
    EXPECT_TRUE(teste::esperarAte([&] { return fs::exists(visto); }));
    const std::string aberto = teste::conteudo(visto);
    kill(p.pid, SIGTERM);
    const teste::Execucao fim = teste::terminar(p, "");
    EXPECT_EQ(fim.status, 0);
    const std::size_t i = fim.saida.find("http://127.0.0.1:");
    ASSERT_NE(i, std::string::npos) << fim.saida;
    const std::string endereco = fim.saida.substr(i, fim.saida.find('\n', i) - i),
                      argumento = aberto.substr(0, aberto.find('\n'));
    EXPECT_THAT(argumento, Not(HasSubstr("?t=")));
    EXPECT_THAT(aberto, ::testing::AllOf(HasSubstr("\n600\n"), HasSubstr("url=" + endereco + "\"")));
    EXPECT_FALSE(fs::exists(argumento));
}
}  // namespace
}  // namespace kivo
