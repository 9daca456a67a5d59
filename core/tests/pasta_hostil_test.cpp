// The store in a folder someone else prepared: a link planted as the lock file, and
// who may read the folders the store creates itself.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "kivo/acao.hpp"
#include "kivo/armazem.hpp"
#include "pastas.hpp"

namespace fs = std::filesystem;

namespace kivo {
namespace {
Acao gravarNova(const std::optional<Sessao>&) {
    return Acao::gravar(Sessao{.id = "s1", .cwd = "/p", .estado = Estado::trabalhando, .atualizado = 1, .mudouEstadoEm = 1});
}

TEST(TravaPlantada, NaoSegueOLinkEAtualizaMesmoAssim) {
    for (const bool alvoExiste : {false, true}) {
        SCOPED_TRACE(alvoExiste ? "alvo existente" : "alvo ausente");
        teste::PastaTemporaria t;
        const fs::path pasta = t.raiz() / "sessoes", alvo = t.raiz() / "fora.txt";
        fs::create_directories(pasta);
        if (alvoExiste) teste::escrever(alvo, "intocado");
        fs::create_symlink(alvo, pasta / ".trava");
        Armazem(pasta).atualizar("s1", gravarNova);
        EXPECT_EQ(fs::exists(alvo) ? teste::conteudo(alvo) : "ausente", alvoExiste ? "intocado" : "ausente");
        EXPECT_TRUE(fs::is_symlink(pasta / ".trava"));
        EXPECT_TRUE(Armazem(pasta).ler("s1")) << "the update goes on without the lock";
    }
}

fs::perms permissoes(const fs::path& p) { return fs::status(p).permissions() & fs::perms::all; }

TEST(PastasCriadas, SaoSoDoDono) {
    teste::PastaTemporaria t;
    const fs::path base = t.raiz() / "dados", existente = t.raiz() / "aberta";
    const fs::perms aberta = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                             fs::perms::others_read | fs::perms::others_exec;
    fs::create_directories(existente);
    fs::permissions(existente, aberta);
    const mode_t antes = ::umask(022);
    Armazem(base / "sessoes").atualizar("s1", gravarNova);
    Armazem(existente / "sessoes").gravar(*gravarNova(std::nullopt).sessao);
    ::umask(antes);
    EXPECT_EQ(permissoes(base), fs::perms::owner_all);
    EXPECT_EQ(permissoes(base / "sessoes"), fs::perms::owner_all);
    EXPECT_EQ(permissoes(existente / "sessoes"), fs::perms::owner_all);
    EXPECT_EQ(permissoes(existente), aberta) << "a folder that exists is left as it is";
}
}  // namespace
}  // namespace kivo
