#include "apresentacao/pasta.hpp"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/erros.hpp"
#include "base/texto.hpp"

namespace kivo::app {

namespace {

// "de ana" for a file of another account; "" for this one's.
std::string dono(uid_t uid) {
    if (uid == geteuid()) return "";
    const passwd* p = getpwuid(uid);
    return p ? std::string(p->pw_name) : "uid " + std::to_string(uid);
}

std::optional<ProblemaDaPasta> semLer(const std::filesystem::path& pasta, int erro, const std::string& nome) {
    ProblemaDaPasta p{.mensagem = "n\u00E3o consegui ler " + nome + ": " + erroDoSistema(erro),
                      .conserto = "confira KIVO_DIR e as permiss\u00F5es da pasta",
                      .curta = "sem acesso a " + nome,
                      .grave = true};
    struct stat info {};
    if ((erro == EACCES || erro == EPERM) && stat(pasta.c_str(), &info) == 0) {
        if (const std::string outro = dono(info.st_uid); !outro.empty()) {
            p.conserto = "a pasta pertence a " + outro + "; use uma sua (KIVO_DIR) ou pe\u00E7a acesso a quem \u00E9 dono dela";
        } else {
            p.conserto = "a pasta \u00E9 sua: chmod 700 " + nome;
        }
    }
    return p;
}

}  // namespace

std::optional<ProblemaDaPasta> problemaDaPasta(const std::filesystem::path& base, const char* kivoDir) {
    const std::string nome = limpo(base.string());
    if (kivoDir && kivoDir[0] == '~') {
        const std::string resto = limpo(kivoDir + 1);
        return ProblemaDaPasta{
            .mensagem = "KIVO_DIR \u00E9 \"" + limpo(kivoDir) + "\", com um ~ que o shell n\u00E3o expandiu (entre aspas ele fica como est\u00E1)",
            .conserto = "use KIVO_DIR=\"$HOME" + resto + "\"",
            .curta = "KIVO_DIR come\u00E7a com ~",
            .grave = true};
    }
    struct stat info {};
    if (stat(base.c_str(), &info) != 0) {
        if (errno == ENOENT) {
            return ProblemaDaPasta{.mensagem = nome + " n\u00E3o existe",
                                   .conserto = kivoDir && *kivoDir ? "confira KIVO_DIR, ou rode `kivo instalar`"
                                                                   : "rode `kivo instalar`",
                                   .curta = "sem a pasta " + nome};
        }
        return semLer(base, errno, nome);
    }
    if (!S_ISDIR(info.st_mode)) {
        return ProblemaDaPasta{.mensagem = nome + " n\u00E3o \u00E9 uma pasta",
                               .conserto = "confira KIVO_DIR",
                               .curta = nome + " n\u00E3o \u00E9 pasta",
                               .grave = true};
    }
    if (access(base.c_str(), R_OK | X_OK) != 0) return semLer(base, errno, nome);
    const std::filesystem::path sessoes = base / "sessoes";
    if (stat(sessoes.c_str(), &info) != 0) {
        return errno == ENOENT ? std::nullopt : semLer(sessoes, errno, limpo(sessoes.string()));
    }
    if (!S_ISDIR(info.st_mode)) return semLer(sessoes, ENOTDIR, limpo(sessoes.string()));
    if (access(sessoes.c_str(), R_OK | X_OK) != 0) return semLer(sessoes, errno, limpo(sessoes.string()));
    return std::nullopt;
}

}  // namespace kivo::app
