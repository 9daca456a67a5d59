#include "resposta.hpp"

#include <fcntl.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/random.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <system_error>

#include "servidor.hpp"

namespace kivo::web {

static void lerAleatorio(unsigned char* destino, std::size_t n) {
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


// The headers every answer carries, in the order of the answer (by name, ignoring case).
constexpr std::pair<std::string_view, std::string_view> kCabecalhosDeSeguranca[] = {
    {"Cache-Control", "no-store"},
    {"Content-Security-Policy",
     "default-src 'self'; img-src 'self'; style-src 'self'; script-src 'self'; connect-src "
     "'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'"},
    {"Referrer-Policy", "no-referrer"},
    {"X-Content-Type-Options", "nosniff"},
    {"X-Frame-Options", "DENY"},
};

static std::string_view frase(int status) {
    switch (status) {
        case 200: return "OK";
        case 303: return "See Other";
        case 400: return "Bad Request";
        case 403: return "Forbidden";
        case 404: return "Not Found";
        case 405: return "Method Not Allowed";
        case 503: return "Service Unavailable";
        default: return "Internal Server Error";
    }
}

static bool antesDe(std::string_view a, std::string_view b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
    });
}

// %XX decoded (and '+' as a space in a query's value); anything else kept as it is.
std::string decodificado(std::string_view s, bool consulta) {
    auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::string r;
    r.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && hex(s[i + 1]) >= 0 && hex(s[i + 2]) >= 0) {
            r += static_cast<char>(hex(s[i + 1]) * 16 + hex(s[i + 2]));
            i += 2;
        } else {
            r += consulta && s[i] == '+' ? ' ' : s[i];
        }
    }
    return r;
}

// The values of the query's parameter `nome` ("a=1&t=X&b").
std::vector<std::string> parametro(std::string_view consulta, std::string_view nome) {
    std::vector<std::string> valores;
    while (!consulta.empty()) {
        const std::size_t fim = consulta.find('&');
        const std::string_view par = consulta.substr(0, fim);
        const std::size_t igual = par.find('=');
        if (decodificado(par.substr(0, igual), true) == nome) {
            valores.push_back(igual == std::string_view::npos ? "" : decodificado(par.substr(igual + 1), true));
        }
        if (fim == std::string_view::npos) break;
        consulta.remove_prefix(fim + 1);
    }
    return valores;
}

bool metodoConhecido(std::string_view m) {
    for (const std::string_view conhecido :
         {"GET", "HEAD", "POST", "PUT", "DELETE", "CONNECT", "OPTIONS", "TRACE", "PATCH", "PRI"}) {
        if (m == conhecido) return true;
    }
    return false;
}


// The status line and headers, sorted by name, with the security headers and the
// connection's own.
std::string cabecaDe(const Resposta& r, bool head, bool fechar) {
    std::vector<std::pair<std::string_view, std::string>> todos;
    for (const auto& [nome, valor] : kCabecalhosDeSeguranca) todos.emplace_back(nome, valor);
    for (const auto& [nome, valor] : r.cabecalhos) todos.emplace_back(nome, valor);
    if (r.fluxo) {
        if (!head) todos.emplace_back("Transfer-Encoding", "chunked");
    } else {
        todos.emplace_back("Content-Length", std::to_string(r.corpo.size()));
    }
    if (head && r.status == 200) todos.emplace_back("Accept-Ranges", "bytes");
    if (fechar) {
        todos.emplace_back("Connection", "close");
    } else {
        todos.emplace_back("Keep-Alive", "timeout=" + std::to_string(kOciosa.count()) +
                                             ", max=" + std::to_string(kPedidosPorConexao));
    }
    std::stable_sort(todos.begin(), todos.end(),
                     [](const auto& a, const auto& b) { return antesDe(a.first, b.first); });
    std::string texto = "HTTP/1.1 " + std::to_string(r.status) + " " + std::string(frase(r.status)) + "\r\n";
    for (const auto& [nome, valor] : todos) {
        texto.append(nome).append(": ").append(valor).append("\r\n");
    }
    return texto + "\r\n";
}

// `texto` as one chunk of a chunked body.
std::string pedaco(std::string_view texto) {
    char tamanho[20];
    const int n = std::snprintf(tamanho, sizeof tamanho, "%zx\r\n", texto.size());
    std::string r(tamanho, static_cast<std::size_t>(n));
    r.append(texto).append("\r\n");
    return r;
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

}  // namespace kivo::web
