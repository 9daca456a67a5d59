// kivo painel: the text for fixed records at a fixed moment.
#include "terminal/painel.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "kivo/armazem.hpp"
#include "pastas.hpp"

using kivo::Estado;
using kivo::Sessao;
using kivo::app::desenharPainel;
using kivo::app::OpcoesPainel;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {
constexpr double agora = 1765000000;

Sessao sessao(const std::string& cwd, Estado estado, std::optional<std::string> detalhe, double atualizadoHa,
              double mudouHa, std::optional<std::int32_t> pid = std::nullopt) {
    return {.id = cwd.substr(cwd.rfind('/') + 1), .cwd = cwd, .estado = estado, .detalhe = detalhe,
            .atualizado = agora - atualizadoHa, .mudouEstadoEm = agora - mudouHa, .pid = pid};
}

// Six sessions in listing order, one of each kind the panel must tell apart.
std::vector<Sessao> registros() {
    Sessao site = sessao("/home/ana/site", Estado::feito, "Corrigi o login", 120, 120);
    site.titulo = "Corrige login";
    return {sessao("/home/ana/docs", Estado::erro, "Parou com erro", 3 * 86400 + 100, 3 * 86400 + 100), site,
            sessao("/srv/api-3f9a2c1", Estado::trabalhando, "Rodando um comando", 10, 300, 222),
            sessao("/home/ana/velha", Estado::trabalhando, "Lendo arquivos", 1300, 4000),
            sessao("/home/ana/projetos/loja-virtual", Estado::atencao, "Tem uma pergunta pra voc\u00EA", 30, 30, 111),
            sessao("/home/ana/bot", Estado::erro, std::nullopt, 50, 50)};
}

// Process 222 has ended; every other one runs.
const OpcoesPainel semCores{.processoVivo = [](std::int32_t pid) { return pid != 222; }};

// The lines of the sessions, below the face and the blank line.
std::string linhas(const std::vector<Sessao>& sessoes, const OpcoesPainel& o = semCores,
                   const kivo::app::Consumos& consumos = {}) {
    const std::string texto = desenharPainel(sessoes, agora, o, consumos);
    return texto.substr(texto.find("\n\n") + 2);
}

// In display order: atencao, trabalhando, erro, feito, then the sessions whose time
// limit has passed (shown as idle), the most recently updated first.
TEST(Painel, RegistrosFixosNumMomentoFixo) {
    const std::string esperado = "  (O.O)!  Um agente precisa de voc\u00EA.\n\n"
        "  ! loja-virtual \u2014 Tem uma pergunta pra voc\u00EA \u00B7 agora\n"
        "  ~ api \u2014 Rodando um comando \u00B7 h\u00E1 5 min (processo encerrado)\n"
        "  \u2717 bot \u2014 Parou com erro \u00B7 h\u00E1 1 min\n"
        "  \u2713 site \u00B7 Corrige login \u2014 Pronto: Corrigi o login \u00B7 h\u00E1 2 min\n"
        "  \u00B7 velha \u2014 Esperando voc\u00EA \u00B7 h\u00E1 1 h\n";
    const kivo::teste::PastaTemporaria raiz;
    const std::filesystem::path pasta = raiz.raiz() / "sessoes";
    EXPECT_EQ(kivo::app::painel(pasta, agora, semCores),  // the folder does not exist yet
              "  (-.-) zZ  Tudo quieto: nenhum agente trabalhando.\n\n  Nenhuma sess\u00E3o por aqui ainda. Depois de "
              "`kivo instalar`, cada sess\u00E3o do Claude Code aparece nesta lista; `kivo verificar` confere a "
              "instala\u00E7\u00E3o.\n");
    for (const Sessao& s : registros()) kivo::Armazem(pasta).gravar(s);
    EXPECT_EQ(kivo::app::painel(pasta, agora, semCores), esperado);
    EXPECT_EQ(desenharPainel(registros(), agora, {.processoVivo = semCores.processoVivo, .todas = true}),
              esperado + "  \u00B7 docs \u2014 Esperando voc\u00EA \u00B7 h\u00E1 3 d\n");  // three days old
    // Without a process test nothing has ended.
    EXPECT_THAT(desenharPainel(registros(), agora, OpcoesPainel{}), Not(HasSubstr("encerrado")));
    // Colours by state, the whole line painted, on a terminal unless NO_COLOR has a value.
    EXPECT_TRUE(kivo::app::usarCores(true, "") && !kivo::app::usarCores(true, "1") && !kivo::app::usarCores(false, ""));
    const std::string cores =
        desenharPainel(registros(), agora, {.cores = true, .processoVivo = semCores.processoVivo});
    for (const char* inicio :
         {"\n\x1b[1;33m  ! loja-virtual \u2014 Tem uma pergunta pra voc\u00EA \u00B7 agora\x1b[0m\n",
          "\n\x1b[1;31m  \u2717 bot ", "\n\x1b[32m  \u2713 site ", "\n\x1b[36m  ~ api ", "\n\x1b[2m  \u00B7 velha "})
        EXPECT_THAT(cores, HasSubstr(inicio));
}

// The name gives way first; the mark, the status and the age are never cut (narrower, they
// go below it: processo_test's terminal and --largura at its minimum).
TEST(Painel, CabeNaLargura) {
    Sessao longa = sessao("/home/ana/api-de-pagamentos-com-um-nome-bem-comprido", Estado::atencao,
                          "Quer permiss\u00E3o para rodar um comando", 30, 30);
    longa.titulo = "Corrigir a fila de reembolsos";
    const std::pair<int, const char*> casos[] = {
        {120, "  ! api-de-pagamentos-com-um-nome-bem-comprido \u00B7 Corrigir a fila de reem\u2026 \u2014 "
         "Quer permiss\u00E3o para rodar um comando \u00B7 agora\n"},
        {80, "  ! api-de-pagamentos-com-um-nom\u2026 \u2014 Quer permiss\u00E3o para rodar um comando \u00B7 agora\n"}};
    for (const auto& [largura, esperadas] : casos)
        EXPECT_EQ(linhas({longa}, {.processoVivo = semCores.processoVivo, .largura = largura}), esperadas) << largura;
}

// What the status line told: the context is never cut; the model gives way first,
// then the cost, then the name (the whole line, and the total, are processo_test's).
TEST(Painel, ContextoModeloECusto) {
    Sessao longa = sessao("/home/ana/api-de-pagamentos-com-um-nome-bem-comprido", Estado::atencao,
                          "Quer permiss\u00E3o para rodar um comando", 30, 30);
    longa.titulo = "Corrigir a fila de reembolsos";
    const kivo::app::Consumos consumos = {{longa.id, {"Opus 4.8 (1M context)", 78.2, 4.366}}};
    const std::string nome = "  ! api-de-pagamentos-com-um-nome-bem-comprido \u00B7 Corrigir a fila ";
    const std::string situacao = " \u2014 Quer permiss\u00E3o para rodar um comando \u00B7 agora \u00B7 78%";
    const std::pair<int, std::string> casos[] = {
        {160, nome + "de reembolsos" + situacao + " \u00B7 Opus 4.8 (1M c\u2026 \u00B7 US$ 4,37\n"},
        {142, nome + "de reembolsos" + situacao + " \u00B7 US$ 4,37\n"},
        {120, nome + "d\u2026" + situacao + "\n"},
        {40, "  ! api-de-pagamentos-com-um-nome-bem-c\u2026\n    Quer permiss\u00E3o para rodar um comando\n"
             "    \u00B7 agora \u00B7 78%\n"},
    };
    for (const auto& [largura, esperadas] : casos) {
        SCOPED_TRACE(largura);
        EXPECT_EQ(linhas({longa}, {false, semCores.processoVivo, largura}, consumos),
                  esperadas + "\n  US$ 4,37 nas sess\u00F5es abertas\n");
    }
}

TEST(Painel, TextoDoAgenteNaoComandaOTerminal) {
    Sessao s = sessao("/home/ana/\x1b[2Jprojeto", Estado::trabalhando, "a\x1b]0;t\x07\nb\u009b31m", 5, 5);
    s.titulo = "t\x7f\tz";
    EXPECT_EQ(linhas({s}), "  ~  [2Jprojeto \u00B7 t  z \u2014 a ]0;t  b 31m \u00B7 agora\n");
}

// 0 and negative ids name process groups, never one process that has ended.
TEST(Painel, ProcessoExiste) {
    EXPECT_TRUE(kivo::app::processoExiste(static_cast<std::int32_t>(getpid())));
    EXPECT_FALSE(kivo::app::processoExiste(INT32_MAX));  // past any pid the system gives
    EXPECT_TRUE(kivo::app::processoExiste(0) && kivo::app::processoExiste(-1));
}

// The mood's sentence counts the sessions behind it (the singular as before); two
// sessions that would read the same get where their agent runs, else their id's start.
TEST(Painel, ContaEDistingueAsIguais) {
    const auto na = [](std::string id, Estado e, std::optional<std::string> origem = std::nullopt) {
        Sessao s = sessao("/home/ana/loja", e, "Feito", 1, 1);
        s.id = std::move(id);
        s.origem = std::move(origem);
        return s;
    };
    struct Caso {
        const char* nome;
        std::vector<Sessao> sessoes;
        std::vector<std::string> trechos;  // parts of the panel
    };
    const Caso casos[] = {
        {.nome = "tr\u00EAs chamando, iguais",
         .sessoes = {na("aaaaaa11", Estado::atencao), na("bbbbbb22", Estado::atencao), na("cccccc33", Estado::atencao)},
         .trechos = {"(O.O)!  3 agentes precisam de voc\u00EA.\n", "! loja #aaaaaa \u2014", "! loja #cccccc \u2014"}},
        {.nome = "dois com erro, em lugares diferentes",
         .sessoes = {na("a", Estado::erro, "cli"), na("b", Estado::erro, "vscode"), na("c", Estado::feito)},
         .trechos = {"(x.x)  2 agentes pararam com erro.\n", "loja (cli) \u2014", "loja (vscode) \u2014", "\u2713 loja #c \u2014"}},
        {.nome = "dois prontos", .sessoes = {na("a", Estado::feito), na("b", Estado::feito)},
         .trechos = {"Pronto! 2 agentes terminaram.\n"}},
        {.nome = "um s\u00F3", .sessoes = {na("a", Estado::atencao)},
         .trechos = {"(O.O)!  Um agente precisa de voc\u00EA.\n", "! loja \u2014"}},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.nome);
        const std::string texto = desenharPainel(c.sessoes, agora, semCores);
        for (const std::string& t : c.trechos) EXPECT_THAT(texto, ::testing::HasSubstr(t));
    }
}

}  // namespace
