// kivo web at the HTTP level, through raw sockets to 127.0.0.1: the token, the
// cookie, the Host check, the headers of every answer, methods, malformed requests,
// the bound on event streams, clients that never finish or never read, live
// updates, time limits, the old/dead filtering, and the command's start and stop.
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

using kivo::web::Servidor;
using namespace std::chrono_literals;

// A connected socket that closes itself.
class Conexao {
public:
    explicit Conexao(int porta) : fd_(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<std::uint16_t>(porta));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            close(fd_);
            fd_ = -1;
        }
    }
    ~Conexao() {
        if (fd_ >= 0) close(fd_);
    }
    Conexao(const Conexao&) = delete;
    Conexao& operator=(const Conexao&) = delete;
    int fd() const { return fd_; }

    void enviar(const std::string& s) const {
        [[maybe_unused]] const auto n = send(fd_, s.data(), s.size(), MSG_NOSIGNAL);
    }

    // What arrives until `fim` is seen, the peer closes, or `limite` passes.
    std::string receber(std::chrono::milliseconds limite, const std::string& fim = "") const {
        std::string s;
        const auto ate = std::chrono::steady_clock::now() + limite;
        for (;;) {
            const auto resta = std::chrono::duration_cast<std::chrono::milliseconds>(
                ate - std::chrono::steady_clock::now());
            if (resta.count() <= 0) break;
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(resta.count())) <= 0) break;
            char b[4096];
            const ssize_t n = recv(fd_, b, sizeof b, 0);
            if (n <= 0) break;
            s.append(b, static_cast<std::size_t>(n));
            if (!fim.empty() && s.find(fim) != std::string::npos) break;
        }
        return s;
    }

    // The next bytes to arrive, or nothing after `limite`.
    std::string receberParte(std::chrono::milliseconds limite) const {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(limite.count())) <= 0) return "";
        char b[65536];
        const ssize_t n = recv(fd_, b, sizeof b, 0);
        return n > 0 ? std::string(b, static_cast<std::size_t>(n)) : "";
    }

private:
    int fd_;
};

struct Resposta {
    int status = 0;
    std::string cabecalhos;  // lower case
    std::string corpo;
    bool tem(const std::string& cabecalho) const {
        return cabecalhos.find(cabecalho) != std::string::npos;
    }
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

// One whole request on a connection of its own; the answer (headers and
// Content-Length bytes) within 3 s.
Resposta pedir(int porta, const std::string& pedido) {
    const Conexao c(porta);
    c.enviar(pedido);
    std::string bruto = c.receber(3s, "\r\n\r\n");
    Resposta r = ler(bruto);
    const std::size_t i = r.cabecalhos.find("content-length: ");
    if (i != std::string::npos && pedido.rfind("HEAD", 0) != 0) {
        const std::size_t tamanho = std::stoul(r.cabecalhos.substr(i + 16));
        while (r.corpo.size() < tamanho) {
            const std::string mais = c.receberParte(3s);
            if (mais.empty()) break;
            r.corpo += mais;
        }
    }
    return r;
}

class ServidorTest : public ::testing::Test {
protected:
    void iniciar(std::size_t fluxos = 16, int pulsacao = 15) {
        kivo::web::OpcoesServidor o;
        o.pulsacaoSegundos = pulsacao;
        o.pasta = pasta.raiz() / "sessoes";
        o.fluxosMaximos = fluxos;
        o.vivo = [](std::int32_t pid) { return pid != morto; };
        servidor = std::make_unique<Servidor>(o);
        servidor->iniciar();
        porta = servidor->porta();
        host = "Host: 127.0.0.1:" + std::to_string(porta) + "\r\n";
        cookie = "Cookie: kivo-" + std::to_string(porta) + "=" + servidor->token() + "\r\n";
    }
    std::string get(const std::string& alvo, const std::string& extra = "") const {
        return "GET " + alvo + " HTTP/1.1\r\n" + host + cookie + extra +
               "Connection: close\r\n\r\n";
    }
    void gravar(kivo::Sessao s) const { kivo::Armazem(pasta.raiz() / "sessoes").gravar(s); }

    static kivo::Sessao sessao(std::string id, kivo::Estado estado, double idade) {
        kivo::Sessao s;
        s.id = std::move(id);
        s.cwd = "/home/ana/loja";
        s.estado = estado;
        s.atualizado = s.mudouEstadoEm = kivo::app::relogio() - idade;
        return s;
    }

    // The data blocks of an event stream, parsed.
    static std::vector<nlohmann::json> blocos(const std::string& texto) {
        std::vector<nlohmann::json> v;
        for (std::size_t i = texto.find("data: "); i != std::string::npos;
             i = texto.find("data: ", i + 1)) {
            v.push_back(nlohmann::json::parse(texto.substr(i + 6, texto.find('\n', i) - i - 6)));
        }
        return v;
    }

    static constexpr std::int32_t morto = 999999;
    kivo::teste::PastaTemporaria pasta;
    std::unique_ptr<Servidor> servidor;
    int porta = 0;
    std::string host, cookie;
};

TEST(Token, TemPeloMenos128BitsDoSistemaEComparaPorInteiro) {
    const std::string a = kivo::web::novoToken();
    EXPECT_EQ(a.size(), 64u);
    EXPECT_EQ(a.find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_NE(a, kivo::web::novoToken());
    EXPECT_TRUE(kivo::web::mesmoToken(a, a));
    EXPECT_FALSE(kivo::web::mesmoToken(a, a.substr(0, 63)));
    EXPECT_FALSE(kivo::web::mesmoToken(a, a.substr(0, 63) + (a[63] == '0' ? "1" : "0")));
    EXPECT_FALSE(kivo::web::mesmoToken("", ""));
}

TEST_F(ServidorTest, SoResponde127ComOTokenEOHostCertos) {
    iniciar();
    const std::string p = std::to_string(porta);
    const std::string t = servidor->token();
    const std::string errado = std::string(t.size(), 'a');
    struct Caso {
        const char* rotulo;
        std::string pedido;
        int status;
    };
    const std::vector<Caso> casos = {
        {"sem token", "GET / HTTP/1.1\r\n" + host + "Connection: close\r\n\r\n", 403},
        {"token errado no endereço", "GET /?t=" + errado + " HTTP/1.1\r\n" + host + "\r\n", 403},
        {"token pela metade", "GET /?t=" + t.substr(0, 32) + " HTTP/1.1\r\n" + host + "\r\n", 403},
        {"cookie errado",
         "GET / HTTP/1.1\r\n" + host + "Cookie: kivo-" + p + "=" + errado + "\r\n\r\n", 403},
        {"cookie de outra porta", "GET / HTTP/1.1\r\n" + host + "Cookie: kivo-1=" + t + "\r\n\r\n",
         403},
        {"Host de outro nome (rebinding)",
         "GET / HTTP/1.1\r\nHost: kivo.exemplo.com:" + p + "\r\n" + cookie + "\r\n", 403},
        {"Host sem porta", "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n" + cookie + "\r\n", 403},
        {"Host de outra porta", "GET / HTTP/1.1\r\nHost: localhost:1\r\n" + cookie + "\r\n", 403},
        {"sem Host", "GET / HTTP/1.0\r\n" + cookie + "\r\n", 403},
        {"dois Host", "GET / HTTP/1.1\r\n" + host + "Host: evil:1\r\n" + cookie + "\r\n", 403},
        {"POST sem token", "POST / HTTP/1.1\r\n" + host + "Content-Length: 0\r\n\r\n", 403},
        {"token no endereço da página", "GET /?t=" + t + " HTTP/1.1\r\n" + host + "\r\n", 200},
        {"token no endereço de outro arquivo",
         "GET /estilo.css?t=" + t + " HTTP/1.1\r\n" + host + "\r\n", 303},
        {"token na API", "GET /api/resumo?t=" + t + " HTTP/1.1\r\n" + host + "\r\n", 200},
        {"cookie", get("/"), 200},
        {"cookie entre outros",
         "GET /app.js HTTP/1.1\r\n" + host + "Cookie: a=1; kivo-" + p + "=" + t + "; b=2\r\n\r\n",
         200},
        {"localhost", "GET / HTTP/1.1\r\nHost: localhost:" + p + "\r\n" + cookie + "\r\n", 200},
        {"HEAD", "HEAD / HTTP/1.1\r\n" + host + cookie + "\r\n", 200},
        {"POST", "POST / HTTP/1.1\r\n" + host + cookie + "Content-Length: 0\r\n\r\n", 405},
        {"OPTIONS (CORS preflight)",
         "OPTIONS /api/resumo HTTP/1.1\r\n" + host + cookie + "Origin: http://evil\r\n\r\n", 405},
        {"DELETE", "DELETE / HTTP/1.1\r\n" + host + cookie + "\r\n", 405},
        {"caminho que não existe", get("/../../etc/passwd"), 404},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.rotulo);
        const Resposta r = pedir(porta, c.pedido);
        EXPECT_EQ(r.status, c.status);
        EXPECT_TRUE(r.tem("content-security-policy: default-src 'self'"));
        EXPECT_TRUE(r.tem("x-content-type-options: nosniff"));
        EXPECT_TRUE(r.tem("referrer-policy: no-referrer"));
        EXPECT_TRUE(r.tem("x-frame-options: deny"));
        EXPECT_FALSE(r.tem("access-control-"));
        if (c.status == 403) {
            EXPECT_EQ(r.corpo, "");
        }
        if (c.status == 405) {
            EXPECT_TRUE(r.tem("allow: get, head"));
        }
        const bool comToken = c.pedido.find("?t=" + t) != std::string::npos;
        EXPECT_EQ(r.tem("set-cookie: kivo-" + p + "=" + t + "; httponly; samesite=strict; path=/"),
                  comToken && c.status != 403 && c.pedido.find("/api/") == std::string::npos);
        if (c.status == 303) {
            EXPECT_TRUE(r.tem("location: /estilo.css\r\n"));
        }
    }
    // The page has no inline script or style: everything comes from the binary.
    const Resposta pagina = pedir(porta, get("/"));
    EXPECT_TRUE(pagina.tem("content-type: text/html"));
    EXPECT_NE(pagina.corpo.find("<script src=\"/app.js\""), std::string::npos);
    EXPECT_EQ(pagina.corpo.find("<script>"), std::string::npos);
    EXPECT_EQ(pagina.corpo.find("style="), std::string::npos);
}

TEST_F(ServidorTest, PedidoMalFormadoRecebe400EOServidorContinua) {
    iniciar();
    const std::vector<std::pair<const char*, std::string>> casos = {
        {"linha sem sentido", "GARBAGE\r\n\r\n"},
        {"versão desconhecida", "GET / HTTP/9.9\r\n" + host + "\r\n"},
        {"método desconhecido", "BREW / HTTP/1.1\r\n" + host + "\r\n"},
        {"cabeçalho enorme",
         "GET / HTTP/1.1\r\n" + host + "X: " + std::string(20000, 'a') + "\r\n\r\n"},
        {"bytes binários", std::string("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03\r\n\r\n", 15)},
    };
    for (const auto& [rotulo, pedido] : casos) {
        SCOPED_TRACE(rotulo);
        const Resposta r = pedir(porta, pedido);
        EXPECT_TRUE(r.status == 400 || r.status == 0) << r.status;  // 0: closed without answer
        EXPECT_NE(r.status, 200);
        EXPECT_EQ(pedir(porta, get("/api/resumo")).status, 200);
    }
}

TEST_F(ServidorTest, FluxosSaoLimitadosEUmClienteQueSaiLiberaOLugar) {
    iniciar(3);
    std::vector<std::unique_ptr<Conexao>> fluxos;
    for (int i = 0; i < 3; ++i) {
        fluxos.push_back(std::make_unique<Conexao>(porta));
        fluxos.back()->enviar(get("/api/eventos"));
        const std::string inicio = fluxos.back()->receber(3s, "\n\n");
        EXPECT_NE(inicio.find("Content-Type: text/event-stream"), std::string::npos) << inicio;
        EXPECT_NE(inicio.find("retry: "), std::string::npos);
    }
    const Resposta recusado = pedir(porta, get("/api/eventos"));
    EXPECT_EQ(recusado.status, 503);
    fluxos.pop_back();  // the client goes away: its place is free at once
    Resposta depois;
    for (int tentativa = 0; tentativa < 20 && depois.status != 200; ++tentativa) {
        std::this_thread::sleep_for(50ms);
        const Conexao c(porta);
        c.enviar(get("/api/eventos"));
        depois = ler(c.receber(1s, "\r\n\r\n"));
    }
    EXPECT_EQ(depois.status, 200);
}

TEST_F(ServidorTest, ClientesQueNaoTerminamOuNaoLeemNaoTravamOsOutros) {
    iniciar(8);
    // 20 requests that never end, and 4 streams whose clients never read.
    std::vector<std::unique_ptr<Conexao>> lentos;
    for (int i = 0; i < 20; ++i) {
        lentos.push_back(std::make_unique<Conexao>(porta));
        lentos.back()->enviar("GET / HTTP/1.1\r\n" + host);
    }
    for (int i = 0; i < 4; ++i) {
        lentos.push_back(std::make_unique<Conexao>(porta));
        const int pequeno = 4096;
        setsockopt(lentos.back()->fd(), SOL_SOCKET, SO_RCVBUF, &pequeno, sizeof pequeno);
        lentos.back()->enviar(get("/api/eventos"));
    }
    const Conexao leitor(porta);
    leitor.enviar(get("/api/eventos"));
    leitor.receber(2s, "\n\n");
    // Changes big enough to fill the silent clients' buffers.
    kivo::Sessao s = sessao("grande", kivo::Estado::trabalhando, 0);
    for (int i = 0; i < 30; ++i) {
        s.titulo = std::to_string(i) + std::string(3000, 'x');
        gravar(s);
        std::this_thread::sleep_for(10ms);
    }
    s.titulo = "fim";
    gravar(s);
    // A plain request is answered well inside the read timeout (2 s).
    const auto antes = std::chrono::steady_clock::now();
    EXPECT_EQ(pedir(porta, get("/api/resumo")).status, 200);
    EXPECT_LT(std::chrono::steady_clock::now() - antes, 1500ms);
    EXPECT_NE(leitor.receber(3s, "loja · fim").find("loja · fim"), std::string::npos);
}

TEST_F(ServidorTest, MudancaNaPastaChegaPeloFluxoSemReleitura) {
    iniciar();
    const Conexao c(porta);
    c.enviar(get("/api/eventos"));
    const auto primeiro = blocos(c.receber(3s, "}\n\n"));
    ASSERT_EQ(primeiro.size(), 1u);
    EXPECT_EQ(primeiro[0]["humor"], "dormindo");
    EXPECT_EQ(primeiro[0]["sessoes"].size(), 0u);

    kivo::Sessao s = sessao("a1", kivo::Estado::atencao, 0);
    s.titulo = "<img src=x onerror=alert(1)>\x1b[31m";
    s.detalhe = "Quer permissão";
    gravar(s);
    const auto depois = blocos(c.receber(3s, "}\n\n"));
    ASSERT_EQ(depois.size(), 1u);
    const auto& r = depois[0];
    EXPECT_EQ(r["humor"], "atencao");
    EXPECT_EQ(r["frase"], "Um agente precisa de você.");
    EXPECT_EQ(r["destaque"], "a1");
    EXPECT_EQ(r["sessoes"][0]["titulo"], "<img src=x onerror=alert(1)> [31m");
    EXPECT_EQ(r["sessoes"][0]["ha"], "agora");
    ASSERT_EQ(r["novidades"].size(), 1u);
    EXPECT_EQ(r["novidades"][0]["caso"], "chamou");
    EXPECT_GT(r["versao"].get<int>(), primeiro[0]["versao"].get<int>());
    // The same summary is what GET /api/resumo answers.
    EXPECT_EQ(nlohmann::json::parse(pedir(porta, get("/api/resumo")).corpo), r);
}

TEST_F(ServidorTest, FluxoParadoRecebeUmComentarioDePulsacao) {
    iniciar(16, 1);
    const Conexao c(porta);
    c.enviar(get("/api/eventos"));
    const std::string texto = c.receber(3s, ": pulso\n\n");
    EXPECT_EQ(blocos(texto).size(), 1u);
    EXPECT_NE(texto.find(": pulso\n\n"), std::string::npos) << texto;
}

TEST_F(ServidorTest, LimiteDeTempoQuePassaMudaOHumorSemNovoRegistro) {
    // Finished 3.7 s ago: comemorando for 0.3 s more, then acordado.
    gravar(sessao("a1", kivo::Estado::feito, kivo::Tempos::comemoracao - 0.3));
    iniciar();
    const Conexao c(porta);
    c.enviar(get("/api/eventos"));
    const auto v = blocos(c.receber(3s, "\"acordado\""));
    ASSERT_EQ(v.size(), 2u);
    EXPECT_EQ(v[0]["humor"], "comemorando");
    EXPECT_EQ(v[1]["humor"], "acordado");
    EXPECT_EQ(v[1]["novidades"].size(), 0u);
}

TEST_F(ServidorTest, SessoesVelhasOuDeProcessoMortoSaemComoNoPainel) {
    kivo::Sessao velha = sessao("velha", kivo::Estado::trabalhando, kivo::Tempos::sessaoVelha + 60);
    kivo::Sessao morta =
        sessao("morta", kivo::Estado::trabalhando, kivo::app::carenciaProcesso + 60);
    morta.pid = morto;
    kivo::Sessao recente = sessao("recente", kivo::Estado::trabalhando, 5);
    recente.pid = morto;
    kivo::Sessao viva = sessao("viva", kivo::Estado::trabalhando, 5);
    viva.pid = 1;
    for (const auto& s : {velha, morta, recente, viva}) gravar(s);
    iniciar();
    const auto r = nlohmann::json::parse(pedir(porta, get("/api/resumo")).corpo);
    std::map<std::string, bool> encerrado;
    for (const auto& s : r["sessoes"]) encerrado[s["id"]] = s["processoEncerrado"];
    EXPECT_EQ(encerrado, (std::map<std::string, bool>{{"recente", true}, {"viva", false}}));
}

TEST(ComandoWeb, Opcoes) {
    struct Caso {
        std::vector<std::string_view> args;
        bool aceita;
        int porta;
        bool abrir;
    };
    const std::vector<Caso> casos = {
        {{}, true, 0, false},
        {{"--porta", "8765", "--abrir"}, true, 8765, true},
        {{"--porta=65535"}, true, 65535, false},
        {{"--porta"}, false, 0, false},
        {{"--porta", "0"}, false, 0, false},
        {{"--porta", "65536"}, false, 0, false},
        {{"--porta", "80a"}, false, 0, false},
        {{"--porta", "-1"}, false, 0, false},
        {{"--aberto"}, false, 0, false},
    };
    for (const Caso& c : casos) {
        std::string rotulo;
        for (const auto a : c.args) rotulo += std::string(a) + " ";
        SCOPED_TRACE(rotulo);
        kivo::web::OpcoesWeb o;
        std::string erro;
        EXPECT_EQ(kivo::web::lerOpcoesWeb(c.args, o, erro), c.aceita);
        EXPECT_EQ(erro.empty(), c.aceita);
        if (c.aceita) {
            EXPECT_EQ(o.porta, c.porta);
            EXPECT_EQ(o.abrir, c.abrir);
        }
    }
}

TEST(ComandoWeb, MostraOEnderecoSaiLimpoComSinalEPortaOcupadaDa1) {
    const kivo::teste::PastaTemporaria pasta;
    const std::map<std::string, std::string> ambiente = {{"KIVO_DIR", pasta.raiz().string()},
                                                         {"PATH", "/usr/bin:/bin"}};
    const kivo::teste::Processo p = kivo::teste::iniciar({{KIVO_EXECUTAVEL, "web"}, ambiente});
    ASSERT_GT(p.pid, 0);
    std::string saida;
    char b[512];
    while (saida.find("Ctrl-C") == std::string::npos) {
        const ssize_t n = read(p.saida, b, sizeof b);
        if (n <= 0) break;
        saida.append(b, static_cast<std::size_t>(n));
    }
    const std::size_t i = saida.find("http://127.0.0.1:");
    ASSERT_NE(i, std::string::npos) << saida;
    const std::string porta = saida.substr(i + 17, saida.find('/', i + 17) - i - 17);
    EXPECT_NE(saida.find("/?t=", i), std::string::npos);

    const auto ocupada = kivo::teste::rodar({{KIVO_EXECUTAVEL, "web", "--porta", porta}, ambiente});
    EXPECT_EQ(ocupada.status, 1);
    EXPECT_NE(ocupada.erro.find("a porta " + porta + " j\u00E1 est\u00E1 em uso"),
              std::string::npos)
        << ocupada.erro;

    kill(p.pid, SIGTERM);
    const kivo::teste::Execucao fim = kivo::teste::terminar(p, "");
    EXPECT_EQ(fim.status, 0);
    EXPECT_NE(fim.saida.find("encerrado"), std::string::npos);
    EXPECT_EQ(fim.erro, "");
}

TEST(ComandoWeb, AbrirPassaAoNavegadorUmArquivoSoDoUsuarioENuncaOToken) {
    const kivo::teste::PastaTemporaria pasta;
    const auto registro = pasta.raiz() / "aberto.txt";
    // A stand-in for xdg-open that notes what it was given and what that file holds.
    const auto falso = pasta.raiz() / "xdg-open";
    kivo::teste::escrever(falso, "#!/bin/sh\n{ echo \"$1\"; stat -c %a \"$1\"; cat \"$1\"; } > \"" +
                                     registro.string() + ".tmp\"; mv \"" + registro.string() +
                                     ".tmp\" \"" + registro.string() + "\"\n");
    std::filesystem::permissions(falso, std::filesystem::perms::owner_all);
    const kivo::teste::Processo p =
        kivo::teste::iniciar({{KIVO_EXECUTAVEL, "web", "--abrir"},
                              {{"KIVO_DIR", pasta.raiz().string()},
                               {"PATH", pasta.raiz().string() + ":/usr/bin:/bin"},
                               {"XDG_RUNTIME_DIR", pasta.raiz().string()}}});
    ASSERT_GT(p.pid, 0);
    for (int i = 0; i < 300 && !std::filesystem::exists(registro); ++i)
        std::this_thread::sleep_for(10ms);
    const std::string visto = kivo::teste::conteudo(registro);
    kill(p.pid, SIGTERM);
    const kivo::teste::Execucao fim = kivo::teste::terminar(p, "");
    const std::size_t i = fim.saida.find("?t=");
    ASSERT_NE(i, std::string::npos) << fim.saida;
    const std::string token = fim.saida.substr(i + 3, 64);
    const std::string argumento = visto.substr(0, visto.find('\n'));
    EXPECT_EQ(argumento.find(token), std::string::npos);
    EXPECT_NE(visto.find("\n600\n"), std::string::npos) << visto;
    EXPECT_NE(visto.find("url=http://127.0.0.1:"), std::string::npos) << visto;
    EXPECT_NE(visto.find(token), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(argumento));  // removed on the way out
    EXPECT_EQ(fim.status, 0);
}

}  // namespace
