// kivo_gancho: Claude Code starts it once per hook event with the event's JSON object
// on standard input. It applies the event to the session's record and exits 0 on
// every path, printing nothing: Claude Code would add stdout to the agent's context,
// show stderr as a hook error, and read some exit statuses as instructions.
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <exception>
#include <map>
#include <string>

#include "entrada_gancho.hpp"
#include "kivo/armazem.hpp"
#include "kivo/caminhos.hpp"
#include "kivo/contexto.hpp"
#include "kivo/regras.hpp"

extern char** environ;

namespace {

double agoraEmSegundos() {
    timespec t{};
    clock_gettime(CLOCK_REALTIME, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// Standard output and error go to /dev/null, so that nothing (not even a library's
// diagnostic) can reach Claude Code.
void silenciar() {
    const int nulo = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (nulo < 0) return;
    dup2(nulo, STDOUT_FILENO);
    dup2(nulo, STDERR_FILENO);
    if (nulo > STDERR_FILENO) close(nulo);
}

std::map<std::string, std::string> ambiente() {
    std::map<std::string, std::string> m;
    for (char** v = environ; v && *v; ++v) {
        const std::string_view par(*v);
        const std::size_t igual = par.find('=');
        if (igual == std::string_view::npos) continue;
        m.emplace(par.substr(0, igual), par.substr(igual + 1));  // the first one wins, like getenv
    }
    return m;
}

}  // namespace

int main() {
    const double agora = agoraEmSegundos();
    std::set_terminate([] { _exit(0); });
    silenciar();
    try {
        const auto evento = kivo::gancho::lerEvento(STDIN_FILENO);
        if (!evento) return 0;
        const kivo::Contexto contexto = kivo::Contexto::doAmbiente(ambiente(), agora);
        const kivo::Armazem armazem(kivo::Caminhos::sessoes());
        armazem.atualizar(evento->sessaoId, [&](const std::optional<kivo::Sessao>& atual) {
            return kivo::aplicar(*evento, atual, contexto);
        });
    } catch (...) {
    }
    return 0;
}
