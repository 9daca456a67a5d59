// kivo limpar: what goes, what stays, and a record refreshed while the clean-up runs.
#include "limpar.hpp"

#include <gtest/gtest.h>
#include <sys/time.h>

#include <set>
#include <string>

#include "kivo/armazem.hpp"
#include "kivo/tempos.hpp"
#include "pastas.hpp"

namespace fs = std::filesystem;
using kivo::Sessao;
using kivo::app::Limpeza;

namespace {

constexpr double agora = 1765000000;
constexpr std::int32_t morto = 4242;

Sessao sessao(const std::string& id, double parado, std::optional<std::int32_t> pid = std::nullopt) {
    Sessao s;
    s.id = id;
    s.cwd = "/home/ana/" + id;
    s.atualizado = s.mudouEstadoEm = agora - parado;
    s.pid = pid;
    return s;
}

bool vivo(std::int32_t pid) { return pid != morto; }

class Limpar : public ::testing::Test {
protected:
    void SetUp() override {
        const kivo::Armazem armazem(pasta());
        armazem.gravar(sessao("velha", kivo::Tempos::sessaoVelha + 1));
        armazem.gravar(sessao("quase-velha", kivo::Tempos::sessaoVelha));  // "longer than": stays
        armazem.gravar(sessao("sem-processo", kivo::app::carenciaProcesso + 1, morto));
        armazem.gravar(sessao("acabou-de-morrer", kivo::app::carenciaProcesso, morto));
        armazem.gravar(sessao("viva", 3600, 1));
        temporario(".viva.json.0123456789abcdef.tmp", 120);  // a killed hook's
        temporario(".viva.json.fedcba9876543210.tmp", 10);   // perhaps being written
        temporario("notas.json.tmp", 120);                   // not the store's
    }

    fs::path pasta() const { return pasta_.raiz() / "sessoes"; }

    void temporario(const std::string& nome, double idade) const {
        const fs::path p = pasta() / nome;
        kivo::teste::escrever(p, "{");
        const time_t t = static_cast<time_t>(agora - idade);
        const timeval quando[2] = {{t, 0}, {t, 0}};
        utimes(p.c_str(), quando);
    }

    kivo::teste::PastaTemporaria pasta_;
};

std::set<std::string> removidos(const Limpeza& l) {
    std::set<std::string> ids;
    for (const auto& r : l.registros) ids.insert(r.sessao.id);
    for (const auto& t : l.temporarios) ids.insert(t);
    return ids;
}

TEST_F(Limpar, ApagaSoOQueAsVistasDeixamDeFora) {
    const std::set<std::string> esperados = {"velha", "sem-processo", ".viva.json.0123456789abcdef.tmp"};
    const std::set<std::string> todos = kivo::teste::nomesEm(pasta());

    const Limpeza mostrar = kivo::app::limpar(pasta(), agora, vivo, true);
    EXPECT_EQ(removidos(mostrar), esperados);
    EXPECT_EQ(kivo::teste::nomesEm(pasta()), todos);  // --mostrar removes nothing
    const std::string texto = kivo::app::relatorio(mostrar, agora, true);
    EXPECT_NE(texto.find("Apagaria 2 registros de sess\u00E3o:\n"), std::string::npos) << texto;
    EXPECT_NE(texto.find("  - sem-processo (sem-processo): o processo do agente acabou (\u00FAltima novidade h\u00E1 2 min)\n"),
              std::string::npos)
        << texto;
    EXPECT_NE(texto.find("  - velha (velha): sem novidade h\u00E1 12 h\n"), std::string::npos) << texto;

    const Limpeza feita = kivo::app::limpar(pasta(), agora, vivo, false);
    EXPECT_EQ(removidos(feita), esperados);
    EXPECT_EQ(kivo::teste::nomesEm(pasta()),
              (std::set<std::string>{".trava", "quase-velha.json", "acabou-de-morrer.json", "viva.json",
                                     ".viva.json.fedcba9876543210.tmp", "notas.json.tmp"}));
    EXPECT_TRUE(kivo::app::limpar(pasta(), agora, vivo, false).registros.empty());

    const Limpeza nada = kivo::app::limpar("/nao/existe/sessoes", agora, vivo, false);
    EXPECT_TRUE(nada.registros.empty() && nada.temporarios.empty());
    EXPECT_EQ(kivo::app::relatorio(nada, agora, false).rfind("Nada a limpar", 0), 0u);
}

// A hook refreshes a record after the listing judged it, before the locked update:
// judged again under the lock, it stays.
TEST_F(Limpar, RegistroRenovadoDepoisDaListagemFica) {
    bool renovado = false;
    const auto vivoQueRenova = [&](std::int32_t pid) {
        if (!renovado) {
            renovado = true;
            kivo::Armazem(pasta()).gravar(sessao("sem-processo", 0, morto));
        }
        return vivo(pid);
    };
    const Limpeza l = kivo::app::limpar(pasta(), agora, vivoQueRenova, false);
    ASSERT_TRUE(renovado);
    EXPECT_EQ(removidos(l), (std::set<std::string>{"velha", ".viva.json.0123456789abcdef.tmp"}));
    const auto ficou = kivo::Armazem(pasta()).ler("sem-processo");
    ASSERT_TRUE(ficou.has_value());
    EXPECT_EQ(ficou->atualizado, agora);
}

}  // namespace
