#include "kivo/regras.hpp"

#include <gtest/gtest.h>

namespace kivo {
namespace {

Contexto em(double agora) { return Contexto{.agora = agora}; }

TEST(Aplicar, FimDeSessaoApaga) {
    const EventoGancho fim{.nome = "SessionEnd", .sessaoId = "s"};
    EXPECT_EQ(aplicar(fim, std::nullopt, em(5)), Acao::apagar());
    const Sessao s{.id = "s", .cwd = "/p", .atualizado = 10, .mudouEstadoEm = 10};
    EXPECT_EQ(aplicar(fim, s, em(5)), Acao::apagar());
}

TEST(Aplicar, PrimeiroPreToolUse) {
    const EventoGancho e{.nome = "PreToolUse", .sessaoId = "s", .cwd = "/p", .ferramenta = "Bash",
                         .ferramentaId = "t1"};
    const Sessao esperado{.id = "s", .cwd = "/p", .estado = Estado::trabalhando,
                          .detalhe = "Rodando um comando", .atualizado = 7, .mudouEstadoEm = 7,
                          .ferramentaId = "t1", .faseFerramenta = 0};
    EXPECT_EQ(aplicar(e, std::nullopt, em(7)), Acao::gravar(esperado));
}

}  // namespace
}  // namespace kivo
