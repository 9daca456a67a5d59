// Runs a command as a process, the way its real callers do: arguments, an environment of its
// own, a text on standard input (or none); standard output, error and the exit status collected.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace kivo::teste {
struct Comando {
    std::vector<std::string> argv;                // argv[0]: the program's path
    std::map<std::string, std::string> ambiente;  // the whole environment
    bool semEntrada = false;                      // standard input closed, not a pipe
    int saida = -1;                               // standard output on this descriptor (a terminal), not a pipe
};

struct Execucao {
    int status = -1;           // exit status, or -1 when it did not exit normally
    bool entradaToda = false;  // every input byte was taken by the command
    std::string saida, erro;
};

struct Processo {
    pid_t pid = -1;
    int entrada = -1, saida = -1, erro = -1;
};

// Both ends close on exec: the command keeps only its copies on 0, 1 and 2.
inline bool canoSemHeranca(int fds[2]) {
    return pipe(fds) == 0 && fcntl(fds[0], F_SETFD, FD_CLOEXEC) == 0 && fcntl(fds[1], F_SETFD, FD_CLOEXEC) == 0;
}

inline Processo iniciar(const Comando& c) {
    int in[2], out[2], err[2];
    if (c.argv.empty() || !canoSemHeranca(in) || !canoSemHeranca(out) || !canoSemHeranca(err)) return {};
    std::vector<std::string> env;
    for (const auto& [k, v] : c.ambiente) env.push_back(k + "=" + v);
    std::vector<char*> envp, argv;
    for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    for (const auto& a : c.argv) argv.push_back(const_cast<char*>(a.c_str()));
    envp.push_back(nullptr), argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        c.semEntrada ? close(0) : dup2(in[0], 0);
        dup2(c.saida >= 0 ? c.saida : out[1], 1), dup2(err[1], 2);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    for (int fd : {in[0], out[1], err[1]}) close(fd);
    if (c.semEntrada) close(std::exchange(in[1], -1));
    return {pid, in[1], out[0], err[0]};
}

inline std::string lerAteOFim(int fd) {
    std::string s;
    char b[4096];
    for (ssize_t n; (n = read(fd, b, sizeof b)) != 0;) {
        if (n < 0 && errno != EINTR) break;
        if (n > 0) s.append(b, static_cast<std::size_t>(n));
    }
    close(fd);
    return s;
}

// Writes the input, then collects the outputs and the exit status.
inline Execucao terminar(Processo p, const std::string& entrada) {
    Execucao r;
    if (p.pid < 0) return r;
    signal(SIGPIPE, SIG_IGN);
    std::size_t escrito = 0;
    while (p.entrada >= 0 && escrito < entrada.size()) {
        const ssize_t n = write(p.entrada, entrada.data() + escrito, entrada.size() - escrito);
        if (n <= 0 && errno != EINTR) break;
        if (n > 0) escrito += static_cast<std::size_t>(n);
    }
    if (p.entrada >= 0) close(p.entrada);
    r.entradaToda = escrito == entrada.size();
    r.saida = lerAteOFim(p.saida), r.erro = lerAteOFim(p.erro);
    int st = 0;
    while (waitpid(p.pid, &st, 0) < 0 && errno == EINTR) {
    }
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

// Waits until `condicao` holds or `prazo` passes; whether it held.
template <class Condicao>
bool esperarAte(Condicao condicao, std::chrono::milliseconds prazo = std::chrono::seconds(5)) {
    for (const auto ate = std::chrono::steady_clock::now() + prazo; !condicao();) {
        if (std::chrono::steady_clock::now() > ate) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// Reads `fd` into `lido` until `fim` is in it; false after `prazo`.
inline bool lerAte(int fd, std::string& lido, const std::string& fim,
                   std::chrono::milliseconds prazo = std::chrono::seconds(10)) {
    const int modo = fcntl(fd, F_GETFL);
    fcntl(fd, F_SETFL, modo | O_NONBLOCK);
    const bool achou = esperarAte([&] {
        char b[4096];
        for (ssize_t n; (n = read(fd, b, sizeof b)) > 0;) lido.append(b, static_cast<std::size_t>(n));
        return lido.find(fim) != std::string::npos;
    }, prazo);
    fcntl(fd, F_SETFL, modo);
    return achou;
}

inline Execucao rodar(const Comando& c, const std::string& entrada = "") {
    return terminar(iniciar(c), entrada);
}
}  // namespace kivo::teste
