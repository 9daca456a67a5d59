#include "terminal/notificacao.hpp"

#include <cstdlib>
#include <string_view>

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

std::vector<std::string> argumentosComAcao(const std::string& notifySend, const Aviso& aviso,
                                           const std::string& kivo, const std::string& sessao) {
    std::vector<std::string> args{
        "-c", "k=$1 s=$2; shift 2; a=$(\"$@\") && [ \"$a\" = ir ] && exec \"$k\" ir --recente -- \"$s\"",
        "kivo-aviso", kivo, sessao, notifySend, "--action=ir=Ir para o agente"};
    for (std::string& a : argumentosDe(Meio::notifySend, aviso)) args.push_back(std::move(a));
    return args;
}

void Notificacoes::agirCom(std::string kivo) {
    if (meio_ != Meio::notifySend || kivo.empty()) return;
    const std::optional<Execucao> ajuda = executar(programa_, {"--help"}, 1000);
    if (ajuda && ajuda->saida.find("--action") != std::string::npos) kivo_ = std::move(kivo);
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

bool Notificacoes::enviar(const Aviso& aviso, const std::string& sessao) {
    if (meio_ == Meio::nenhum) return false;
    colher();
    if (filhos_.size() >= maximoPendentes) return false;

    // Its messages must not land in the panel, and Ctrl-C on the panel must not reach it.
    const bool comAcao = !kivo_.empty() && !sessao.empty();
    const std::optional<pid_t> filho =
        comAcao ? iniciarFilho("/bin/sh", argumentosComAcao(programa_, aviso, kivo_, sessao), {.isolado = true})
                : iniciarFilho(programa_, argumentosDe(meio_, aviso), {.isolado = true});
    if (!filho) return false;
    filhos_.push_back(*filho);
    return true;
}

void Notificacoes::colher() {
    std::erase_if(filhos_, filhoTerminou);
}

}  // namespace kivo::app
