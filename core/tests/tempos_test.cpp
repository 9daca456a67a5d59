#include "kivo/tempos.hpp"

#include <gtest/gtest.h>

namespace kivo {
namespace {

constexpr double agora = 1765000000;

TEST(EstadoEfetivo, LimitesEstritosContadosDeAtualizado) {
    struct Caso {
        const char* descricao;
        Estado guardado;
        double idade;         // agora - atualizado
        double desdeMudanca;  // agora - mudouEstadoEm
        Estado esperado;
    } casos[] = {
        {"trabalhando exatamente no limite", Estado::trabalhando, 1200, 1200, Estado::trabalhando},
        {"trabalhando meio segundo depois", Estado::trabalhando, 1200.5, 1200.5, Estado::ocioso},
        {"atencao usa o limite de 1800, nao 1200", Estado::atencao, 1500, 1500, Estado::atencao},
        {"atencao exatamente no limite", Estado::atencao, 1800, 1800, Estado::atencao},
        {"atencao um segundo depois", Estado::atencao, 1801, 1801, Estado::ocioso},
        {"feito no limite", Estado::feito, 600, 600, Estado::feito},
        {"feito passado o limite", Estado::feito, 601, 601, Estado::ocioso},
        {"erro no limite", Estado::erro, 600, 600, Estado::erro},
        {"erro passado o limite", Estado::erro, 601, 601, Estado::ocioso},
        {"ocioso recente", Estado::ocioso, 0, 0, Estado::ocioso},
        {"ocioso antigo", Estado::ocioso, 1e9, 1e9, Estado::ocioso},
        // A state change that is recent does not extend the limit...
        {"atencao com mudanca recente", Estado::atencao, 1801, 1, Estado::ocioso},
        // ...and an old change does not shorten it.
        {"trabalhando com mudanca antiga", Estado::trabalhando, 10, 5000, Estado::trabalhando},
        {"feito com mudanca antiga", Estado::feito, 10, 5000, Estado::feito},
        // atualizado after agora: a clock set back keeps every state.
        {"trabalhando no futuro", Estado::trabalhando, -5000, -5000, Estado::trabalhando},
        {"atencao no futuro", Estado::atencao, -5000, -5000, Estado::atencao},
        {"feito no futuro", Estado::feito, -5000, -5000, Estado::feito},
        {"erro no futuro", Estado::erro, -5000, -5000, Estado::erro},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.descricao);
        const Sessao s{.id = "s",
                       .cwd = "/p",
                       .estado = c.guardado,
                       .detalhe = "Rodando um comando",
                       .atualizado = agora - c.idade,
                       .mudouEstadoEm = agora - c.desdeMudanca};
        EXPECT_EQ(estadoEfetivo(s, agora), c.esperado);
    }
}

}  // namespace
}  // namespace kivo
