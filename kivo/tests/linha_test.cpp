// kivo linha: the line for fixed records, in each style and width.
#include "terminal/linha.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using kivo::Estado;
using kivo::app::Estilo;

namespace {
constexpr double agora = 1765000000;

kivo::Sessao sessao(const std::string& cwd, Estado e, const std::string& detalhe, double ha = 5) {
    const double t = agora - ha;
    return {.id = cwd, .cwd = cwd, .estado = e, .detalhe = detalhe, .atualizado = t, .mudouEstadoEm = t};
}

std::string linha(const std::vector<kivo::Sessao>& sessoes, int largura, kivo::app::OpcoesLinha o = {}) {
    o.largura = largura;
    return kivo::app::desenharLinha(sessoes, agora, o);
}

// Texts made safe (tmux's # doubled), counts by state, an old record out of view.
TEST(Linha, EstilosEContagens) {
    const std::vector<kivo::Sessao> sessoes = {
        sessao("/p/#1-proj\u202E\x1b[2J", Estado::atencao, "Tem uma pergunta\n#[fg=red]"),
        sessao("/p/b", Estado::trabalhando, "Lendo"), sessao("/p/c", Estado::trabalhando, "Lendo"),
        sessao("/p/d", Estado::feito, "Ok", 60), sessao("/p/e", Estado::erro, "Parou"),
        sessao("/p/f", Estado::feito, "Ok", 13 * 3600)};
    EXPECT_EQ(linha(sessoes, 80),
              "(O.O)! \u00B7 #1-proj [2J: Tem uma pergunta #[fg=red] \u00B7 1 com erro \u00B7 2 trabalhando\n");
    EXPECT_EQ(linha(sessoes, 200, {.estilo = Estilo::tmux}),
              "#[fg=yellow,bold](O.O)!#[default] \u00B7 #[fg=yellow,bold]##1-proj [2J: Tem uma pergunta "
              "##[fg=red]#[default] \u00B7 #[fg=red,bold]1 com erro#[default] \u00B7 #[fg=cyan]2 "
              "trabalhando#[default] \u00B7 #[fg=green]1 pronto#[default]\n");
    // Without the asking session.
    EXPECT_EQ(linha(sessoes, 200, {.estilo = Estilo::ansi, .esta = "/p/#1-proj\u202E\x1b[2J"}),
              "\x1b[1;33m(O.O)!\x1b[0m \u00B7 \x1b[1;31m1 com erro\x1b[0m \u00B7 \x1b[36m2 trabalhando\x1b[0m "
              "\u00B7 \x1b[32m1 pronto\x1b[0m\n");
    EXPECT_EQ(linha({}, 80), "(-.-) zZ\n");
    // Two that would read the same are told apart.
    std::vector<kivo::Sessao> iguais(3, sessao("/p/loja", Estado::atencao, "Quer"));
    iguais[0].id = "aaaaaaa1", iguais[1].id = "bbbbbbb2", iguais[2].id = "ccccccc3";
    EXPECT_EQ(linha(iguais, 200), "(O.O)! \u00B7 loja #aaaaaa: Quer \u00B7 loja #bbbbbb: Quer \u00B7 loja #cccccc: Quer\n");
}

TEST(Linha, LarguraDe) {
    const std::vector<kivo::Sessao> sessoes = {
        sessao("/p/loja", Estado::atencao, "Quer permiss\u00E3o para rodar um comando", 5),
        sessao("/p/api", Estado::atencao, "Tem uma pergunta pra voc\u00EA", 6),
        sessao("/p/c", Estado::trabalhando, "Lendo")};
    const std::pair<int, const char*> casos[] = {
        {120,
         "(O.O)! \u00B7 loja: Quer permiss\u00E3o para rodar um comando \u00B7 api: Tem uma pergunta pra voc\u00EA "
         "\u00B7 1 trabalhando\n"},
        {80, "(O.O)! \u00B7 loja: Quer permiss\u00E3o para rodar um comando \u00B7 +1 chamando\n"},
        {40, "(O.O)! \u00B7 loja: Quer permi\u2026 \u00B7 +1 chamando\n"}, {4, "(O.\u2026\n"}, {1, "\u2026\n"}};
    for (const auto& [largura, esperada] : casos) EXPECT_EQ(linha(sessoes, largura), esperada) << largura;
}

// Another session about to run out of context says so (between the calls and the
// counts); those warnings give way first, and no file is read when none could fit.
TEST(Linha, ContextoQuaseCheio) {
    const std::vector<kivo::Sessao> sessoes = {sessao("/p/loja", Estado::atencao, "Quer permiss\u00E3o"),
                                               sessao("/p/api", Estado::trabalhando, "Lendo"),
                                               sessao("/p/site", Estado::feito, "Ok")};
    const kivo::app::Consumos consumos = {
        {"/p/loja", {.contexto = 95}}, {"/p/api", {.contexto = 91.6}}, {"/p/site", {.contexto = 89.4, .custo = 3}}};
    const std::string loja = "loja: Quer permiss\u00E3o", cheia = "loja 95% do contexto";
    const struct { int largura; std::optional<std::string> esta; std::string meio; bool lidos; } casos[] = {
        {.largura = 101, .meio = loja + " \u00B7 " + cheia + " \u00B7 api 92% do contexto", .lidos = true},
        {.largura = 100, .meio = loja + " \u00B7 " + cheia, .lidos = true},
        {.largura = 75, .meio = loja, .lidos = false},
        {.largura = 200, .esta = "/p/loja", .meio = "api 92% do contexto", .lidos = true},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.largura);
        bool lidos = false;
        const auto ler = [&] { return lidos = true, consumos; };
        EXPECT_EQ(kivo::app::desenharLinha(sessoes, agora, {.largura = c.largura, .esta = c.esta}, ler),
                  "(O.O)! \u00B7 " + c.meio + " \u00B7 1 trabalhando \u00B7 1 pronto\n");
        EXPECT_EQ(lidos, c.lidos);
    }
}
}  // namespace
