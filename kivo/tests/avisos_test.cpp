// Which news become notices: the level, a quick reply, a session in sight, and each
// change once across views (the memory beside the records).
#include "apresentacao/avisos.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pastas.hpp"

using kivo::Estado;
using kivo::Novidade;
using kivo::app::NivelDeAvisos;

namespace {
kivo::Sessao sessao(const std::string& id, Estado e, double t) {
    return {.id = id, .cwd = "/home/ana/" + id, .estado = e, .atualizado = t, .mudouEstadoEm = t};
}

// Each row: a session seen working from `inicio`, then what it became at 100.
TEST(Avisos, SoOQueImporta) {
    struct Caso { NivelDeAvisos nivel; double inicio; Estado fim; bool olhando; bool avisa; };
    const Caso casos[] = {
        {.nivel = NivelDeAvisos::importantes, .inicio = 85, .fim = Estado::feito, .olhando = false, .avisa = false},
        {.nivel = NivelDeAvisos::importantes, .inicio = 80, .fim = Estado::feito, .olhando = false, .avisa = true},
        {.nivel = NivelDeAvisos::importantes, .inicio = 99, .fim = Estado::atencao, .olhando = false, .avisa = true},
        {.nivel = NivelDeAvisos::importantes, .inicio = 99, .fim = Estado::erro, .olhando = false, .avisa = true},
        {.nivel = NivelDeAvisos::importantes, .inicio = 10, .fim = Estado::erro, .olhando = true, .avisa = false},
        {.nivel = NivelDeAvisos::todos, .inicio = 99, .fim = Estado::feito, .olhando = true, .avisa = true},
        {.nivel = NivelDeAvisos::nenhum, .inicio = 10, .fim = Estado::erro, .olhando = false, .avisa = false}};
    for (const Caso& c : casos) {
        SCOPED_TRACE(::testing::Message() << static_cast<int>(c.nivel) << " desde " << c.inicio << " olhando " << c.olhando);
        kivo::app::Avisos avisos(c.nivel, {}, [&](const kivo::Sessao&) { return c.olhando; });
        EXPECT_TRUE(avisos.escolher({sessao("loja", Estado::ocioso, 1)}, {}, 1).empty());
        // A request in the middle does not restart the work.
        for (const Estado e : {Estado::trabalhando, Estado::atencao, Estado::trabalhando}) {
            const kivo::Sessao s = sessao("loja", e, c.inicio + (e == Estado::trabalhando ? 0 : 0.5));
            avisos.escolher({s}, {}, c.inicio);
        }
        const kivo::Sessao fim = sessao("loja", c.fim, 100);
        const Novidade n = c.fim == Estado::feito ? Novidade::terminou(fim)
                           : c.fim == Estado::erro ? Novidade::errou(fim) : Novidade::chamou(fim);
        EXPECT_EQ(avisos.escolher({fim}, {n}, 100).size(), c.avisa ? 1u : 0u);
    }
}

// Two views share the memory: the second gets nothing for the same change, both get
// the next change; what is older than 12 hours is forgotten.
TEST(Avisos, UmaVezEntreAsVistas) {
    kivo::teste::PastaTemporaria pasta;
    const auto memoria = kivo::app::pastaDosAvisos(pasta.raiz() / "sessoes");
    const Novidade chamou = Novidade::chamou(sessao("loja\n", Estado::atencao, 50));
    EXPECT_TRUE(kivo::app::reivindicarAviso(memoria, chamou, 60));
    EXPECT_FALSE(kivo::app::reivindicarAviso(memoria, chamou, 61));
    EXPECT_TRUE(kivo::app::reivindicarAviso(memoria, Novidade::chamou(sessao("loja\n", Estado::atencao, 70)), 71));
    EXPECT_TRUE(kivo::app::reivindicarAviso(memoria, chamou, 61 + 12 * 3600));
    EXPECT_EQ(std::filesystem::status(memoria).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_all);
}
}  // namespace
