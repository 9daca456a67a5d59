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

TEST(Linha, SessaoDaEntrada) {
    EXPECT_EQ(kivo::app::sessaoDaEntrada(R"({"session_id":"abc","cwd":"/x"})"), "abc");
    for (const char* ruim : {"", "{", "[]", R"({"session_id":7})", R"({"cwd":"/x"})", "{\"session_id\":\"a\xFF\"}"})
        EXPECT_EQ(kivo::app::sessaoDaEntrada(ruim), std::nullopt) << ruim;
}
}  // namespace
