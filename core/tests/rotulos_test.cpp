#include "kivo/rotulos.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "rotulos_interno.hpp"
#include "unicode.hpp"

namespace kivo {
namespace {

using std::nullopt;
using Opt = std::optional<std::string>;

const std::string kAcento = "\u0301";  // combining acute accent
const std::string kReticencias = "\u2026";

std::string repetir(const std::string& s, int n) {
    std::string r;
    for (int k = 0; k < n; ++k) r += s;
    return r;
}

// --- Activity and request phrases

TEST(Trabalho, TabelaDeFerramentas) {
    const struct {
        Opt ferramenta;
        std::string esperado;
    } casos[] = {
        {nullopt, "Trabalhando"},
        {"", "Trabalhando"},
        {"bash", "Trabalhando"},
        {"Bash ", "Trabalhando"},
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
        {"AskUserQuestion", "Trabalhando"},
        {"Desconhecida", "Trabalhando"},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.ferramenta.value_or("(ausente)"));
        EXPECT_EQ(Rotulos::trabalho(c.ferramenta), c.esperado);
    }
}

TEST(Pedido, TabelaDeFerramentas) {
    const struct {
        Opt ferramenta;
        std::string esperado;
    } casos[] = {
        {nullopt, "continuar"},
        {"", "continuar"},
        {"Bash", "rodar um comando"},
        {"Edit", "editar um arquivo"},
        {"MultiEdit", "editar um arquivo"},
        {"Write", "editar um arquivo"},
        {"NotebookEdit", "editar um arquivo"},
        {"Read", "ler um arquivo"},
        {"WebFetch", "abrir uma página"},
        {"WebSearch", "pesquisar na web"},
        // Known to trabalho only: the name itself.
        {"Grep", "usar Grep"},
        {"Glob", "usar Glob"},
        {"Agent", "usar Agent"},
        {"Task", "usar Task"},
        {"TodoWrite", "usar TodoWrite"},
        {"Skill", "usar Skill"},
        {"ToolSearch", "usar ToolSearch"},
        {"bash", "usar bash"},
        {" ", "usar  "},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.ferramenta.value_or("(ausente)"));
        EXPECT_EQ(Rotulos::pedido(c.ferramenta), c.esperado);
    }
}

// Both phrases of MCP tools, through the server label.
TEST(ServidorMcp, TrabalhoEPedido) {
    const struct {
        const char* rotulo;
        std::string ferramenta;
        Opt servidor;  // nullopt: not an MCP tool name
    } casos[] = {
        {"tabela", "mcp__terminal__run", "o terminal"},
        {"sem nome de ferramenta", "mcp__terminal", "o terminal"},
        {"chrome", "mcp__claude-in-chrome__tab", "o Chrome"},
        {"mac", "mcp__computer-use__click", "o Mac"},
        {"ads", "mcp__google-ads__x", "o Google Ads"},
        {"visual", "mcp__visualize__x", "um visual"},
        {"tabela antes de trocar _", "mcp__Claude_Browser__abrir", "o navegador"},
        {"tabela exata", "mcp__Terminal__x", "Terminal"},
        {"hifen e sublinhado", "mcp__my-server_x__t", "my server x"},
        {"so o primeiro __ conta", "mcp__a__b__c", "a"},
        {"tres sublinhados", "mcp___x__y", " x"},
        {"sem fusao de espacos", "mcp__a--b__t", "a  b"},
        {"identificador", "mcp__0123abcd-ffff__t", "um conector"},
        {"identificador curto", "mcp__0123abcd-", "um conector"},
        {"hex maiusculo", "mcp__0123ABCD-9f__t", "0123ABCD 9f"},
        {"sete digitos", "mcp__0123abc-9f__t", "0123abc 9f"},
        {"nove digitos", "mcp__0123abcd0-9f__t", "0123abcd0 9f"},
        {"g nao e hex", "mcp__0123abcg-9f__t", "0123abcg 9f"},
        {"ccd_", "mcp__ccd_abc__t", "o app"},
        {"ccd_ partido pelo __", "mcp__ccd___t", "ccd"},
        {"so ccd_", "mcp__ccd_", "o app"},
        {"ccd sem sublinhado", "mcp__ccd-x__t", "ccd x"},
        {"identificador antes de ccd_", "mcp__ccd_0000-x__t", "o app"},
        {"acento fora das trocas", "mcp__caf\u00e9_x__t", "caf\u00e9 x"},
        {"so o prefixo", "mcp__", nullopt},
        {"servidor vazio", "mcp____t", nullopt},
        {"servidor vazio no fim", "mcp____", nullopt},
        {"prefixo maiusculo", "MCP__terminal__x", nullopt},
        {"espaco antes", " mcp__terminal__x", nullopt},
        {"um sublinhado", "mcp_terminal__x", nullopt},
        // Literal tests match only on character boundaries.
        {"prefixo com acento", "mcp__" + kAcento + "x", nullopt},
        {"_ com acento nao e trocado", "mcp__a_" + kAcento + "b__t", "a_" + kAcento + "b"},
        {"- com acento nao e trocado", "mcp__a-" + kAcento + "b-c", "a-" + kAcento + "b c"},
        {"__ com acento nao separa", "mcp__x__" + kAcento + "y", "x _" + kAcento + "y"},
        {"ccd_ com acento", "mcp__ccd_" + kAcento + "x", "ccd_" + kAcento + "x"},
        {"servidor so com acento", "mcp__x" + kAcento + "__t", "x" + kAcento},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.rotulo);
        EXPECT_EQ(Rotulos::interno::servidorMcp(c.ferramenta), c.servidor);
        EXPECT_EQ(Rotulos::trabalho(c.ferramenta), c.servidor ? "Usando " + *c.servidor : "Trabalhando");
        EXPECT_EQ(Rotulos::pedido(c.ferramenta), "usar " + c.servidor.value_or(c.ferramenta));
    }
}

// The identifier rule is written by hand; it must agree with the regular expression.
TEST(ServidorMcp, IdentificadorComoARegex) {
    const texto::Regex regex("^[0-9a-f]{8}-");
    const std::string amostras[] = {"0123abcd-", "0123abcd-x", "0123abcd", "0123abcdx", "0123abcD-",
                                    "a0123abcd-", "ffffffff--", "\u00e9123abcd-", "0123abc\u00e9-",
                                    "99999999-" + kAcento, " 0123abcd-"};
    for (const auto& servidor : amostras) {
        SCOPED_TRACE(servidor);
        const bool conector = Rotulos::interno::servidorMcp("mcp__" + servidor) == Opt("um conector");
        EXPECT_EQ(conector, regex.busca(servidor));
    }
}

// --- Notifications

TEST(Notificacao, Regras) {
    const std::string longa91 = repetir("x", 91);
    const struct {
        const char* rotulo;
        Opt mensagem;
        std::string esperado;
    } casos[] = {
        {"ausente", nullopt, "Precisa de você"},
        {"vazia", "", "Precisa de você"},
        {"Bash", "Claude needs your permission to use Bash", "Quer permissão para rodar um comando"},
        {"ponto final", "Claude needs your permission to use WebFetch.",
         "Quer permissão para abrir uma página"},
        {"MCP", "Claude needs your permission to use mcp__terminal__run",
         "Quer permissão para usar o terminal"},
        {"nada depois", "Claude needs your permission to use ", "Quer permissão para continuar"},
        {"so pontuacao depois", "permission to use .!. \n", "Quer permissão para continuar"},
        {"aparar pontuacao e linhas", "permission to use \u2028 .Read!.\u00a0\r\n",
         "Quer permissão para ler um arquivo"},
        {"tab nao e aparado", "permission to use Bash\t", "Quer permissão para usar Bash\t"},
        {"ferramenta desconhecida", "permission to use Grep", "Quer permissão para usar Grep"},
        {"primeira ocorrencia", "permission to use Bash, permission to use Read",
         "Quer permissão para usar Bash, permission to use Read"},
        {"permissao vence espera", "waiting for your input: permission to use Bash",
         "Quer permissão para rodar um comando"},
        {"P maiusculo", "Permission to use Bash", "Permission to use Bash"},
        {"P maiusculo e espera", "Permission to use Bash, waiting for your input", "Esperando sua resposta"},
        {"sem espaco final", "needs permission to use", "needs permission to use"},
        {"espaco com acento", "permission to use " + kAcento + "Bash", "permission to use " + kAcento + "Bash"},
        {"ponto com acento no comeco", "permission to use ." + kAcento + "Bash",
         "Quer permissão para usar ." + kAcento + "Bash"},
        {"espera", "Claude is waiting for your input", "Esperando sua resposta"},
        {"espera em maiusculas", "Claude Is Waiting For Your Input!", "Esperando sua resposta"},
        // Matches end on character boundaries, not on word boundaries.
        {"espera com sufixo", "waiting for your inputs", "Esperando sua resposta"},
        {"espera com acento", "waiting for your input" + kAcento, "waiting for your input" + kAcento},
        {"outra mensagem", "  Task finished  ", "  Task finished  "},
        {"longa", longa91, repetir("x", 89) + kReticencias},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.rotulo);
        EXPECT_EQ(Rotulos::notificacao(c.mensagem), c.esperado);
    }
}

// The long-text cut, seen through notificacao (which does nothing else to these texts).
TEST(Notificacao, CorteEm90Caracteres) {
    const std::string e = "e" + kAcento;  // one character, two code points
    const struct {
        const char* rotulo;
        std::string mensagem;
        std::string esperado;
    } casos[] = {
        {"90 fica", repetir("a", 90), repetir("a", 90)},
        {"90 com espacos nas pontas fica", " " + repetir("a", 88) + " ", " " + repetir("a", 88) + " "},
        {"91 corta", repetir("a", 91), repetir("a", 89) + kReticencias},
        {"corte que termina em espaco", repetir("a", 88) + "  bbbb", repetir("a", 88) + kReticencias},
        {"corte que termina em tab e NBSP", repetir("a", 87) + "\t\u00a0bbbb", repetir("a", 87) + kReticencias},
        {"espacos no comeco", "   " + repetir("a", 95), repetir("a", 86) + kReticencias},
        {"linha no fim nao e aparada", repetir("a", 88) + "\nbbb", repetir("a", 88) + "\n" + kReticencias},
        {"90 acentuados", repetir(e, 90), repetir(e, 90)},
        {"91 acentuados", repetir(e, 91), repetir(e, 89) + kReticencias},
        {"89 mais um acentuado", repetir("a", 89) + e, repetir("a", 89) + e},
        {"acento no 89", repetir("a", 88) + e + "bb", repetir("a", 88) + e + kReticencias},
        {"espaco com acento no 89", repetir("a", 88) + " " + kAcento + "bb",
         repetir("a", 88) + " " + kAcento + kReticencias},
        {"CR LF conta um", repetir("a", 88) + "\r\nb", repetir("a", 88) + "\r\nb"},
        {"emoji", repetir("\U0001F44D\U0001F3FD", 91), repetir("\U0001F44D\U0001F3FD", 89) + kReticencias},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.rotulo);
        const std::string r = Rotulos::notificacao(c.mensagem);
        EXPECT_EQ(r, c.esperado);
        EXPECT_LE(texto::contarGrafemas(r), 90u);
    }
}

// --- Summary of the last reply

TEST(Resumo, PrimeiraLinhaSemMarkdown) {
    const struct {
        const char* rotulo;
        Opt texto;
        Opt esperado;
    } casos[] = {
        {"ausente", nullopt, nullopt},
        {"vazio", "", nullopt},
        {"so brancos e marcas", " \n**\n\t``\r\n> \n#", nullopt},
        {"titulo vence", "## Resumo\n\nCorrigi o bug.", "Resumo"},
        {"numero e negrito", "1. O token **expirava** cedo", "O token expirava cedo"},
        {"ponto grosso", "\u2022 resto da linha", "resto da linha"},
        {"hifen colado", "-palavra", "palavra"},
        {"link no item", "- [auth.ts](src/auth.ts)", "auth.ts"},
        {"negrito na primeira palavra", "**Pronto** para revisar", "Pronto para revisar"},
        {"link no titulo", "# [Guia](http://x) rapido", "Guia rapido"},
        {"citacao", ">  dito", "dito"},
        {"hashtag", "#tag", "tag"},
        {"um marcador so", "- - item", "- item"},
        {"tracos", "---", "--"},
        {"numero sem ponto", "12 itens", "12 itens"},
        {"numero decimal", "12.5 graus", "5 graus"},
        {"marcador antes dos asteriscos", "**1.** texto", "1. texto"},
        {"links antes do marcador", "[1.](x) texto", "texto"},
        {"link dentro de negrito", "* [**Bold**](u) resto", "Bold resto"},
        {"dois links", "[a](b) e [c](d)", "a e c"},
        {"link vazio fica", "[](x) y", "[](x) y"},
        {"sem parenteses fica", "[a] (b)", "[a] (b)"},
        {"colchete aninhado", "[a[b](c)", "a[b"},
        {"crases", "use `npm test`", "use npm test"},
        {"outro markdown fica", "__sub__ ~~x~~ <b>", "__sub__ ~~x~~ <b>"},
        {"espacos em volta", " \t- item  \t", "item"},
        {"NBSP em volta", "\u00a0Oi\u3000", "Oi"},
        {"CR LF", "\r\n\r\nOi", "Oi"},
        {"separador de linha", "\u2028Oi\u2029tchau", "Oi"},
        {"NEL separa", "a\u0085b", "a"},
        {"tab vertical separa", "a\vb", "a"},
        {"digito arabe", "\u0661\u0662. item", "item"},
        {"acentos e negrito", "\u00c9 **f\u00e1cil**", "\u00c9 f\u00e1cil"},
        {"marcador acentuado", "\u2022\u00a0ol\u00e1", "ol\u00e1"},
        {"link acentuado", "- [ma\u00e7\u00e3](x)", "ma\u00e7\u00e3"},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.rotulo);
        EXPECT_EQ(Rotulos::resumo(c.texto), c.esperado);
    }
}

TEST(Resumo, CorteDepoisDoMarkdown) {
    // The cut counts what is left after the Markdown is gone.
    EXPECT_EQ(Rotulos::resumo("**" + repetir("a", 90) + "**"), Opt(repetir("a", 90)));
    EXPECT_EQ(Rotulos::resumo("- " + repetir("a", 88) + " bbb"), Opt(repetir("a", 88) + kReticencias));
    const std::string e = "e" + kAcento;
    EXPECT_EQ(Rotulos::resumo("# " + repetir(e, 90)), Opt(repetir(e, 90)));
    EXPECT_EQ(Rotulos::resumo("# " + repetir(e, 91)), Opt(repetir(e, 89) + kReticencias));
}

// The three regular expressions, applied as written.
std::string limparComRegex(const std::string& linha) {
    static const texto::Regex link(R"(\[([^\]]+)\]\([^)]*\))");
    static const texto::Regex marcador(R"(^(#+|>|[-*•]|\d+\.)\s*)");
    static const texto::Regex enfase("[*`]");
    return enfase.trocarTodos(marcador.trocarTodos(link.trocarTodos(linha, "$1"), ""), "");
}

std::vector<std::string> linhasGeradas(const std::vector<std::string>& pecas, int quantas) {
    std::mt19937 gerador(20240611);
    std::uniform_int_distribution<std::size_t> tamanho(0, 14);
    std::uniform_int_distribution<std::size_t> peca(0, pecas.size() - 1);
    std::vector<std::string> linhas;
    for (int k = 0; k < quantas; ++k) {
        std::string linha;
        for (std::size_t n = tamanho(gerador); n > 0; --n) linha += pecas[peca(gerador)];
        linhas.push_back(std::move(linha));
    }
    return linhas;
}

// The hand-written path gives what the regular expressions give, on ASCII lines and
// on lines with digits, spaces and bullets from elsewhere in Unicode.
TEST(Resumo, CaminhoRapidoIgualAoIcu) {
    const std::vector<std::string> pecas = {
        "[", "]", "(", ")", "#", "##", ">", "-", "*", "**", "`", ".", "0", "7", "42", " ", "  ",
        "\t", "a", "bc", "_", "!", "\\", "](", "[x", "x]", "1.", "\x01", "\x7f", "\v", "\f"};
    int iguais = 0;
    for (const auto& linha : linhasGeradas(pecas, 30000)) {
        ASSERT_EQ(Rotulos::interno::limparLinhaRapida(linha), limparComRegex(linha)) << '"' << linha << '"';
        ++iguais;
    }
    EXPECT_EQ(iguais, 30000);
    const std::vector<std::string> unicode = {
        "[", "]", "(", ")", "#", ">", "-", "*", "`", ".", "3", " ", "\t", "a", "\u2022", "\u00e9",
        "e\u0301", "\u0661", "\u0967", "\u00a0", "\u3000", "\u2003", "\U0001F44D", "\uff11",
        "\u00bd", "\u2160", "\u180e", "\u200b", "\u2022\u0301", "#\u0301", "\u0663.", "\u1680"};
    for (const auto& linha : linhasGeradas(unicode, 30000)) {
        ASSERT_EQ(Rotulos::interno::limparLinhaRapida(linha), limparComRegex(linha)) << '"' << linha << '"';
    }
}

// The ICU path skips a regular expression only when it cannot match.
TEST(Resumo, CaminhoIcuIgualAsRegex) {
    const std::vector<std::string> pecas = {
        "[", "]", "(", ")", "#", ">", "-", "*", "`", ".", "3", " ", "\t", "a", "\u2022", "\u00e9",
        "e\u0301", "\u0661", "\u0967", "\u00a0", "\u3000", "\u2003", "\U0001F44D", "\uff11"};
    for (const auto& linha : linhasGeradas(pecas, 20000)) {
        ASSERT_EQ(Rotulos::interno::limparLinhaIcu(linha), limparComRegex(linha)) << '"' << linha << '"';
    }
}

// Invalid UTF-8 never makes a text builder fail, and the results keep their shape.
TEST(Textos, UtfInvalidoNaoFalha) {
    const std::string invalidos[] = {"\xff", "\xC3", "mcp__\xC3", "mcp__a\xE2\x80__t", "\xC2\x85x",
                                     "permission to use \xE2\x80", "**\xff** [\xfe](x)", "\xED\xA0\x80",
                                     repetir("\xe9", 95), repetir("a\xCC", 95), "\xE2\x80\xA8\xE2\x80"};
    for (const auto& s : invalidos) {
        SCOPED_TRACE(s);
        EXPECT_FALSE(Rotulos::trabalho(s).empty());
        EXPECT_FALSE(Rotulos::pedido(s).empty());
        EXPECT_FALSE(Rotulos::notificacao(s).empty());
        const Opt r = Rotulos::resumo(s);
        EXPECT_TRUE(!r || !r->empty());
    }
    EXPECT_EQ(Rotulos::notificacao(repetir("\xe9", 95)), repetir("\xe9", 89) + kReticencias);
}

// --- Status and durations

TEST(DoEstado, PorEstado) {
    const struct {
        Estado estado;
        Opt detalhe;
        std::string esperado;
    } casos[] = {
        {Estado::ocioso, nullopt, "Esperando você"},
        {Estado::ocioso, "Rodando um comando", "Esperando você"},
        {Estado::trabalhando, nullopt, "Trabalhando"},
        {Estado::trabalhando, "Lendo arquivos", "Lendo arquivos"},
        {Estado::trabalhando, "", ""},
        {Estado::atencao, nullopt, "Precisa de você"},
        {Estado::atencao, "Tem uma pergunta pra você", "Tem uma pergunta pra você"},
        {Estado::feito, nullopt, "Pronto"},
        {Estado::feito, "Resumo", "Pronto: Resumo"},
        {Estado::feito, "", "Pronto: "},
        {Estado::erro, nullopt, "Parou com erro"},
        {Estado::erro, "Falhou", "Falhou"},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(std::string(nomeDe(c.estado)) + " / " + c.detalhe.value_or("(ausente)"));
        const Sessao s{.id = "s", .cwd = "/p", .estado = c.estado, .detalhe = c.detalhe};
        EXPECT_EQ(Rotulos::doEstado(s), c.esperado);
    }
}

TEST(Tempo, Faixas) {
    const struct {
        double segundos;
        const char* esperado;
    } casos[] = {
        {-1e9, "agora"},
        {-0.0, "agora"},
        {0, "agora"},
        {44.9, "agora"},
        {45, "1 min"},
        {59.99, "1 min"},
        {119, "1 min"},
        {120, "2 min"},
        {3599, "59 min"},
        {3599.999, "59 min"},
        {3600, "1 h"},
        {7199, "1 h"},
        {86399, "23 h"},
        {86400, "1 d"},
        {86400 * 1.99, "1 d"},
        {86400 * 365.0, "365 d"},
        {std::ldexp(86400.0, 62), "4611686018427387904 d"},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.segundos);
        EXPECT_EQ(Rotulos::tempo(c.segundos), c.esperado);
    }
}

TEST(Tempo, ForaDoContratoLanca) {
    const double invalidos[] = {std::nan(""), std::numeric_limits<double>::infinity(),
                                -std::numeric_limits<double>::infinity(), std::ldexp(86400.0, 63),
                                std::numeric_limits<double>::max()};
    for (double s : invalidos) {
        SCOPED_TRACE(s);
        EXPECT_THROW(Rotulos::tempo(s), std::invalid_argument);
    }
}

}  // namespace
}  // namespace kivo
