#include "instalar/verificar.hpp"

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <set>
#include <vector>

#include "apresentacao/apresentacao.hpp"
#include "apresentacao/pasta.hpp"
#include "apresentacao/registros.hpp"
#include "base/erros.hpp"
#include "base/processo.hpp"
#include "base/texto.hpp"

namespace kivo::app {

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

struct Relatorio {
    std::string texto;
    bool essencialFalhou = false;

    void certo(const std::string& t) { texto += "\u2713 " + t + "\n"; }
    // `essencial`: kivo cannot work without it (the exit status says so).
    void errado(const std::string& t, const std::string& conserto, bool essencial) {
        texto += "\u2717 " + t + (conserto.empty() ? "" : " \u2014 " + conserto) + "\n";
        if (essencial) essencialFalhou = true;
    }
};

// The program a hook command runs: its one shell word after the pid prefix.
std::string programaDe(std::string_view comando) {
    constexpr std::string_view prefixo = "CLAUDE_PID=$PPID exec ";
    const std::size_t inicio = comando.find_first_not_of(" \t\n");
    if (inicio != std::string_view::npos) comando.remove_prefix(inicio);
    if (comando.substr(0, prefixo.size()) == prefixo) comando.remove_prefix(prefixo.size());
    const auto palavras = palavrasDoShell(comando);
    return palavras && palavras->size() == 1 ? palavras->front() : std::string();
}

// Runs `programa` with nothing on its input, as Claude Code would with an empty
// event; its status, or a text saying why it did not run. Waits at most 5 s.
std::string rodaVazio(const std::string& programa) {
    const std::optional<pid_t> filho = iniciarFilho(programa, {}, {.isolado = true});
    if (!filho) return "n\u00E3o consegui rod\u00E1-lo";
    int status = 0;
    for (int i = 0; i < 250; ++i) {
        const pid_t r = waitpid(*filho, &status, WNOHANG);
        if (r == *filho) {
            if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return "";
            if (WIFEXITED(status) && WEXITSTATUS(status) == 127) return "n\u00E3o consegui rod\u00E1-lo";
            return WIFEXITED(status) ? "saiu com status " + std::to_string(WEXITSTATUS(status))
                                     : "parou por um sinal";
        }
        if (r < 0) return "";
        const timespec t{0, 20'000'000};
        nanosleep(&t, nullptr);
    }
    kill(*filho, SIGKILL);
    waitpid(*filho, &status, 0);
    return "n\u00E3o terminou em 5 s";
}

bool mesmoArquivo(const fs::path& a, const fs::path& b) {
    std::error_code e;
    return !b.empty() && fs::equivalent(a, b, e);
}

void conferirGancho(Relatorio& r, const Json& config, const OpcoesVerificar& o) {
    const Json* ganchos = config.contains("hooks") && config["hooks"].is_object() ? &config["hooks"] : nullptr;
    std::vector<std::string> faltam;
    std::set<std::string> programas;
    for (const std::string_view evento : eventosDoGancho) {
        bool achou = false;
        const std::string nome(evento);
        if (ganchos && ganchos->contains(nome) && (*ganchos)[nome].is_array()) {
            for (const Json& grupo : (*ganchos)[nome]) {
                if (!grupo.is_object() || !grupo.contains("hooks") || !grupo["hooks"].is_array()) continue;
                for (const Json& entrada : grupo["hooks"]) {
                    if (!entrada.is_object() || !entrada.contains("command") || !entrada["command"].is_string()) continue;
                    const std::string& comando = entrada["command"].get_ref<const std::string&>();
                    if (!ehComandoDoGancho(comando)) continue;
                    achou = true;
                    programas.insert(programaDe(comando));
                }
            }
        }
        if (!achou) faltam.push_back(nome);
    }
    if (faltam.size() == eventosDoGancho.size()) {
        r.errado("Gancho: o kivo_gancho n\u00E3o est\u00E1 registrado em nenhum evento",
                 "rode `kivo instalar`", true);
        return;
    }
    if (!faltam.empty()) {
        std::string lista;
        for (const std::string& f : faltam) lista += (lista.empty() ? "" : ", ") + f;
        r.errado("Gancho: falta em " + std::to_string(faltam.size()) + " de " +
                     std::to_string(eventosDoGancho.size()) + " eventos (" + lista + ")",
                 "rode `kivo instalar`", true);
    }
    for (const std::string& programa : programas) {
        std::string caminho = programa;
        if (caminho.find('/') == std::string::npos) caminho = noPath(caminho, o.path);
        const std::string mostrado = limpo(programa);
        struct stat info {};
        if (caminho.empty() || stat(caminho.c_str(), &info) != 0) {
            r.errado("Gancho: " + mostrado + " n\u00E3o existe", "rode `kivo instalar` para registrar o deste kivo",
                     true);
            continue;
        }
        if (const std::string falha = rodaVazio(caminho); !falha.empty()) {
            r.errado("Gancho: " + mostrado + " " + falha, "reinstale o kivo e rode `kivo instalar`", true);
            continue;
        }
        if (!faltam.empty()) continue;
        if (mesmoArquivo(caminho, o.ganchoAoLado)) {
            r.certo("Gancho: registrado nos " + std::to_string(eventosDoGancho.size()) + " eventos, " + mostrado +
                    " (o que est\u00E1 ao lado deste kivo), e roda");
        } else {
            r.certo("Gancho: registrado nos " + std::to_string(eventosDoGancho.size()) + " eventos, " + mostrado +
                    ", e roda; n\u00E3o \u00E9 o que est\u00E1 ao lado deste kivo (`kivo instalar` troca por ele)");
        }
    }
}

void conferirLinha(Relatorio& r, const Json& config) {
    const auto l = config.find("statusLine");
    if (l == config.end()) {
        r.errado("Linha de status: nenhuma (opcional)", "`kivo instalar --linha` p\u00F5e a do kivo", false);
    } else if (l->is_object() && l->contains("command") && (*l)["command"].is_string() &&
               ehComandoDaLinha((*l)["command"].get_ref<const std::string&>())) {
        r.certo("Linha de status: " + limpo((*l)["command"].get_ref<const std::string&>()));
    } else {
        r.certo("Linha de status: uma sua, sem o kivo (opcional; `kivo instalar --linha` diz como juntar as duas)");
    }
}

void conferirPasta(Relatorio& r, const OpcoesVerificar& o) {
    const std::string nome = limpo(o.base.string());
    if (const std::optional<ProblemaDaPasta> p = problemaDaPasta(o.base, o.kivoDir)) {
        // A missing one is made by the hook at its first event.
        r.errado("Pasta dos registros: " + p->mensagem, p->conserto, p->grave);
        return;
    }
    struct stat info {};
    stat(o.base.c_str(), &info);
    if ((info.st_mode & 077) != 0) {
        char modo[8];
        std::snprintf(modo, sizeof modo, "%03o", static_cast<unsigned>(info.st_mode & 0777));
        r.errado("Pasta dos registros: " + nome + " pode ser lida por outras contas (modo " + modo + ")",
                 "chmod 700 " + nome, false);
        return;
    }
    r.certo("Pasta dos registros: " + nome + " (s\u00F3 sua)");
}

void conferirEventos(Relatorio& r, const OpcoesVerificar& o) {
    const std::vector<Sessao> sessoes = lerRegistros(o.base / "sessoes");
    const auto ultima = std::max_element(sessoes.begin(), sessoes.end(),
                                         [](const Sessao& a, const Sessao& b) { return a.atualizado < b.atualizado; });
    if (ultima == sessoes.end()) {
        r.errado("Nenhum evento ainda", "abra uma sess\u00E3o do Claude Code", false);
        return;
    }
    const std::string ha = haQuanto(o.agora - ultima->atualizado);
    r.certo("\u00DAltimo evento: " + (ha.empty() ? std::string("em hora desconhecida") : ha) + " (" +
            limpo(ultima->nome()) + ")");
}

void conferirProgramas(Relatorio& r, const OpcoesVerificar& o) {
    if (const std::string tmux = noPath("tmux", o.path); !tmux.empty()) {
        r.certo("tmux: " + limpo(tmux));
    } else {
        r.errado("tmux: n\u00E3o achei no PATH (opcional: para ir at\u00E9 um agente e para a barra do tmux)",
                 "instale o tmux", false);
    }
#ifdef __APPLE__
    r.certo("Notifica\u00E7\u00F5es: osascript");
#else
    const std::string notifySend = noPath("notify-send", o.path);
    if (notifySend.empty()) {
        r.errado("Notifica\u00E7\u00F5es: n\u00E3o achei o notify-send no PATH (o `kivo painel --seguir` toca o sino)",
                 "instale o libnotify-bin", false);
    } else if (!o.sessaoGrafica) {
        r.errado("Notifica\u00E7\u00F5es: " + limpo(notifySend) +
                     ", mas sem sess\u00E3o gr\u00E1fica (DISPLAY, WAYLAND_DISPLAY ou D-Bus); o `kivo painel "
                     "--seguir` toca o sino",
                 "", false);
    } else {
        r.certo("Notifica\u00E7\u00F5es: " + limpo(notifySend));
    }
#endif
}

}  // namespace

Resultado verificar(const OpcoesVerificar& o) {
    Relatorio r;
    const std::string arquivo = limpo(o.arquivo.string());
    const Configuracoes c = lerConfiguracoes(o.arquivo);
    const std::string deOnde = o.deOnde.empty() ? "" : " (de " + o.deOnde + ")";
    if (!c.erro.empty()) {
        r.errado("Configura\u00E7\u00F5es do Claude Code: " + limpo(c.erro), "corrija o arquivo e rode `kivo instalar`",
                 true);
    } else if (!c.existe) {
        r.errado("Configura\u00E7\u00F5es do Claude Code: " + arquivo + deOnde + " n\u00E3o existe",
                 "rode `kivo instalar`", true);
    } else {
        r.certo("Configura\u00E7\u00F5es do Claude Code: " + arquivo + deOnde);
    }
    if (c.erro.empty()) {
        conferirGancho(r, c.valor, o);
        conferirLinha(r, c.valor);
    }
    conferirPasta(r, o);
    conferirEventos(r, o);
    conferirProgramas(r, o);
    r.texto += r.essencialFalhou ? "Falta o essencial: corrija as linhas com \u2717 acima.\n"
                                 : "O essencial est\u00E1 no lugar.\n";
    return {r.essencialFalhou ? 1 : 0, r.texto, ""};
}

}  // namespace kivo::app
