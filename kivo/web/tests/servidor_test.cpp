// kivo web at the HTTP level, through raw sockets to 127.0.0.1: the token and its
// cookie, the Host check, the headers of every answer, methods, malformed requests,
// the bound on event streams, clients that never finish or never read, the stream's
// framing, and the command's options, start, busy port and opener. What the page
// does with the answers is navegador.cjs's part.
#include "servidor.hpp"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "comando.hpp"
#include "kivo/armazem.hpp"
#include "kivo/tempos.hpp"
#include "pastas.hpp"
#include "processo.hpp"
#include "seguir.hpp"

namespace {

using namespace std::chrono_literals;

// A connected socket with a small receive buffer, closed with the object.
class Conexao {
public:
    explicit Conexao(int porta) : fd_(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        const int pequeno = 4096;  // a client that never reads is full soon
        setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &pequeno, sizeof pequeno);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<std::uint16_t>(porta));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        [[maybe_unused]] const int r = connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    }
    ~Conexao() { close(fd_); }
    Conexao(const Conexao&) = delete;
    Conexao& operator=(const Conexao&) = delete;

    void enviar(const std::string& s) const {
        [[maybe_unused]] const auto n = send(fd_, s.data(), s.size(), MSG_NOSIGNAL);
    }
    // What arrives until `fim` is seen, the peer closes, or 3 s pass.
    std::string receber(std::string_view fim = {}) const {
        std::string s;
        const auto ate = std::chrono::steady_clock::now() + 3s;
        for (pollfd p{fd_, POLLIN, 0}; fim.empty() || s.find(fim) == std::string::npos;) {
            const auto resta = std::chrono::duration_cast<std::chrono::milliseconds>(
                ate - std::chrono::steady_clock::now());
            char b[65536];
            ssize_t n = 0;
            if (resta.count() <= 0 || poll(&p, 1, static_cast<int>(resta.count())) <= 0 ||
                (n = recv(fd_, b, sizeof b, 0)) <= 0)
                break;
            s.append(b, static_cast<std::size_t>(n));
        }
        return s;
    }

private:
    int fd_;
};

struct Resposta {
    int status = 0;          // 0: closed without an answer
    std::string cabecalhos;  // lower case
    std::string corpo;
    bool tem(const std::string& c) const { return cabecalhos.find(c) != std::string::npos; }
};

Resposta ler(const std::string& bruto) {
    Resposta r;
    if (bruto.rfind("HTTP/1.1 ", 0) == 0) r.status = std::stoi(bruto.substr(9, 3));
    const std::size_t fim = bruto.find("\r\n\r\n");
    r.cabecalhos = bruto.substr(0, fim);
    for (char& c : r.cabecalhos) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (fim != std::string::npos) r.corpo = bruto.substr(fim + 4);
    return r;
}

// One request on a connection of its own, read until `fim` or until the server
// closes it after the answer.
Resposta pedir(int porta, const std::string& pedido, std::string_view fim = {}) {
    const Conexao c(porta);
    c.enviar(pedido);
    return ler(c.receber(fim));
}

// The data blocks of an event stream, parsed.
std::vector<nlohmann::json> blocos(const std::string& texto) {
    std::vector<nlohmann::json> v;
    for (std::size_t i = texto.find("\ndata: "); i != std::string::npos;
         i = texto.find("\ndata: ", i + 1)) {
        v.push_back(nlohmann::json::parse(texto.substr(i + 7, texto.find('\n', i + 1) - i - 7)));
    }
    return v;
}

class ServidorTest : public ::testing::Test {
protected:
    void iniciar(std::size_t fluxos = 16, int pulsacao = 15) {
        kivo::web::OpcoesServidor o;
        o.pulsacaoSegundos = pulsacao;
        o.pasta = pasta.raiz() / "sessoes";
        o.fluxosMaximos = fluxos;
        o.vivo = [](std::int32_t pid) { return pid != morto; };
        servidor = std::make_unique<kivo::web::Servidor>(o);
        servidor->iniciar();
        porta = servidor->porta();
        host = "Host: 127.0.0.1:" + std::to_string(porta) + "\r\n";
        cookie = "Cookie: kivo-" + std::to_string(porta) + "=" + servidor->token() + "\r\n";
    }
    // A whole request that asks the server to close afterwards.
    static std::string pedido(const std::string& linha, const std::string& cabecalhos) {
        return linha + "\r\n" + cabecalhos + "Connection: close\r\n\r\n";
    }
    std::string get(const std::string& alvo) const {
        return pedido("GET " + alvo + " HTTP/1.1", host + cookie);
    }
    void gravar(const kivo::Sessao& s) const { kivo::Armazem(pasta.raiz() / "sessoes").gravar(s); }
    static kivo::Sessao sessao(std::string id, double idade, std::int32_t pid = 0) {
        kivo::Sessao s;
        s.id = std::move(id);
        s.cwd = "/home/ana/loja";
        s.estado = kivo::Estado::trabalhando;
        s.atualizado = s.mudouEstadoEm = kivo::app::relogio() - idade;
        s.pid = pid;
        return s;
    }

    static constexpr std::int32_t morto = 999999;
    kivo::teste::PastaTemporaria pasta;
    std::unique_ptr<kivo::web::Servidor> servidor;
    int porta = 0;
    std::string host, cookie;
};

// Every answer carries the same headers; without the token or with a foreign Host,
// 403 and an empty body, whatever the method or path.
TEST_F(ServidorTest, TokenHostEMetodos) {
    iniciar();
    const std::string p = std::to_string(porta), t = servidor->token(), errado(t.size(), 'a');
    ASSERT_EQ(t.size(), 64u);  // 256 bits, as hexadecimal digits
    ASSERT_EQ(t.find_first_not_of("0123456789abcdef"), std::string::npos);
    const std::string quase = t.substr(0, 63) + (t[63] == '0' ? "1" : "0");
    const auto raiz = [](const std::string& cabecalhos) {
        return pedido("GET / HTTP/1.1", cabecalhos);
    };
    const struct {
        const char* rotulo;
        std::string pedido;
        int status;
        const char* cabecalho;  // also expected
    } casos[] = {
        {"sem token", raiz(host), 403, ""},
        {"token errado", pedido("GET /?t=" + errado + " HTTP/1.1", host), 403, ""},
        {"último dígito trocado", raiz(host + "Cookie: kivo-" + p + "=" + quase + "\r\n"), 403, ""},
        {"cookie errado", raiz(host + "Cookie: kivo-" + p + "=" + errado + "\r\n"), 403, ""},
        {"cookie de outra porta", raiz(host + "Cookie: kivo-1=" + t + "\r\n"), 403, ""},
        {"Host de outro nome (rebinding)", raiz("Host: kivo.exemplo.com:" + p + "\r\n" + cookie),
         403, ""},
        {"Host sem porta", raiz("Host: 127.0.0.1\r\n" + cookie), 403, ""},
        {"Host de outra porta", raiz("Host: localhost:1\r\n" + cookie), 403, ""},
        {"sem Host", pedido("GET / HTTP/1.0", cookie), 403, ""},
        {"dois Host", raiz(host + "Host: evil:1\r\n" + cookie), 403, ""},
        {"POST sem token", pedido("POST / HTTP/1.1", host + "Content-Length: 0\r\n"), 403, ""},
        {"token no endereço da página", pedido("GET /?t=" + t + " HTTP/1.1", host), 200, ""},
        {"token no endereço de outro arquivo", pedido("GET /estilo.css?t=" + t + " HTTP/1.1", host),
         303, "location: /estilo.css\r\n"},
        {"token na API", pedido("GET /api/resumo?t=" + t + " HTTP/1.1", host), 200, ""},
        {"cookie entre outros", raiz(host + "Cookie: a=1; kivo-" + p + "=" + t + "; b=2\r\n"), 200,
         ""},
        {"localhost", raiz("Host: localhost:" + p + "\r\n" + cookie), 200, ""},
        {"HEAD", pedido("HEAD / HTTP/1.1", host + cookie), 200, ""},
        {"POST", pedido("POST / HTTP/1.1", host + cookie + "Content-Length: 0\r\n"), 405,
         "allow: get, head"},
        {"OPTIONS (CORS preflight)",
         pedido("OPTIONS /api/resumo HTTP/1.1", host + cookie + "Origin: http://evil\r\n"), 405,
         "allow: get, head"},
        {"caminho que não existe", get("/../../etc/passwd"), 404, ""},
    };
    const std::string novoCookie =
        "set-cookie: kivo-" + p + "=" + t + "; httponly; samesite=strict; path=/";
    for (const auto& c : casos) {
        SCOPED_TRACE(c.rotulo);
        const Resposta r = pedir(porta, c.pedido);
        EXPECT_EQ(r.status, c.status);
        for (const char* h :
             {"content-security-policy: default-src 'self'", "x-content-type-options: nosniff",
              "referrer-policy: no-referrer", "x-frame-options: deny", c.cabecalho}) {
            EXPECT_TRUE(r.tem(h)) << h;
        }
        EXPECT_FALSE(r.tem("access-control-"));
        if (c.status == 403) {
            EXPECT_EQ(r.corpo, "");
        }
        // The cookie is given for a token in the address, never for the API's.
        EXPECT_EQ(r.tem(novoCookie), c.status != 403 && c.pedido.find("?t=") != std::string::npos &&
                                         c.pedido.find("/api/") == std::string::npos);
    }
}

TEST_F(ServidorTest, PedidoMalFormadoRecebe400EOServidorContinua) {
    iniciar();
    const std::pair<const char*, std::string> casos[] = {
        {"linha sem sentido", "GARBAGE\r\n\r\n"},
        {"versão desconhecida", "GET / HTTP/9.9\r\n" + host + "\r\n"},
        {"método desconhecido", "BREW / HTTP/1.1\r\n" + host + "\r\n"},
        {"cabeçalho enorme",
         "GET / HTTP/1.1\r\n" + host + "X: " + std::string(20000, 'a') + "\r\n\r\n"},
        {"bytes binários", std::string("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03\r\n\r\n", 15)},
    };
    for (const auto& [rotulo, bruto] : casos) {
        SCOPED_TRACE(rotulo);
        const int status = pedir(porta, bruto, "\r\n\r\n").status;
        EXPECT_TRUE(status == 400 || status == 0) << status;
        EXPECT_EQ(pedir(porta, get("/api/resumo")).status, 200);
    }
}

// 4 streams whose clients never read and 20 requests that never end take no answer
// from the others; the streams are bounded (the next gets 503) and a client that
// goes away frees its place at once.
TEST_F(ServidorTest, ClientesLentosNaoTravamOsOutrosEFluxosSaoLimitados) {
    iniciar(5);
    std::vector<std::unique_ptr<Conexao>> lentos;
    for (int i = 0; i < 4; ++i) {
        lentos.push_back(std::make_unique<Conexao>(porta));
        lentos.back()->enviar(get("/api/eventos"));
        EXPECT_EQ(ler(lentos.back()->receber("\n\n")).status, 200);
    }
    auto leitor = std::make_unique<Conexao>(porta);
    leitor->enviar(get("/api/eventos"));
    EXPECT_EQ(ler(leitor->receber("\n\n")).status, 200);
    EXPECT_EQ(pedir(porta, get("/api/eventos")).status, 503);
    // Changes big enough to fill the silent clients' buffers.
    kivo::Sessao s = sessao("grande", 0);
    for (int i = 0; i < 30; ++i) {
        s.titulo = std::to_string(i) + std::string(3000, 'x');
        gravar(s);
        std::this_thread::sleep_for(10ms);
    }
    s.titulo = "fim";
    gravar(s);
    for (int i = 0; i < 20; ++i) {
        lentos.push_back(std::make_unique<Conexao>(porta));
        lentos.back()->enviar("GET / HTTP/1.1\r\n" + host);
    }
    // A plain request is answered well inside the read timeout (2 s) they hold, once
    // connected (a burst of connections may delay the handshake itself by a second).
    const Conexao simples(porta);
    const auto antes = std::chrono::steady_clock::now();
    simples.enviar(get("/api/resumo"));
    EXPECT_EQ(ler(simples.receber()).status, 200);
    EXPECT_LT(std::chrono::steady_clock::now() - antes, 1500ms);
    EXPECT_NE(leitor->receber("loja · fim").find("loja · fim"), std::string::npos);
    leitor.reset();
    int depois = 0;
    for (int tentativa = 0; tentativa < 20 && depois != 200; ++tentativa) {
        std::this_thread::sleep_for(50ms);
        const Conexao c(porta);
        c.enviar(get("/api/eventos"));
        depois = ler(c.receber("\r\n\r\n")).status;
    }
    EXPECT_EQ(depois, 200);
}

// retry: first, one data: block of JSON per change (the same JSON /api/resumo gives,
// old and dead sessions left out as in the panel), a comment when idle.
TEST_F(ServidorTest, FluxoDeEventos) {
    for (const auto& s : {sessao("velha", kivo::Tempos::sessaoVelha + 60),
                          sessao("morta", kivo::app::carenciaProcesso + 60, morto),
                          sessao("recente", 5, morto), sessao("viva", 5, 1)}) {
        gravar(s);
    }
    iniciar(16, 1);
    const Conexao c(porta);
    c.enviar(get("/api/eventos"));
    const std::string inicio = c.receber("}\n\n");
    EXPECT_LT(inicio.find("\nretry: "), inicio.find("\ndata: ")) << inicio;
    EXPECT_TRUE(ler(inicio).tem("content-type: text/event-stream"));
    const auto primeiro = blocos(inicio);
    ASSERT_EQ(primeiro.size(), 1u);
    std::map<std::string, bool> encerrado;
    for (const auto& s : primeiro[0]["sessoes"]) encerrado[s["id"]] = s["processoEncerrado"];
    EXPECT_EQ(encerrado, (std::map<std::string, bool>{{"recente", true}, {"viva", false}}));

    kivo::Sessao s = sessao("a1", 0);
    s.estado = kivo::Estado::atencao;
    gravar(s);
    const auto depois = blocos(c.receber("}\n\n"));
    ASSERT_EQ(depois.size(), 1u);
    EXPECT_EQ(depois[0]["destaque"], "a1");
    EXPECT_EQ(nlohmann::json::parse(pedir(porta, get("/api/resumo")).corpo), depois[0]);
    EXPECT_NE(c.receber(": pulso\n\n").find(": pulso\n\n"), std::string::npos);
}

TEST(ComandoWeb, Opcoes) {
    const struct {
        std::vector<std::string_view> args;
        bool aceita;
        int porta;
        bool abrir;
    } casos[] = {
        {{}, true, 0, false},
        {{"--porta", "8765", "--abrir"}, true, 8765, true},
        {{"--porta=65535"}, true, 65535, false},
        {{"--porta"}, false, 0, false},
        {{"--porta", "0"}, false, 0, false},
        {{"--porta", "65536"}, false, 0, false},
        {{"--porta", "80a"}, false, 0, false},
        {{"--aberto"}, false, 0, false},
    };
    for (const auto& c : casos) {
        std::string rotulo;
        for (const auto a : c.args) rotulo += std::string(a) + " ";
        SCOPED_TRACE(rotulo);
        kivo::web::OpcoesWeb o;
        std::string erro;
        EXPECT_EQ(kivo::web::lerOpcoesWeb(c.args, o, erro), c.aceita);
        EXPECT_EQ(erro.empty(), c.aceita);
        EXPECT_EQ(o.porta, c.porta);
        EXPECT_EQ(o.abrir, c.abrir);
    }
}

TEST_F(ServidorTest, PortaOcupadaDa1ComMensagem) {
    iniciar();
    char* texto = nullptr;
    std::size_t tamanho = 0;
    std::FILE* erros = open_memstream(&texto, &tamanho);
    EXPECT_EQ(kivo::web::executarWeb({pasta.raiz(), porta, false}, stdout, erros), 1);
    std::fclose(erros);
    const std::string mensagem(texto, tamanho);
    std::free(texto);
    EXPECT_NE(mensagem.find("a porta " + std::to_string(porta) + " j\u00E1 est\u00E1 em uso"),
              std::string::npos)
        << mensagem;
}

// `kivo web --abrir` hands the opener a file of this user's only that holds the
// address, never the token on a command line (ps shows those to every user), and
// removes it when SIGTERM ends the server.
TEST(ComandoWeb, AbrirPassaUmArquivoSoDoUsuarioENuncaOToken) {
    const kivo::teste::PastaTemporaria pasta;
    const std::string raiz = pasta.raiz().string(), visto = raiz + "/aberto.txt";
    kivo::teste::escrever(pasta.raiz() / "xdg-open",
                          "#!/bin/sh\n{ echo \"$1\"; stat -c %a \"$1\"; cat \"$1\"; } > \"" +
                              visto + ".tmp\"; mv \"" + visto + ".tmp\" \"" + visto + "\"\n");
    std::filesystem::permissions(pasta.raiz() / "xdg-open", std::filesystem::perms::owner_all);
    const kivo::teste::Processo p = kivo::teste::iniciar(
        {{KIVO_EXECUTAVEL, "web", "--abrir"},
         {{"KIVO_DIR", raiz}, {"PATH", raiz + ":/usr/bin:/bin"}, {"XDG_RUNTIME_DIR", raiz}}});
    ASSERT_GT(p.pid, 0);
    for (int espera = 0; espera < 300 && !std::filesystem::exists(visto); ++espera)
        std::this_thread::sleep_for(10ms);
    const std::string aberto = kivo::teste::conteudo(visto);
    kill(p.pid, SIGTERM);
    const kivo::teste::Execucao fim = kivo::teste::terminar(p, "");
    EXPECT_EQ(fim.status, 0);
    const std::size_t i = fim.saida.find("http://127.0.0.1:");
    ASSERT_NE(i, std::string::npos) << fim.saida;
    const std::string endereco = fim.saida.substr(i, fim.saida.find('\n', i) - i);
    const std::string argumento = aberto.substr(0, aberto.find('\n'));
    EXPECT_EQ(argumento.find("?t="), std::string::npos);
    EXPECT_NE(aberto.find("\n600\n"), std::string::npos) << aberto;
    EXPECT_NE(aberto.find("url=" + endereco + "\""), std::string::npos) << aberto;
    EXPECT_FALSE(std::filesystem::exists(argumento));
}

}  // namespace
