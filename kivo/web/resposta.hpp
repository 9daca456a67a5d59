// The bytes kivo web's server speaks: an answer's status line and headers (with the
// security headers every answer carries), chunks of the event stream, and what is read
// from a request (its method, its query's parameters, a cookie). No sockets here.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kivo::web {

// On a connection kept open, each next head must arrive within this time of the
// previous answer; the last of this many requests is answered with "Connection: close".
inline constexpr std::chrono::seconds kOciosa{2};
inline constexpr int kPedidosPorConexao = 5;

// An answer before it is written: status, headers of its own and body (the page's
// files and summaries are shared, never copied: `dono` keeps `corpo` alive).
struct Resposta {
    int status = 200;
    std::vector<std::pair<std::string, std::string>> cabecalhos;
    std::string_view corpo;
    std::shared_ptr<const void> dono;
    bool fluxo = false;  // the event stream: chunked, no length
    bool adiada = false; // written later, when going to an agent (Vinculo::ida) is over
};

// %XX decoded (and '+' as a space in a query's value); anything else kept as it is.
std::string decodificado(std::string_view s, bool consulta);

// The values of the query's parameter `nome` ("a=1&t=X&b").
std::vector<std::string> parametro(std::string_view consulta, std::string_view nome);

bool metodoConhecido(std::string_view m);

// The status line and headers, sorted by name, with the security headers and the
// connection's own.
std::string cabecaDe(const Resposta& r, bool head, bool fechar);

// `texto` as one chunk of a chunked body.
std::string pedaco(std::string_view texto);

// The value of the cookie `nome` in a Cookie header, or empty.
std::string_view cookie(std::string_view cabecalho, std::string_view nome);

}  // namespace kivo::web
