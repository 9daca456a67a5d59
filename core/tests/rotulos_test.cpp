// The phrases shown for a session: tools, notifications, a reply's first line, states and ages.
#include "kivo/rotulos.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <stdexcept>
#include <vector>

#include "rotulos_interno.hpp"
#include "unicode.hpp"

namespace kivo {
namespace {
using std::nullopt;
using Opt = std::optional<std::string>;

const std::string kAc = "\u0301";  // combining acute accent
const std::string kRet = "\u2026";

std::string vezes(const std::string& s, int n) { return n > 0 ? s + vezes(s, n - 1) : ""; }

TEST(Frases, TrabalhoEPedidoPorFerramenta) {
    const std::tuple<Opt, const char*, const char*> casos[] = {
        {nullopt, "Trabalhando", "continuar"}, {"", "Trabalhando", "continuar"}, {"bash", "Trabalhando", "usar bash"},
        {"Grep", "Procurando no código", "usar Grep"}, {"Bash ", "Trabalhando", "usar Bash "}};
    for (const auto& [ferramenta, trabalho, pedido] : casos) {
        EXPECT_EQ(Rotulos::trabalho(ferramenta), trabalho) << ferramenta.value_or("(ausente)");
        EXPECT_EQ(Rotulos::pedido(ferramenta), pedido) << ferramenta.value_or("(ausente)");
    }
}

// MCP tools are named by their server; names that are not MCP's get the plain phrase.
// Literal tests match only on character boundaries.
TEST(Frases, ServidorMcp) {
    const std::pair<std::string, std::string> casos[] = {
        {"mcp__terminal__run", "Usando o terminal"}, {"mcp__claude-in-chrome", "Usando o Chrome"},
        {"mcp__Terminal__x", "Usando Terminal"}, {"mcp__my-server_x__t", "Usando my server x"},
        {"mcp__a__b__c", "Usando a"}, {"mcp__0123abcd-ffff__t", "Usando um conector"},
        {"mcp__9a8b7c6d-", "Usando um conector"}, {"mcp__0123abc-9f__t", "Usando 0123abc 9f"},
        {"mcp__0123abcg-9f__t", "Usando 0123abcg 9f"}, {"mcp__0123abcD-9f__t", "Usando 0123abcD 9f"},
        {"mcp__a0123abcd-", "Usando a0123abcd "}, {"mcp__ccd_abc__t", "Usando o app"}, {"mcp__ccd___t", "Usando ccd"},
        {"mcp__", "Trabalhando"}, {"mcp____t", "Trabalhando"}, {"MCP__terminal__x", "Trabalhando"},
        {"mcp__" + kAc + "x", "Trabalhando"},
        {"mcp__a_" + kAc + "b-" + kAc + "c-d", "Usando a_" + kAc + "b-" + kAc + "c d"},
        {"mcp__x__" + kAc + "y", "Usando x _" + kAc + "y"}, {"mcp__ccd_" + kAc + "x", "Usando ccd_" + kAc + "x"}};
    for (const auto& [ferramenta, trabalho] : casos) EXPECT_EQ(Rotulos::trabalho(ferramenta), trabalho) << ferramenta;
    EXPECT_EQ(Rotulos::pedido("mcp__terminal__run"), "usar o terminal");
    EXPECT_EQ(Rotulos::pedido("mcp____t"), "usar mcp____t");
}

// Permission and waiting messages, then texts longer than 90 characters: they keep 89, trimmed of spaces, and "…".
TEST(Notificacao, RegrasECorteEm90) {
    const std::string e = "e" + kAc, a88(88, 'a'), quer = "Quer permissão para ";
    const std::pair<Opt, std::string> casos[] = {
        {nullopt, "Precisa de você"}, {"", "Precisa de você"},
        {"Claude needs your permission to use mcp__terminal__run", quer + "usar o terminal"},
        {"needs your permission to use .!. \n", quer + "continuar"},
        {"permission to use \u2028 .!Read!.\u00a0\r\n", quer + "ler um arquivo"},
        {"permission to use .\u00e9", quer + "usar \u00e9"},
        {"permission to use Grep, permission to use Read", quer + "usar Grep, permission to use Read"},
        {"waiting for your input: permission to use Bash", quer + "rodar um comando"},
        {"Permission to use Bash", "Permission to use Bash"},
        {"permission to use ." + kAc + "Bash", quer + "usar ." + kAc + "Bash"},
        {"Claude Is Waiting For Your Inputs!", "Esperando sua resposta"},
        {std::string(90, 'a'), std::string(90, 'a')}, {std::string(91, 'a'), std::string(89, 'a') + kRet},
        {std::string(87, 'a') + "\t\u00a0 bbbb", std::string(87, 'a') + kRet}, {a88 + "\nbbb", a88 + "\n" + kRet},
        {vezes(e, 91), vezes(e, 89) + kRet}, {a88 + " " + kAc + "bb", a88 + " " + kAc + kRet},
        {a88 + "\r\nb", a88 + "\r\nb"}, {std::string(95, '\xe9'), std::string(89, '\xe9') + kRet}};
    for (const auto& [mensagem, esperado] : casos)
        EXPECT_EQ(Rotulos::notificacao(mensagem), esperado) << mensagem.value_or("-");
}

TEST(Resumo, PrimeiraLinhaSemMarkdown) {
    const std::string e = "e" + kAc;
    const std::pair<Opt, Opt> casos[] = {
        {nullopt, nullopt}, {"", nullopt}, {" \n**\n\t``\r\n> \n#", nullopt}, {"## Resumo\n\nCorrigi.", "Resumo"},
        {"1. O token **expirava** cedo", "O token expirava cedo"}, {"# [Guia](http://x) rapido", "Guia rapido"},
        {"\u00a0\t- Oi\u3000", "Oi"}, {"\r\rOi\rtchau", "Oi"}, {"\u2028Oi\u2029tchau", "Oi"},
        {"\u0085a\u0085b\vc", "a"}, {"\u0661\u0662. item", "item"}, {"\u2022\u00a0ol\u00e1", "ol\u00e1"},
        // The cut counts what is left after the Markdown is gone.
        {"**" + std::string(90, 'a') + "**", std::string(90, 'a')}, {"# " + vezes(e, 91), vezes(e, 89) + kRet}};
    for (const auto& [texto, esperado] : casos) EXPECT_EQ(Rotulos::resumo(texto), esperado) << texto.value_or("-");
}

// The hand-written and ICU paths give what the three regular expressions give, on ASCII lines and on lines with digits,
// spaces and bullets from elsewhere in Unicode: the Markdown rules are checked here, the table above only picks lines.
TEST(Resumo, CaminhosIguaisAsRegex) {
    const texto::Regex link(R"(\[([^\]]+)\]\([^)]*\))"), marcador(R"(^(#+|>|[-*•]|\d+\.)\s*)"), enfase("[*`]");
    const std::vector<std::string> pecas[] = {
        {"[", "]", "(", ")", "#", "##", ">", "-", "*", "**", "`", ".", "0", "7", "42", " ", "\t", "a", "\\", "](",
         "1.", "\x01", "\v"},
        {"[", "]", "(", ")", "#", ">", "-", "*", "`", ".", "3", " ", "a", "\u2022", "\u00e9", "e\u0301", "\u0661",
         "\u00a0", "\u3000", "\U0001F44D", "\uff11", "\u00bd", "\u180e", "\u2022\u0301", "\u0663.", "\u1680"}};
    std::mt19937 gerador(20240611);
    for (const auto& p : pecas) {
        for (int k = 0; k < 15000; ++k) {
            std::string linha;
            for (auto n = gerador() % 15; n > 0; --n) linha += p[gerador() % p.size()];
            const auto esperado = enfase.trocarTodos(marcador.trocarTodos(link.trocarTodos(linha, "$1"), ""), "");
            ASSERT_EQ(Rotulos::interno::limparLinhaRapida(linha), esperado) << '"' << linha << '"';
            ASSERT_EQ(Rotulos::interno::limparLinhaIcu(linha), esperado) << '"' << linha << '"';
        }
    }
    // Text that is not UTF-8 never gives an empty phrase nor a failure.
    for (const std::string s : {"\xff", "mcp__a\xE2\x80__t", "permission to use \xE2\x80", "**\xff** [\xfe](x)"}) {
        EXPECT_FALSE(Rotulos::trabalho(s).empty() || Rotulos::pedido(s).empty() || Rotulos::notificacao(s).empty());
        EXPECT_NE(Rotulos::resumo(s), Opt("")) << s;
    }
}

TEST(DoEstadoETempo, Faixas) {
    const std::tuple<Estado, Opt, const char*> estados[] = {
        {Estado::trabalhando, nullopt, "Trabalhando"}, {Estado::atencao, nullopt, "Precisa de você"},
        {Estado::atencao, "Abra", "Abra"}, {Estado::feito, nullopt, "Pronto"}, {Estado::feito, "", "Pronto: "}};
    for (const auto& [estado, detalhe, esperado] : estados)
        EXPECT_EQ(Rotulos::doEstado(Sessao{.estado = estado, .detalhe = detalhe}), esperado) << nomeDe(estado);
    const std::pair<double, const char*> tempos[] = {
        {-1e9, "agora"}, {44.9, "agora"}, {45, "1 min"}, {119, "1 min"}, {120, "2 min"}, {3599.9, "59 min"},
        {3600, "1 h"}, {86399, "23 h"}, {86400 * 1.99, "1 d"}, {std::ldexp(86400.0, 62), "4611686018427387904 d"}};
    for (const auto& [segundos, esperado] : tempos) EXPECT_EQ(Rotulos::tempo(segundos), esperado) << segundos;
    for (double s : {std::nan(""), -std::numeric_limits<double>::infinity(), std::ldexp(86400.0, 63)})
        EXPECT_THROW(Rotulos::tempo(s), std::invalid_argument) << s;
}
}  // namespace
}  // namespace kivo
