#include "instalar/configuracao.hpp"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <utility>

#include "caminhos.hpp"
#include "instalar/programas.hpp"

namespace kivo::app {

namespace {

using Json = nlohmann::ordered_json;
namespace fs = std::filesystem;

constexpr std::string_view prefixoDoPid = "CLAUDE_PID=$PPID exec ";

bool ehNossa(const Json& entrada) {
    if (!entrada.is_object()) return false;
    const auto c = entrada.find("command");
    return c != entrada.end() && c->is_string() && ehComandoDoGancho(c->get_ref<const std::string&>());
}

bool ehExata(const Json& entrada, const std::string& comando) {
    if (!entrada.is_object() || entrada.size() != 3) return false;
    const auto tipo = entrada.find("type");
    const auto cmd = entrada.find("command");
    const auto limite = entrada.find("timeout");
    return tipo != entrada.end() && *tipo == "command" && cmd != entrada.end() &&
           *cmd == comando && limite != entrada.end() && limite->is_number() &&
           *limite == limiteDoGancho;
}

// Groups without a matcher, with "" or with "*" all apply to every tool.
bool valeParaTodas(const Json& grupo) {
    const auto m = grupo.find("matcher");
    return m == grupo.end() || *m == "" || *m == "*";
}

Json* entradasDe(Json& grupo) {
    if (!grupo.is_object()) return nullptr;
    const auto h = grupo.find("hooks");
    return h != grupo.end() && h->is_array() ? &*h : nullptr;
}

// Takes our entries out of an event's list, and the groups this empties; returns how
// many entries went. Groups that were empty already stay.
int retirarNossas(Json& lista) {
    int total = 0;
    for (std::size_t g = lista.size(); g-- > 0;) {
        Json* entradas = entradasDe(lista[g]);
        if (!entradas) continue;
        int aqui = 0;
        for (std::size_t e = entradas->size(); e-- > 0;) {
            if (ehNossa((*entradas)[e])) {
                entradas->erase(e);
                ++aqui;
            }
        }
        if (aqui > 0 && entradas->empty()) lista.erase(g);
        total += aqui;
    }
    return total;
}

Json entradaPara(const std::string& comando) {
    return Json{{"type", "command"}, {"command", comando}, {"timeout", limiteDoGancho}};
}

// Our only entry, alone in a group that applies to every tool (a path of an older
// build, the earlier bare-path form): rewritten where it stands. False when the
// entry is not alone like that.
bool reescreverSozinha(Json& lista, const std::string& comando) {
    for (Json& grupo : lista) {
        Json* entradas = entradasDe(grupo);
        if (!entradas || entradas->size() != 1 || !ehNossa((*entradas)[0])) continue;
        if (!valeParaTodas(grupo)) return false;
        (*entradas)[0] = entradaPara(comando);
        return true;
    }
    return false;
}

Json& objetoHooks(Json& config, const fs::path& arquivo) {
    if (!config.contains("hooks")) config["hooks"] = Json::object();
    Json& hooks = config["hooks"];
    if (!hooks.is_object()) {
        throw ConfiguracaoInvalida("o campo \"hooks\" de " + arquivo.string() + " n\u00E3o \u00E9 um objeto");
    }
    return hooks;
}

}  // namespace

bool usaMatcher(std::string_view evento) {
    return evento == "PreToolUse" || evento == "PermissionRequest" || evento == "PostToolUse" ||
           evento == "PostToolUseFailure" || evento == "PermissionDenied";
}

fs::path arquivoPadrao() {
    if (const char* d = std::getenv("CLAUDE_CONFIG_DIR"); d && *d) return fs::path(d) / "settings.json";
    return Caminhos::casa() / ".claude" / "settings.json";
}

std::string comandoPara(std::string_view caminho) { return std::string(prefixoDoPid) + entreAspas(caminho); }

bool ehComandoDoGancho(std::string_view comando) {
    const std::size_t inicio = comando.find_first_not_of(" \t\n");
    if (inicio == std::string_view::npos) return false;
    comando.remove_prefix(inicio);
    // The current form sets the agent's pid first; the earlier one is the path alone.
    if (comando.substr(0, prefixoDoPid.size()) == prefixoDoPid) comando.remove_prefix(prefixoDoPid.size());
    const auto lista = palavrasDoShell(comando);
    return lista && lista->size() == 1 && terminaEm(lista->front(), "kivo_gancho");
}

std::string comandoDaLinha(std::string_view caminho) { return entreAspas(caminho) + " linha"; }

bool ehComandoDaLinha(std::string_view comando) {
    const auto lista = palavrasDoShell(comando);
    if (!lista || lista->size() < 2 || !terminaEm((*lista)[0], "kivo") || (*lista)[1] != "linha") return false;
    return std::all_of(lista->begin() + 2, lista->end(),
                       [](const std::string& p) { return p.rfind("--", 0) == 0 || std::isdigit(static_cast<unsigned char>(p[0])); });
}

std::vector<Mudanca> registrar(Json& config, const std::string& comando, const fs::path& arquivo) {
    Json& hooks = objetoHooks(config, arquivo);
    // Check every event before changing any, so that an error leaves nothing half done.
    for (const std::string_view evento : eventosDoGancho) {
        const auto it = hooks.find(std::string(evento));
        if (it != hooks.end() && !it->is_array()) {
            throw ConfiguracaoInvalida("o evento \"" + std::string(evento) + "\" em " + arquivo.string() +
                                       " n\u00E3o \u00E9 uma lista");
        }
    }
    std::vector<Mudanca> mudancas;
    for (const std::string_view nome : eventosDoGancho) {
        const std::string evento(nome);
        if (!hooks.contains(evento)) hooks[evento] = Json::array();
        Json& lista = hooks[evento];

        int nossas = 0;
        bool certa = false;
        std::vector<std::string> antigos;
        for (Json& grupo : lista) {
            Json* entradas = entradasDe(grupo);
            if (!entradas) continue;
            for (const Json& entrada : *entradas) {
                if (!ehNossa(entrada)) continue;
                ++nossas;
                if (ehExata(entrada, comando) && valeParaTodas(grupo)) certa = true;
                const auto& antigo = entrada["command"].get_ref<const std::string&>();
                if (antigo != comando) antigos.push_back(antigo);
            }
        }
        if (nossas == 1 && certa) continue;
        if (nossas == 1 && reescreverSozinha(lista, comando)) {
            mudancas.push_back(Mudanca{evento, 1, true, std::move(antigos)});
            continue;
        }

        Mudanca m{evento, retirarNossas(lista), true, std::move(antigos)};
        Json grupo = Json::object();
        if (usaMatcher(evento)) grupo["matcher"] = "*";
        grupo["hooks"] = Json::array({entradaPara(comando)});
        lista.push_back(std::move(grupo));
        mudancas.push_back(std::move(m));
    }
    return mudancas;
}

std::vector<Mudanca> remover(Json& config, const fs::path& arquivo) {
    if (!config.contains("hooks")) return {};
    Json& hooks = objetoHooks(config, arquivo);
    std::vector<Mudanca> mudancas;
    for (const std::string_view nome : eventosDoGancho) {
        const std::string evento(nome);
        const auto it = hooks.find(evento);
        if (it == hooks.end() || !it->is_array()) continue;
        const int n = retirarNossas(*it);
        if (n == 0) continue;
        if (it->empty()) hooks.erase(evento);
        mudancas.push_back(Mudanca{evento, n, false, {}});
    }
    if (!mudancas.empty() && hooks.empty()) config.erase("hooks");
    return mudancas;
}

namespace {

bool linhaNossa(const Json& config) {
    const auto it = config.find("statusLine");
    return it != config.end() && it->is_object() && it->contains("command") && (*it)["command"].is_string() &&
           ehComandoDaLinha((*it)["command"].get_ref<const std::string&>());
}

}  // namespace

Linha porLinha(Json& config, const std::string& comando) {
    const bool nossa = linhaNossa(config);
    const auto it = config.find("statusLine");
    if (it == config.end()) {
        config["statusLine"] = Json{{"type", "command"}, {"command", comando}};
        return Linha::posta;
    }
    if (!nossa) return Linha::alheia;
    if ((*it)["command"] == comando) return Linha::igual;
    (*it)["command"] = comando;
    return Linha::posta;
}

Linha tirarLinha(Json& config) {
    if (!linhaNossa(config)) return Linha::igual;
    config.erase("statusLine");
    return Linha::tirada;
}

}  // namespace kivo::app
