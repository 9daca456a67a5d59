#include "terminal/notificacao.hpp"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string_view>

extern char** environ;

namespace kivo::app {

namespace {

// More pending notifications than this means the daemon is stuck: stop adding more.
constexpr std::size_t maximoPendentes = 8;

std::string semMarcacao(std::string_view texto) {
    std::string saida;
    for (const char c : texto) {
        switch (c) {
            case '&': saida += "&amp;"; break;
            case '<': saida += "&lt;"; break;
            case '>': saida += "&gt;"; break;
            default: saida += c;
        }
    }
    return saida;
}

[[maybe_unused]] bool definida(const char* nome) {
    const char* valor = std::getenv(nome);
    return valor != nullptr && *valor != '\0';
}

}  // namespace

std::string noPath(std::string_view nome, const char* path) {
    std::string_view resto = path ? path : "/usr/bin:/bin";
    while (!resto.empty()) {
        const std::size_t dois = resto.find(':');
        const std::string_view pasta = resto.substr(0, dois);
        resto.remove_prefix(dois == std::string_view::npos ? resto.size() : dois + 1);
        // An empty or relative entry names the current folder, which can be anyone's.
        if (pasta.empty() || pasta.front() != '/') continue;
        const std::string candidato = std::string(pasta) + "/" + std::string(nome);
        if (access(candidato.c_str(), X_OK) == 0) return candidato;
    }
    return "";
}

std::vector<std::string> argumentosDe(Meio meio, const Aviso& aviso) {
    switch (meio) {
        case Meio::notifySend:
            return {"--app-name=kivo", "--", aviso.titulo, semMarcacao(aviso.corpo)};
        case Meio::osascript:
            // The texts arrive as arguments of the script, so nothing needs quoting. A
            // fixed first argument ends the options, so a text starting with "-" (a
            // project named "-e...") is never read as one.
            return {"-e", "on run argv",
                    "-e", "display notification (item 3 of argv) with title (item 2 of argv)",
                    "-e", "end run",
                    "kivo", aviso.titulo, aviso.corpo};
        case Meio::nenhum: break;
    }
    return {};
}

Notificacoes Notificacoes::doSistema() {
#ifdef __APPLE__
    if (std::string p = noPath("osascript", std::getenv("PATH")); !p.empty()) return {Meio::osascript, std::move(p)};
#else
    if (definida("DISPLAY") || definida("WAYLAND_DISPLAY") || definida("DBUS_SESSION_BUS_ADDRESS")) {
        if (std::string p = noPath("notify-send", std::getenv("PATH")); !p.empty()) return {Meio::notifySend, std::move(p)};
    }
#endif
    return {};
}

Notificacoes::Notificacoes(Meio meio, std::string programa)
    : meio_(meio), programa_(std::move(programa)) {}

Notificacoes::~Notificacoes() { colher(); }

bool Notificacoes::enviar(const Aviso& aviso) {
    if (meio_ == Meio::nenhum) return false;
    colher();
    if (filhos_.size() >= maximoPendentes) return false;

    std::vector<std::string> argumentos = argumentosDe(meio_, aviso);
    std::vector<char*> argv;
    argv.push_back(programa_.data());
    for (std::string& a : argumentos) argv.push_back(a.data());
    argv.push_back(nullptr);

    // The child gets /dev/null for its three streams (its messages must not land in
    // the panel), default signal handling, no blocked signals, and its own process
    // group, so Ctrl-C on the panel does not reach it.
    posix_spawn_file_actions_t acoes;
    posix_spawnattr_t atributos;
    posix_spawn_file_actions_init(&acoes);
    posix_spawnattr_init(&atributos);
    posix_spawn_file_actions_addopen(&acoes, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&acoes, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&acoes, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    sigset_t vazio;
    sigemptyset(&vazio);
    sigset_t padrao;
    sigemptyset(&padrao);
    for (const int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaddset(&padrao, s);
    posix_spawnattr_setsigmask(&atributos, &vazio);
    posix_spawnattr_setsigdefault(&atributos, &padrao);
    posix_spawnattr_setpgroup(&atributos, 0);
    posix_spawnattr_setflags(&atributos, static_cast<short>(POSIX_SPAWN_SETSIGMASK |
                                                            POSIX_SPAWN_SETSIGDEF |
                                                            POSIX_SPAWN_SETPGROUP));
    pid_t filho = -1;
    const int erro = posix_spawn(&filho, programa_.c_str(), &acoes, &atributos, argv.data(), environ);
    posix_spawnattr_destroy(&atributos);
    posix_spawn_file_actions_destroy(&acoes);
    if (erro != 0) return false;
    filhos_.push_back(filho);
    return true;
}

void Notificacoes::colher() {
    std::erase_if(filhos_, [](pid_t filho) {
        int status = 0;
        const pid_t r = waitpid(filho, &status, WNOHANG);
        return r == filho || r < 0;
    });
}

}  // namespace kivo::app
