// Starting other programs: found on the PATH, started without a shell with their
// arguments as they are, and reaped without waiting. Thread-safe.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kivo::app {

// The program `nome` in the first absolute entry of `path` (a PATH value; null means
// "/usr/bin:/bin") that holds it as an executable, or "". Empty and relative entries
// are skipped: they name the current folder.
std::string noPath(std::string_view nome, const char* path);

// The reading ends of a child's standard output and error (non-blocking,
// close-on-exec), for the caller to read and close.
struct Saidas {
    int saida = -1;
    int erros = -1;
};

struct OpcoesFilho {
    // The child's streams go to /dev/null, its signals start unblocked and with
    // their default handling, and it leads a process group of its own (Ctrl-C on
    // this program's terminal does not reach it). Otherwise it inherits all three.
    bool isolado = false;
    // With `isolado`: its standard output and error go into two pipes instead,
    // whose reading ends are put here.
    Saidas* capturar = nullptr;
};

// Starts `programa` (a path, or a name looked up on the PATH as execvp does) with
// `argumentos` after its own name, and returns at once: its id, or nullopt when it
// could not be started. Never throws (but std::bad_alloc).
std::optional<pid_t> iniciarFilho(const std::string& programa,
                                  const std::vector<std::string>& argumentos,
                                  const OpcoesFilho& opcoes = {});

// Reaps `filho` if it has ended, without waiting: true when it is gone (or not ours).
bool filhoTerminou(pid_t filho);

// Reaps `filho` if it has ended, without waiting: its exit status (128 + the signal
// that ended it; -1 when it is not ours), or nullopt while it runs.
std::optional<int> statusDoFilho(pid_t filho);

// What a program run to its end said: its exit status (-1 when it was killed, or ran
// past its deadline) and its standard output (with its standard error when asked).
struct Execucao {
    int status = -1;
    std::string saida;
};

// Runs `programa` (a path, or a name looked up on the PATH) with `argumentos`, its
// standard input from /dev/null, and waits for it at most `prazoMs` milliseconds:
// past that it is killed. At most 1 MiB of its output is kept. nullopt when it could
// not be started. Never throws (but std::bad_alloc).
std::optional<Execucao> executar(const std::string& programa, const std::vector<std::string>& argumentos,
                                 int prazoMs, bool comErros = false);

}  // namespace kivo::app
