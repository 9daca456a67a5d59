#include "base/processo.hpp"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <poll.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

namespace kivo::app {

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

std::optional<pid_t> iniciarFilho(const std::string& programa,
                                  const std::vector<std::string>& argumentos,
                                  const OpcoesFilho& opcoes) {
    std::vector<std::string> textos{programa};
    textos.insert(textos.end(), argumentos.begin(), argumentos.end());
    std::vector<char*> argv;
    for (std::string& t : textos) argv.push_back(t.data());
    argv.push_back(nullptr);

    int canos[2][2] = {{-1, -1}, {-1, -1}};
    const auto fecharCanos = [&canos] {
        for (auto& cano : canos) {
            for (int& fd : cano) {
                if (fd >= 0) close(fd);
                fd = -1;
            }
        }
    };
    if (opcoes.isolado && opcoes.capturar) {
        for (auto& cano : canos) {
            if (pipe2(cano, O_CLOEXEC) != 0) {
                fecharCanos();
                return std::nullopt;
            }
            fcntl(cano[0], F_SETFL, fcntl(cano[0], F_GETFL) | O_NONBLOCK);
        }
    }
    posix_spawn_file_actions_t acoes;
    posix_spawnattr_t atributos;
    posix_spawn_file_actions_init(&acoes);
    posix_spawnattr_init(&atributos);
    if (opcoes.isolado) {
        posix_spawn_file_actions_addopen(&acoes, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        if (opcoes.capturar) {
            posix_spawn_file_actions_adddup2(&acoes, canos[0][1], STDOUT_FILENO);
            posix_spawn_file_actions_adddup2(&acoes, canos[1][1], STDERR_FILENO);
        } else {
            posix_spawn_file_actions_addopen(&acoes, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
            posix_spawn_file_actions_addopen(&acoes, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        }
        sigset_t vazio;
        sigemptyset(&vazio);
        sigset_t padrao;
        sigemptyset(&padrao);
        for (const int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaddset(&padrao, s);
        posix_spawnattr_setsigmask(&atributos, &vazio);
        posix_spawnattr_setsigdefault(&atributos, &padrao);
        posix_spawnattr_setpgroup(&atributos, 0);
        posix_spawnattr_setflags(&atributos,
                                 static_cast<short>(POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF |
                                                    POSIX_SPAWN_SETPGROUP));
    }
    pid_t filho = -1;
    const int erro =
        posix_spawnp(&filho, programa.c_str(), &acoes, &atributos, argv.data(), environ);
    posix_spawnattr_destroy(&atributos);
    posix_spawn_file_actions_destroy(&acoes);
    if (erro != 0) {
        fecharCanos();
        return std::nullopt;
    }
    if (opcoes.isolado && opcoes.capturar) {
        close(canos[0][1]);
        close(canos[1][1]);
        *opcoes.capturar = {.saida = canos[0][0], .erros = canos[1][0]};
    }
    return filho;
}

bool filhoTerminou(pid_t filho) {
    int status = 0;
    const pid_t r = waitpid(filho, &status, WNOHANG);
    return r == filho || r < 0;
}

std::optional<int> statusDoFilho(pid_t filho) {
    int status = 0;
    const pid_t r = waitpid(filho, &status, WNOHANG);
    if (r == 0) return std::nullopt;
    if (r != filho) return -1;
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

namespace {

long long milissegundos() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<long long>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

}  // namespace

std::optional<Execucao> executar(const std::string& programa, const std::vector<std::string>& argumentos,
                                 int prazoMs, bool comErros) {
    int tubo[2];
    if (pipe(tubo) != 0) return std::nullopt;
    fcntl(tubo[0], F_SETFD, FD_CLOEXEC);
    std::vector<std::string> textos{programa};
    textos.insert(textos.end(), argumentos.begin(), argumentos.end());
    std::vector<char*> argv;
    for (std::string& t : textos) argv.push_back(t.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t acoes;
    posix_spawn_file_actions_init(&acoes);
    posix_spawn_file_actions_addopen(&acoes, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&acoes, tubo[1], STDOUT_FILENO);
    if (comErros) {
        posix_spawn_file_actions_adddup2(&acoes, tubo[1], STDERR_FILENO);
    } else {
        posix_spawn_file_actions_addopen(&acoes, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    }
    posix_spawn_file_actions_addclose(&acoes, tubo[1]);
    pid_t filho = -1;
    const int erro = posix_spawnp(&filho, programa.c_str(), &acoes, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&acoes);
    close(tubo[1]);
    if (erro != 0) {
        close(tubo[0]);
        return std::nullopt;
    }
    Execucao e;
    const long long fim = milissegundos() + prazoMs;
    bool venceu = false;
    for (;;) {
        const long long resta = fim - milissegundos();
        if (resta <= 0) {
            venceu = true;
            break;
        }
        pollfd p{tubo[0], POLLIN, 0};
        const int r = poll(&p, 1, static_cast<int>(resta));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) continue;
        char bloco[4096];
        const ssize_t n = read(tubo[0], bloco, sizeof bloco);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        if (e.saida.size() < (1u << 20)) e.saida.append(bloco, static_cast<std::size_t>(n));
    }
    close(tubo[0]);
    // Its output has ended; it still has until the deadline to exit.
    int status = 0;
    pid_t r = 0;
    while (!venceu && (r = waitpid(filho, &status, WNOHANG)) == 0) {
        if (milissegundos() >= fim) {
            venceu = true;
            break;
        }
        const timespec pausa{0, 1000000};
        nanosleep(&pausa, nullptr);
    }
    if (venceu) {
        kill(filho, SIGKILL);
        while (waitpid(filho, &status, 0) < 0 && errno == EINTR) {
        }
    }
    e.status = !venceu && r == filho && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return e;
}

}  // namespace kivo::app
