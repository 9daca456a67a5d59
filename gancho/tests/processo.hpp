// Runs kivo_gancho as Claude Code would: a JSON text on standard input, a chosen
// environment, and standard output and error captured.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <string>
#include <vector>

namespace kivo::teste {

struct Execucao {
    int status = -1;        // exit status, or -1 when it did not exit normally
    bool entradaToda = false;  // every input byte was taken by the command
    std::string saida;
    std::string erro;
};

struct Processo {
    pid_t pid = -1;
    int entrada = -1;
    int saida = -1;
    int erro = -1;
};

inline std::vector<std::string> ambienteCom(const std::map<std::string, std::string>& valores) {
    std::vector<std::string> env;
    for (const auto& [k, v] : valores) env.push_back(k + "=" + v);
    return env;
}

// Starts the command; `semEntrada` closes its standard input instead of a pipe.
inline Processo iniciar(const std::map<std::string, std::string>& ambiente, bool semEntrada = false) {
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return {};
    const auto env = ambienteCom(ambiente);
    std::vector<char*> envp;
    for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        if (semEntrada)
            close(0);
        else
            dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        char* argv[] = {const_cast<char*>(KIVO_GANCHO), nullptr};
        execve(KIVO_GANCHO, argv, envp.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    if (semEntrada) {
        close(in[1]);
        in[1] = -1;
    }
    return {pid, in[1], out[0], err[0]};
}

inline std::string lerAteOFim(int fd) {
    std::string s;
    char b[4096];
    for (;;) {
        const ssize_t n = read(fd, b, sizeof b);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        s.append(b, static_cast<std::size_t>(n));
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
    if (p.entrada >= 0) {
        while (escrito < entrada.size()) {
            const ssize_t n = write(p.entrada, entrada.data() + escrito, entrada.size() - escrito);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            escrito += static_cast<std::size_t>(n);
        }
        close(p.entrada);
    }
    r.entradaToda = escrito == entrada.size();
    r.saida = lerAteOFim(p.saida);
    r.erro = lerAteOFim(p.erro);
    int st = 0;
    while (waitpid(p.pid, &st, 0) < 0 && errno == EINTR) {
    }
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

inline Execucao rodar(const std::string& entrada, const std::map<std::string, std::string>& ambiente,
                      bool semEntrada = false) {
    return terminar(iniciar(ambiente, semEntrada), entrada);
}

}  // namespace kivo::teste
