#include "instalar/troca.hpp"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "arquivos.hpp"
#include "base/erros.hpp"

namespace kivo::app {

namespace fs = std::filesystem;

namespace {

// New files (the copy, the replacement) get the old file's mode and, for root, owner.
arquivos::Gravacao gravacaoComo(const Leitura& antes) {
    arquivos::Gravacao g{.duravel = true};
    if (antes.existe) {
        g.modo = antes.info.st_mode & 07777;
        g.modoExato = true;  // never more than the old file had
        g.comDono = true;
        g.uid = antes.info.st_uid;
        g.gid = antes.info.st_gid;
    }
    return g;
}

std::string carimbo(std::time_t agora) {
    tm local{};
    localtime_r(&agora, &local);
    char t[32];
    const std::size_t n = strftime(t, sizeof t, "%Y%m%d-%H%M%S", &local);
    return std::string(t, n);
}

// Whether the file is still the one read: same inode, size and modification time.
bool mesmoArquivo(const fs::path& alvo, const Leitura& antes) {
    struct stat agora {};
    if (lstat(alvo.c_str(), &agora) != 0) return !antes.existe && errno == ENOENT;
    if (!antes.existe) return false;
#ifdef __APPLE__
    const bool mesmaHora = agora.st_mtimespec.tv_sec == antes.info.st_mtimespec.tv_sec &&
                           agora.st_mtimespec.tv_nsec == antes.info.st_mtimespec.tv_nsec;
#else
    const bool mesmaHora = agora.st_mtim.tv_sec == antes.info.st_mtim.tv_sec &&
                           agora.st_mtim.tv_nsec == antes.info.st_mtim.tv_nsec;
#endif
    return agora.st_ino == antes.info.st_ino && agora.st_dev == antes.info.st_dev &&
           agora.st_size == antes.info.st_size && mesmaHora;
}

}  // namespace

// Copies the previous file beside it, as "<name>.kivo-backup-YYYYmmdd-HHMMSS" (with
// "-2", "-3"... when that name is taken). Returns the copy's path.
fs::path guardarCopia(const fs::path& alvo, const Leitura& antes, std::time_t agora) {
    const arquivos::Copia c =
        arquivos::copiar(alvo.string() + ".kivo-backup-" + carimbo(agora), antes.texto, gravacaoComo(antes));
    if (c.erro == EEXIST) throw FormaInvalida("n\u00E3o achei um nome livre para a c\u00F3pia de " + alvo.string());
    if (c.erro != 0) {
        throw FormaInvalida("n\u00E3o consegui guardar a c\u00F3pia " + c.caminho + ": " + erroDoSistema(c.erro));
    }
    return c.caminho;
}

// Replaces the file atomically, provided it is still the one read (Claude Code writes
// it too). False, with nothing changed, when it is not.
bool substituir(const fs::path& alvo, std::string_view conteudo, const Leitura& antes,
                const std::function<void()>& antesDeTrocar) {
    const fs::path pasta = alvo.has_parent_path() ? alvo.parent_path() : fs::path(".");
    const arquivos::Troca t =
        arquivos::substituir(pasta.string(), alvo.filename().string(), conteudo, gravacaoComo(antes), [&] {
            if (antesDeTrocar) antesDeTrocar();
            return mesmoArquivo(alvo, antes);
        });
    if (t.desistiu) return false;
    if (t.erro != 0 && t.aoRenomear) {
        throw FormaInvalida("n\u00E3o consegui substituir " + alvo.string() + ": " + erroDoSistema(t.erro));
    }
    if (t.erro != 0) throw FormaInvalida("n\u00E3o consegui gravar em " + pasta.string() + ": " + erroDoSistema(t.erro));
    return true;
}

// A file the user cannot or should not replace: read-only (no write permission for
// anyone, or not for us), or someone else's.
void conferirPermissao(const fs::path& alvo, const Leitura& antes) {
    if (!antes.existe) return;
    if (geteuid() != 0 && antes.info.st_uid != geteuid()) {
        const passwd* dono = getpwuid(antes.info.st_uid);
        const std::string quem = dono ? std::string(dono->pw_name) : "o uid " + std::to_string(antes.info.st_uid);
        throw FormaInvalida(alvo.string() + " pertence a " + quem +
                            ", n\u00E3o a voc\u00EA; rode o comando como " + quem +
                            ", ou aponte CLAUDE_CONFIG_DIR (ou --arquivo) para um arquivo seu");
    }
    if ((antes.info.st_mode & 0222) == 0 || access(alvo.c_str(), W_OK) != 0) {
        throw FormaInvalida(alvo.string() + " \u00E9 s\u00F3 de leitura; para deixar o kivo mud\u00E1-lo, "
                            "d\u00EA permiss\u00E3o de escrita (chmod u+w) e rode de novo");
    }
}

}  // namespace kivo::app
