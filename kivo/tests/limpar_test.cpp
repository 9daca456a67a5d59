// kivo limpar: what goes, what stays, and a record refreshed while the clean-up runs.
#include "apresentacao/limpar.hpp"
#include "apresentacao/registros.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/time.h>

#include <set>
#include <string>

#include "apresentacao/espelho.hpp"
#include "kivo/armazem.hpp"
#include "kivo/tempos.hpp"
#include "pastas.hpp"

namespace fs = std::filesystem;
using kivo::Sessao;
using kivo::app::Limpeza;

namespace {
constexpr double agora = 1765000000;
constexpr std::int32_t morto = 4242;

const auto vivo = [](std::int32_t pid) { return pid != morto; };

void gravar(const fs::path& pasta, const std::string& id, double parado, std::optional<std::int32_t> pid = {}) {
    kivo::Armazem(pasta).gravar({.id = id, .cwd = "/home/ana/" + id, .estado = kivo::Estado::ocioso,
                                 .atualizado = agora - parado, .mudouEstadoEm = agora - parado, .pid = pid});
}

// Each limit exactly and one past it ("longer than": at the limit it stays), and three
// temporary files: a killed hook's, one perhaps being written, one not the store's.
class Limpar : public ::testing::Test {
protected:
    void SetUp() override {
        gravar(pasta_, "velha", kivo::Tempos::sessaoVelha + 1);
        gravar(pasta_, "quase-velha", kivo::Tempos::sessaoVelha);
        gravar(pasta_, "sem-processo", kivo::app::carenciaProcesso + 1, morto);
        gravar(pasta_, "acabou-de-morrer", kivo::app::carenciaProcesso, morto);
        gravar(pasta_, "viva", 3600, 1);
        for (const auto& [nome, idade] : {std::pair{".viva.json.0123456789abcdef.tmp", 120},
                                          {".viva.json.fedcba9876543210.tmp", 10}, {"notas.json.tmp", 120}}) {
            kivo::teste::escrever(pasta_ / nome, "{");
            const timeval quando{static_cast<time_t>(agora - idade), 0}, tempos[2] = {quando, quando};
            utimes((pasta_ / nome).c_str(), tempos);
        }
    }
    kivo::teste::PastaTemporaria raiz_;
    fs::path pasta_ = raiz_.raiz() / "sessoes";
};

std::set<std::string> removidos(const Limpeza& l) {
    std::set<std::string> ids(l.temporarios.begin(), l.temporarios.end());
    for (const auto& r : l.registros) ids.insert(r.sessao.id);
    return ids;
}

TEST_F(Limpar, ApagaSoOQueAsVistasDeixamDeFora) {
    const std::set<std::string> esperados = {"velha", "sem-processo", ".viva.json.0123456789abcdef.tmp"};
    const std::set<std::string> todos = kivo::teste::nomesEm(pasta_);
    const Limpeza mostrar = kivo::app::limpar(pasta_, agora, vivo, true);
    EXPECT_EQ(removidos(mostrar), esperados);
    EXPECT_EQ(kivo::teste::nomesEm(pasta_), todos);  // --mostrar removes nothing
    EXPECT_THAT(kivo::app::relatorio(mostrar, agora, true),
                ::testing::HasSubstr("Apagaria 2 registros de sess\u00E3o:\n  - sem-processo (sem-processo): o "
                                     "processo do agente acabou (\u00FAltima novidade h\u00E1 2 min)\n  - velha "
                                     "(velha): sem novidade h\u00E1 12 h\n"));
    EXPECT_EQ(removidos(kivo::app::limpar(pasta_, agora, vivo, false)), esperados);
    EXPECT_EQ(kivo::teste::nomesEm(pasta_),
              (std::set<std::string>{".trava", "quase-velha.json", "acabou-de-morrer.json", "viva.json",
                                     ".viva.json.fedcba9876543210.tmp", "notas.json.tmp"}));
    EXPECT_TRUE(kivo::app::limpar(pasta_, agora, vivo, false).registros.empty());
    const Limpeza nada = kivo::app::limpar("/nao/existe/sessoes", agora, vivo, false);
    EXPECT_TRUE(nada.registros.empty() && nada.temporarios.empty());
    EXPECT_THAT(kivo::app::relatorio(nada, agora, false), ::testing::StartsWith("Nada a limpar"));
}

// A hook refreshes a record after the listing judged it, before the locked update:
// judged again under the lock, it stays.
TEST_F(Limpar, RegistroRenovadoDepoisDaListagemFica) {
    bool renovado = false;
    const auto vivoQueRenova = [&](std::int32_t pid) {
        if (!renovado) gravar(pasta_, "sem-processo", 0, morto);
        renovado = true;
        return vivo(pid);
    };
    const Limpeza l = kivo::app::limpar(pasta_, agora, vivoQueRenova, false);
    ASSERT_TRUE(renovado);
    EXPECT_EQ(removidos(l), (std::set<std::string>{"velha", ".viva.json.0123456789abcdef.tmp"}));
    EXPECT_EQ(kivo::Armazem(pasta_).ler("sem-processo").value_or(Sessao{}).atualizado, agora);
}
// A record goes by its own id whatever the size of its texts; one whose id is longer
// than the views read is in no view, so it stays.
TEST(LimparRegistroEnorme, ApagaPeloIdDoRegistro) {
    kivo::teste::PastaTemporaria raiz;
    const fs::path pasta = raiz.raiz() / "sessoes";
    const std::string grande(2 * kivo::app::kTextoLido, 't');
    const double parado = agora - kivo::Tempos::sessaoVelha - 1;
    for (const std::string& id : {std::string("enorme"), std::string(kivo::app::kTextoLido + 1, 'i')}) {
        kivo::Armazem(pasta).gravar({.id = id, .cwd = "/home/ana/" + grande, .titulo = grande,
                                     .estado = kivo::Estado::ocioso, .atualizado = parado, .mudouEstadoEm = parado});
    }
    EXPECT_EQ(removidos(kivo::app::limpar(pasta, agora, vivo, false)), std::set<std::string>{"enorme"});
    EXPECT_EQ(kivo::teste::nomesEm(pasta), (std::set<std::string>{".trava", std::string(100, 'i') + ".json"}));
}
}  // namespace

namespace {

// A mirrored machine silent for longer than an old session is forgotten; one heard
// from within that time stays, whatever its connection.
TEST_F(Limpar, EsqueceOEspelhoDeUmaMaquinaSemContatoHaMaisDe12h) {
    const fs::path espelhos = kivo::app::pastaDosEspelhos(pasta_);
    for (const auto& [nome, silencio] : {std::pair{"gpu-box", kivo::Tempos::sessaoVelha + 1},
                                         {"dev", kivo::Tempos::sessaoVelha}}) {
        ASSERT_TRUE(kivo::app::gravarMaquina(espelhos, {.nome = nome, .contato = agora - silencio, .conectado = true}));
    }
    const Limpeza mostrar = kivo::app::limpar(pasta_, agora, vivo, true);
    EXPECT_EQ(mostrar.maquinas, std::vector<std::string>{"gpu-box"});
    EXPECT_THAT(kivo::app::relatorio(mostrar, agora, true),
                ::testing::HasSubstr("Esqueceria o espelho de uma m\u00E1quina sem contato h\u00E1 mais de 12 h:\n"
                                     "  - gpu-box\n"));
    kivo::app::limpar(pasta_, agora, vivo, false);
    EXPECT_EQ(kivo::teste::nomesEm(espelhos), std::set<std::string>{"dev.json"});
}

}  // namespace
