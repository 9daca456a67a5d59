#include "kivo/eventos.hpp"

#include <cstring>
#include <optional>

#include "json.hpp"
#include "unicode.hpp"

namespace kivo {
namespace {

constexpr std::string_view kSeparador = "\n\n";
constexpr std::string_view kDados = "data: ";

// The payloads of a block's "data: " lines, joined by line feeds. Lines end at line
// feeds that are characters of their own: the LF of a CR LF pair is not one.
std::string juntarDados(std::string_view bloco) {
    std::string dados;
    bool algum = false;
    std::size_t inicio = 0;
    for (;;) {
        std::size_t fim = inicio;
        for (;;) {
            const void* achou = std::memchr(bloco.data() + fim, '\n', bloco.size() - fim);
            if (!achou) {
                fim = bloco.size();
                break;
            }
            fim = static_cast<std::size_t>(static_cast<const char*>(achou) - bloco.data());
            if (fim == 0 || bloco[fim - 1] != '\r') break;
            ++fim;
        }
        const std::string_view linha = bloco.substr(inicio, fim - inicio);
        if (texto::comecaCom(linha, kDados)) {
            if (algum) dados.push_back('\n');
            dados.append(linha.substr(kDados.size()));
            algum = true;
        }
        if (fim == bloco.size()) break;
        inicio = fim + 1;
    }
    return dados;
}

std::optional<nlohmann::json> objetoDoBloco(std::string_view bloco) {
    const std::string dados = juntarDados(bloco);
    if (dados.empty()) return std::nullopt;
    auto valor = json::documento(dados);
    if (!valor || !valor->is_object()) return std::nullopt;
    return valor;
}

}  // namespace

EventosSeparados separarEventos(std::string_view texto) {
    EventosSeparados r;
    // Blocks are taken from the front; `inicio` is where the unconsumed rest begins.
    // The separator is found on character boundaries of the whole text, which are
    // those of the rest: a rest always begins right after a line feed.
    std::size_t inicio = 0;
    for (;;) {
        const std::size_t sep = texto::encontrar(texto, kSeparador, inicio);
        if (sep == texto::npos) break;
        if (auto objeto = objetoDoBloco(texto.substr(inicio, sep - inicio))) {
            r.eventos.push_back(std::move(*objeto));
        }
        inicio = sep + kSeparador.size();
    }
    r.resto.assign(texto.substr(inicio));
    return r;
}

}  // namespace kivo
