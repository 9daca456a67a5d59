#include "kivo/rotulos.hpp"

#include <array>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "rotulos_interno.hpp"
#include "unicode.hpp"

namespace kivo::Rotulos {
namespace {

using Par = std::pair<std::string_view, std::string_view>;

constexpr std::array<Par, 15> kTrabalho{{
    {"Bash", "Rodando um comando"},
    {"Read", "Lendo arquivos"},
    {"Edit", "Editando código"},
    {"MultiEdit", "Editando código"},
    {"Write", "Editando código"},
    {"NotebookEdit", "Editando código"},
    {"Grep", "Procurando no código"},
    {"Glob", "Procurando no código"},
    {"WebSearch", "Pesquisando na web"},
    {"WebFetch", "Lendo uma página"},
    {"Agent", "Chamou um ajudante"},
    {"Task", "Chamou um ajudante"},
    {"TodoWrite", "Organizando as tarefas"},
    {"Skill", "Usando uma skill"},
    {"ToolSearch", "Separando ferramentas"},
}};

constexpr std::array<Par, 8> kPedido{{
    {"Bash", "rodar um comando"},
    {"Edit", "editar um arquivo"},
    {"MultiEdit", "editar um arquivo"},
    {"Write", "editar um arquivo"},
    {"NotebookEdit", "editar um arquivo"},
    {"Read", "ler um arquivo"},
    {"WebFetch", "abrir uma página"},
    {"WebSearch", "pesquisar na web"},
}};

constexpr std::array<Par, 6> kServidores{{
    {"claude-in-chrome", "o Chrome"},
    {"Claude_Browser", "o navegador"},
    {"computer-use", "o Mac"},
    {"google-ads", "o Google Ads"},
    {"terminal", "o terminal"},
    {"visualize", "um visual"},
}};

constexpr std::string_view kReticencias = "\u2026";
constexpr std::size_t kLimiteTexto = 90;

// Table keys are compared code point by code point after canonical composition;
// ASCII text is already composed.
template <std::size_t N>
std::optional<std::string_view> procurar(const std::array<Par, N>& tabela, std::string_view nome) {
    std::string composto;
    if (!texto::ehAscii(nome)) {
        composto = texto::nfc(nome);
        nome = composto;
    }
    for (const auto& [chave, valor] : tabela) {
        if (chave == nome) return valor;
    }
    return std::nullopt;
}

// Replaces every `alvo` that stands as whole characters (not carrying a combining
// mark) by a space.
void trocarPorEspaco(std::string& s, std::string_view alvo) {
    for (std::size_t p = texto::encontrar(s, alvo); p != texto::npos;
         p = texto::encontrar(s, alvo, p + 1)) {
        s[p] = ' ';
    }
}

// The long-text cut: at most 90 characters stay as they are; longer texts keep their
// first 89, trimmed of white space, followed by "…".
std::string cortar(std::string_view s) {
    // A text of at most 90 code points has at most 90 clusters.
    if (texto::contarCodigos(s) <= kLimiteTexto) return std::string(s);
    if (texto::contarGrafemas(s, kLimiteTexto + 1) <= kLimiteTexto) return std::string(s);
    std::string r(texto::aparar(texto::primeirosGrafemas(s, kLimiteTexto - 1), texto::Conjunto::espaco));
    r += kReticencias;
    return r;
}

// The tool name after "permission to use ": trimmed of white space, line ends, "."
// and "!" at both ends.
std::string_view nomeDaFerramenta(std::string_view s) {
    for (;;) {
        const std::size_t antes = s.size();
        s = texto::aparar(s, texto::Conjunto::espacoELinhas);
        while (!s.empty() && (s.back() == '.' || s.back() == '!')) s.remove_suffix(1);
        // At the front, a "." or "!" carrying a combining mark stops the trim.
        while (!s.empty() && (s.front() == '.' || s.front() == '!') && texto::limite(s, 1)) {
            s.remove_prefix(1);
        }
        if (s.size() == antes) return s;
    }
}

bool fimDeLinha(char32_t c) { return texto::pertence(c, texto::Conjunto::linhas); }

// --- Markdown of one line, by hand

// The three regular expressions below look for ASCII brackets, "#", ">", "-", "*",
// "`" and ".", which never occur inside the UTF-8 bytes of another character, so on
// valid UTF-8 they can be followed byte by byte; only the marker's \d (Unicode Nd)
// and \s need character properties. ICU's regular expressions are only needed for
// text that is not UTF-8: building their tables costs millions of instructions,
// which the hook cannot afford on every accented reply.

// ICU's \s inside one line (line ends were split off already): tab, the ASCII line
// ends and space separators.
bool espacoRegex(char32_t c) {
    return c == ' ' || (c >= '\t' && c <= '\r') || (c >= 0x80 && texto::pertence(c, texto::Conjunto::espaco));
}
bool digitoAscii(char c) { return c >= '0' && c <= '9'; }

// "\[([^\]]+)\]\([^)]*\)" replaced by "$1": the leftmost match is taken, and the
// search goes on after it.
std::string trocarLinks(std::string_view s) {
    std::string r;
    std::size_t copiado = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '[') continue;
        // [^\]]+ runs up to the first "]"; any shorter run would be followed by
        // something other than "]".
        const std::size_t fecha = s.find(']', i + 1);
        if (fecha == std::string_view::npos || fecha == i + 1) continue;
        if (fecha + 1 >= s.size() || s[fecha + 1] != '(') continue;
        const std::size_t parentese = s.find(')', fecha + 2);
        if (parentese == std::string_view::npos) continue;
        r.append(s.substr(copiado, i - copiado));
        r.append(s.substr(i + 1, fecha - i - 1));
        copiado = parentese + 1;
        i = parentese;
    }
    if (copiado == 0) return std::string(s);
    r.append(s.substr(copiado));
    return r;
}

// Length in bytes of the match of "^(#+|>|[-*•]|\d+\.)\s*", or 0 when there is none
// (the pattern never matches the empty text).
std::size_t marcador(std::string_view s) {
    if (s.empty()) return 0;
    std::size_t i = 0;
    std::size_t k = 0;
    const char32_t primeiro = texto::decodificar(s, k);
    if (primeiro == '#') {
        while (i < s.size() && s[i] == '#') ++i;
    } else if (primeiro == '>' || primeiro == '-' || primeiro == '*' || primeiro == U'\u2022') {
        i = k;
    } else if (texto::digitoDecimal(primeiro)) {
        for (;;) {
            std::size_t j = i;
            if (j >= s.size() || !texto::digitoDecimal(texto::decodificar(s, j))) break;
            i = j;
        }
        if (i == s.size() || s[i] != '.') return 0;
        ++i;
    } else {
        return 0;
    }
    while (i < s.size()) {
        std::size_t j = i;
        if (!espacoRegex(texto::decodificar(s, j))) break;
        i = j;
    }
    return i;
}

// --- Markdown of one line with ICU

const texto::Regex& regexLink() {
    static const texto::Regex r(R"(\[([^\]]+)\]\([^)]*\))");
    return r;
}
const texto::Regex& regexMarcador() {
    static const texto::Regex r(R"(^(#+|>|[-*•]|\d+\.)\s*)");
    return r;
}
const texto::Regex& regexEnfase() {
    static const texto::Regex r("[*`]");
    return r;
}

// Whether the marker pattern can match at all: its first code point must be one of
// "#", ">", "-", "*", "•" or a decimal digit.
bool podeTerMarcador(std::string_view s) {
    if (s.empty()) return false;
    std::size_t i = 0;
    const char32_t c = texto::decodificar(s, i);
    return c == '#' || c == '>' || c == '-' || c == '*' || c == U'\u2022' || texto::digitoDecimal(c);
}

}  // namespace

namespace interno {

std::optional<std::string> servidorMcp(std::string_view ferramenta) {
    constexpr std::string_view prefixo = "mcp__";
    if (!texto::comecaCom(ferramenta, prefixo)) return std::nullopt;
    const std::size_t fim = texto::encontrar(ferramenta, "__", prefixo.size());
    const std::string_view servidor = ferramenta.substr(
        prefixo.size(), fim == texto::npos ? texto::npos : fim - prefixo.size());
    if (servidor.empty()) return std::nullopt;
    if (const auto rotulo = procurar(kServidores, servidor)) return std::string(*rotulo);
    // "^[0-9a-f]{8}-": the first nine code points are ASCII, so the first nine bytes.
    const auto hex = [](char c) { return digitoAscii(c) || (c >= 'a' && c <= 'f'); };
    if (servidor.size() >= 9 && servidor[8] == '-') {
        bool identificador = true;
        for (std::size_t k = 0; k < 8; ++k) identificador = identificador && hex(servidor[k]);
        if (identificador) return std::string("um conector");
    }
    if (texto::comecaCom(servidor, "ccd_")) return std::string("o app");
    std::string nome(servidor);
    trocarPorEspaco(nome, "_");
    trocarPorEspaco(nome, "-");
    return nome;
}

std::string limparLinhaIcu(std::string_view linha) {
    std::string s = linha.find('[') == std::string_view::npos
                        ? std::string(linha)
                        : regexLink().trocarTodos(linha, "$1");
    if (podeTerMarcador(s)) s = regexMarcador().trocarTodos(s, "");
    if (s.find_first_of("*`") != std::string::npos) s = regexEnfase().trocarTodos(s, "");
    return s;
}

std::string limparLinhaRapida(std::string_view linha) {
    std::string s = trocarLinks(linha);
    s.erase(0, marcador(s));
    std::erase_if(s, [](char c) { return c == '*' || c == '`'; });
    return s;
}

}  // namespace interno

std::string trabalho(const std::optional<std::string>& ferramenta) {
    if (!ferramenta) return "Trabalhando";
    if (const auto rotulo = procurar(kTrabalho, *ferramenta)) return std::string(*rotulo);
    if (const auto servidor = interno::servidorMcp(*ferramenta)) return "Usando " + *servidor;
    return "Trabalhando";
}

std::string pedido(const std::optional<std::string>& ferramenta) {
    if (!ferramenta || ferramenta->empty()) return "continuar";
    if (const auto rotulo = procurar(kPedido, *ferramenta)) return std::string(*rotulo);
    if (const auto servidor = interno::servidorMcp(*ferramenta)) return "usar " + *servidor;
    return "usar " + *ferramenta;
}

std::string notificacao(const std::optional<std::string>& mensagem) {
    if (!mensagem || mensagem->empty()) return "Precisa de você";
    constexpr std::string_view permissao = "permission to use ";
    if (const std::size_t p = texto::encontrar(*mensagem, permissao); p != texto::npos) {
        const std::string_view resto = std::string_view(*mensagem).substr(p + permissao.size());
        return "Quer permissão para " + pedido(std::string(nomeDaFerramenta(resto)));
    }
    if (texto::contemSemCaixa(*mensagem, "waiting for your input")) return "Esperando sua resposta";
    return cortar(*mensagem);
}

std::optional<std::string> resumo(const std::optional<std::string>& textoOpcional) {
    if (!textoOpcional) return std::nullopt;
    const std::string_view t = *textoOpcional;
    std::size_t inicio = 0;
    while (inicio <= t.size()) {
        // The line runs up to the next line end (one code point of that set).
        std::size_t fim = inicio;
        std::size_t depois = t.size() + 1;
        while (fim < t.size()) {
            const auto b = static_cast<unsigned char>(t[fim]);
            if (b < 0x80) {
                if (b >= 0x0A && b <= 0x0D) {
                    depois = fim + 1;
                    break;
                }
                ++fim;
                continue;
            }
            std::size_t k = fim;
            if (fimDeLinha(texto::decodificar(t, k))) {
                depois = k;
                break;
            }
            fim = k;
        }
        const std::string_view linha =
            texto::aparar(t.substr(inicio, fim - inicio), texto::Conjunto::espaco);
        inicio = depois;
        if (linha.empty()) continue;
        const std::string limpa = texto::utf8Valido(linha) ? interno::limparLinhaRapida(linha)
                                                           : interno::limparLinhaIcu(linha);
        const std::string_view final = texto::aparar(limpa, texto::Conjunto::espaco);
        if (!final.empty()) return cortar(final);
    }
    return std::nullopt;
}

std::string doEstado(const Sessao& sessao) {
    switch (sessao.estado) {
        case Estado::ocioso: return "Esperando você";
        case Estado::trabalhando: return sessao.detalhe.value_or("Trabalhando");
        case Estado::atencao: return sessao.detalhe.value_or("Precisa de você");
        case Estado::feito: return sessao.detalhe ? "Pronto: " + *sessao.detalhe : "Pronto";
        case Estado::erro: return sessao.detalhe.value_or("Parou com erro");
    }
    return "Esperando você";
}

std::string tempo(double segundos) {
    if (!std::isfinite(segundos)) throw std::invalid_argument("duration is not a finite number");
    if (segundos < 45) return "agora";
    double divisor = 86400;
    std::string_view unidade = " d";
    if (segundos < 3600) {
        divisor = 60;
        unidade = " min";
    } else if (segundos < 86400) {
        divisor = 3600;
        unidade = " h";
    }
    const double quociente = std::trunc(segundos / divisor);
    // 2^63 is the first value that does not fit a 64-bit signed integer.
    if (!(quociente < 9223372036854775808.0)) {
        throw std::invalid_argument("duration does not fit a 64-bit count");
    }
    std::int64_t n = static_cast<std::int64_t>(quociente);
    if (n < 1) n = 1;
    return std::to_string(n) + std::string(unidade);
}

}  // namespace kivo::Rotulos
