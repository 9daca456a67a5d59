#include "instalar.hpp"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <system_error>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "descritor.hpp"

namespace kivo::app {

namespace {

using Json = nlohmann::ordered_json;
namespace fs = std::filesystem;

// Why the command stops without writing; the message is for the user. `doConteudo`
// when the file's content is at fault (rather than the disk).
struct FormaInvalida : std::runtime_error {
    explicit FormaInvalida(const std::string& mensagem, bool conteudo = false)
        : std::runtime_error(mensagem), doConteudo(conteudo) {}
    bool doConteudo;
};

struct Mudanca {
    std::string evento;
    int removidas = 0;                    // our entries taken out
    bool adicionada = false;              // a fresh entry appended
    std::vector<std::string> antigos;     // other kivo_gancho commands replaced
};

std::string erroDoSistema(int numero) { return std::system_category().message(numero); }

// ---- the JSON document -------------------------------------------------------

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

Json& objetoHooks(Json& config, const fs::path& arquivo) {
    if (!config.contains("hooks")) config["hooks"] = Json::object();
    Json& hooks = config["hooks"];
    if (!hooks.is_object()) {
        throw FormaInvalida("o campo \"hooks\" de " + arquivo.string() + " n\u00E3o \u00E9 um objeto", true);
    }
    return hooks;
}

std::vector<Mudanca> registrar(Json& config, const std::string& comando, const fs::path& arquivo) {
    Json& hooks = objetoHooks(config, arquivo);
    // Check every event before changing any, so that an error leaves nothing half done.
    for (const std::string_view evento : eventosDoGancho) {
        const auto it = hooks.find(std::string(evento));
        if (it != hooks.end() && !it->is_array()) {
            throw FormaInvalida("o evento \"" + std::string(evento) + "\" em " + arquivo.string() +
                                " n\u00E3o \u00E9 uma lista", true);
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

        Mudanca m{evento, retirarNossas(lista), true, std::move(antigos)};
        Json grupo = Json::object();
        if (usaMatcher(evento)) grupo["matcher"] = "*";
        grupo["hooks"] = Json::array(
            {Json{{"type", "command"}, {"command", comando}, {"timeout", limiteDoGancho}}});
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

// ---- the file ------------------------------------------------------------------

struct Leitura {
    bool existe = false;
    std::string texto;
    struct stat info {};
};

// The file a settings path stands for: the target of a symbolic link (so that a link
// kept by a dotfiles manager stays a link), else the path itself.
fs::path alvoDe(const fs::path& arquivo) {
    std::error_code erro;
    if (!fs::is_symlink(fs::symlink_status(arquivo, erro))) return arquivo;
    if (fs::path c = fs::canonical(arquivo, erro); !erro) return c;
    // A link to a file that does not exist yet: the file will be made where it points.
    fs::path destino = fs::read_symlink(arquivo, erro);
    if (erro) return arquivo;
    return destino.is_absolute() ? destino : arquivo.parent_path() / destino;
}

// Reads the whole file; throws FormaInvalida with a message when it cannot.
Leitura ler(const fs::path& arquivo) {
    Leitura l;
    const int fd = open(arquivo.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return l;
        throw FormaInvalida("n\u00E3o consegui ler " + arquivo.string() + ": " + erroDoSistema(errno));
    }
    fstat(fd, &l.info);
    if (!S_ISREG(l.info.st_mode)) {
        close(fd);
        throw FormaInvalida(arquivo.string() + " n\u00E3o \u00E9 um arquivo comum");
    }
    char bloco[65536];
    while (true) {
        const ssize_t n = read(fd, bloco, sizeof bloco);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int e = errno;
            close(fd);
            throw FormaInvalida("n\u00E3o consegui ler " + arquivo.string() + ": " + erroDoSistema(e));
        }
        if (n == 0) break;
        l.texto.append(bloco, static_cast<std::size_t>(n));
    }
    close(fd);
    l.existe = true;
    return l;
}

bool soEspacos(std::string_view t) {
    return t.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

// The settings as a JSON object; an empty file counts as "{}".
Json interpretar(const Leitura& leitura, const fs::path& arquivo) {
    if (!leitura.existe || soEspacos(leitura.texto)) return Json::object();
    Json config;
    try {
        config = Json::parse(leitura.texto, nullptr, true, false);
    } catch (const Json::parse_error& e) {
        const std::size_t ate = std::min<std::size_t>(e.byte > 0 ? e.byte - 1 : 0, leitura.texto.size());
        std::size_t linha = 1;
        std::size_t inicio = 0;
        for (std::size_t i = 0; i < ate; ++i) {
            if (leitura.texto[i] == '\n') {
                ++linha;
                inicio = i + 1;
            }
        }
        throw FormaInvalida(arquivo.string() + " n\u00E3o \u00E9 um JSON v\u00E1lido (linha " +
                            std::to_string(linha) + ", coluna " + std::to_string(ate - inicio + 1) +
                            ")", true);
    }
    if (!config.is_object()) {
        throw FormaInvalida(arquivo.string() + " n\u00E3o guarda um objeto JSON no n\u00EDvel de cima", true);
    }
    return config;
}

// The indentation the file already uses, so that a rewrite changes only what it must.
std::pair<int, char> recuoDe(std::string_view texto) {
    for (std::size_t i = texto.find('\n'); i != std::string_view::npos; i = texto.find('\n', i + 1)) {
        std::size_t j = i + 1;
        while (j < texto.size() && (texto[j] == ' ' || texto[j] == '\t')) ++j;
        if (j == i + 1 || j >= texto.size() || texto[j] == '\n' || texto[j] == '\r') continue;
        if (texto[i + 1] == '\t') return {1, '\t'};
        return {static_cast<int>(j - i - 1), ' '};
    }
    return {2, ' '};
}

std::string texto(const Json& config, std::pair<int, char> recuo) {
    return config.dump(recuo.first, recuo.second, false, Json::error_handler_t::strict) + "\n";
}

// Writes a new file that must not exist yet, with the old file's mode and owner when
// there was one. Returns 0 or the errno of the failure (the file is then removed).
int criarArquivo(const fs::path& caminho, std::string_view conteudo, const Leitura& antes) {
    const int fd = open(caminho.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return errno;
    if (antes.existe) {
        fchmod(fd, antes.info.st_mode & 07777);
        if (geteuid() == 0) {
            [[maybe_unused]] const int r = fchown(fd, antes.info.st_uid, antes.info.st_gid);
        }
    }
    int erro = escreverTudo(fd, conteudo) ? 0 : (errno != 0 ? errno : EIO);
    if (erro == 0 && fsync(fd) != 0) erro = errno;
    if (close(fd) != 0 && erro == 0) erro = errno;
    if (erro != 0) unlink(caminho.c_str());
    return erro;
}

std::string carimbo(std::time_t agora) {
    tm local{};
    localtime_r(&agora, &local);
    char t[32];
    const std::size_t n = strftime(t, sizeof t, "%Y%m%d-%H%M%S", &local);
    return std::string(t, n);
}

// Copies the previous file beside it, as "<name>.kivo-backup-YYYYmmdd-HHMMSS" (with
// "-2", "-3"... when that name is taken). Returns the copy's path.
fs::path guardarCopia(const fs::path& alvo, const Leitura& antes, std::time_t agora) {
    const std::string base = alvo.string() + ".kivo-backup-" + carimbo(agora);
    for (int n = 1; n < 100; ++n) {
        const fs::path copia = n == 1 ? fs::path(base) : fs::path(base + "-" + std::to_string(n));
        const int erro = criarArquivo(copia, antes.texto, antes);
        if (erro == 0) return copia;
        if (erro != EEXIST) {
            throw FormaInvalida("n\u00E3o consegui guardar a c\u00F3pia " + copia.string() + ": " +
                                erroDoSistema(erro));
        }
    }
    throw FormaInvalida("n\u00E3o achei um nome livre para a c\u00F3pia de " + alvo.string());
}

// Replaces the file atomically: a temporary file in the same folder, then a rename.
void substituir(const fs::path& alvo, std::string_view conteudo, const Leitura& antes) {
    const fs::path pasta = alvo.has_parent_path() ? alvo.parent_path() : fs::path(".");
    for (int n = 0;; ++n) {
        const fs::path temporario =
            pasta / ("." + alvo.filename().string() + ".kivo-" + std::to_string(getpid()) + "-" +
                     std::to_string(n));
        const int erro = criarArquivo(temporario, conteudo, antes);
        if (erro == EEXIST && n < 100) continue;
        if (erro != 0) {
            throw FormaInvalida("n\u00E3o consegui gravar em " + pasta.string() + ": " + erroDoSistema(erro));
        }
        if (rename(temporario.c_str(), alvo.c_str()) != 0) {
            const int e = errno;
            unlink(temporario.c_str());
            throw FormaInvalida("n\u00E3o consegui substituir " + alvo.string() + ": " + erroDoSistema(e));
        }
        break;
    }
    // The rename itself reaches the disk with the folder.
    if (const int fd = open(pasta.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

// ---- the two commands -----------------------------------------------------------

enum class Operacao { instalar, desinstalar };

std::string listaDe(const std::vector<Mudanca>& mudancas, Operacao op) {
    std::string t;
    for (const Mudanca& m : mudancas) {
        if (op == Operacao::desinstalar) {
            t += "  - " + m.evento;
            if (m.removidas > 1) t += " (" + std::to_string(m.removidas) + " entradas)";
        } else {
            t += (m.removidas == 0 ? "  + " : "  ~ ") + m.evento;
            if (!m.antigos.empty()) {
                t += " (substitui " + m.antigos.front();
                if (m.antigos.size() > 1) t += " e mais " + std::to_string(m.antigos.size() - 1);
                t += ")";
            } else if (m.removidas > 0) {
                t += " (entrada refeita)";
            }
        }
        t += "\n";
    }
    return t;
}

Resultado executar(const OpcoesInstalar& opcoes, Operacao op) {
    Resultado r;
    const fs::path alvo = alvoDe(opcoes.arquivo);
    const std::string onde =
        alvo == opcoes.arquivo ? alvo.string() : opcoes.arquivo.string() + " (\u2192 " + alvo.string() + ")";
    const std::string comando = comandoPara(opcoes.gancho);
    try {
        const Leitura antes = ler(alvo);
        if (!antes.existe && op == Operacao::desinstalar) {
            r.saida = "Nada a remover: " + onde + " n\u00E3o existe.\n";
            return r;
        }
        Json config = interpretar(antes, alvo);
        const std::vector<Mudanca> mudancas =
            op == Operacao::instalar ? registrar(config, comando, alvo) : remover(config, alvo);

        if (mudancas.empty()) {
            r.saida = op == Operacao::instalar
                          ? "Nada a mudar: " + comando + " j\u00E1 est\u00E1 registrado nos " +
                                std::to_string(eventosDoGancho.size()) + " eventos de " + onde + ".\n"
                          : "Nada a remover: o kivo_gancho n\u00E3o est\u00E1 registrado em " + onde + ".\n";
            return r;
        }

        const std::string novo = texto(config, recuoDe(antes.texto));
        const std::string lista = listaDe(mudancas, op);
        if (opcoes.mostrar) {
            r.saida = (op == Operacao::instalar ? "Registraria " + comando + " em " + onde + ":\n"
                                                : "Removeria o kivo_gancho de " + onde + ":\n") +
                      lista;
            r.saida += "Assim ficaria \"hooks\":\n";
            r.saida += config.contains("hooks") ? texto(config["hooks"], {2, ' '}) : "(removido)\n";
            r.saida += "Nada foi gravado (--mostrar).\n";
            return r;
        }

        if (!antes.existe && alvo.has_parent_path()) {
            std::error_code erro;
            fs::create_directories(alvo.parent_path(), erro);
            if (erro) {
                throw FormaInvalida("n\u00E3o consegui criar a pasta " + alvo.parent_path().string() +
                                    ": " + erro.message());
            }
        }
        std::optional<fs::path> copia;
        if (antes.existe) copia = guardarCopia(alvo, antes, opcoes.agora);
        substituir(alvo, novo, antes);

        if (op == Operacao::instalar) {
            r.saida = (antes.existe ? "Registrei " : "Criei " + onde + " e registrei ") + comando +
                      " (timeout de " + std::to_string(limiteDoGancho) + " s)" +
                      (antes.existe ? " em " + onde : std::string()) + ":\n" + lista;
        } else {
            r.saida = "Removi o kivo_gancho de " + onde + ":\n" + lista;
        }
        r.saida += copia ? "C\u00F3pia do arquivo anterior: " + copia->string() + "\n"
                         : "N\u00E3o havia arquivo antes, ent\u00E3o n\u00E3o h\u00E1 c\u00F3pia.\n";
        if (op == Operacao::instalar) {
            r.saida += "As pr\u00F3ximas sess\u00F5es do Claude Code aparecem no `kivo painel`.\n";
        }
    } catch (const FormaInvalida& e) {
        r.status = 1;
        r.erros = std::string("kivo: ") + e.what() + ".\nNada foi alterado.";
        if (e.doConteudo) {
            r.erros +=
                " O Claude Code ignora por inteiro um arquivo de configura\u00E7\u00F5es que n\u00E3o "
                "entende; corrija o arquivo e rode o comando de novo.";
        }
        r.erros += "\n";
        r.saida.clear();
    }
    return r;
}

}  // namespace

bool usaMatcher(std::string_view evento) {
    return evento == "PreToolUse" || evento == "PermissionRequest" || evento == "PostToolUse" ||
           evento == "PostToolUseFailure" || evento == "PermissionDenied";
}

std::string comandoPara(std::string_view caminho) {
    const bool simples = !caminho.empty() && caminho.find_first_not_of(
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789/._-+,:@%=") ==
        std::string_view::npos;
    if (simples) return std::string(caminho);
    std::string t = "'";
    for (const char c : caminho) {
        if (c == '\'') {
            t += "'\\''";
        } else {
            t += c;
        }
    }
    return t + "'";
}

bool ehComandoDoGancho(std::string_view comando) {
    const std::size_t inicio = comando.find_first_not_of(" \t\n");
    if (inicio == std::string_view::npos) return false;
    const std::size_t fim = comando.find_last_not_of(" \t\n");
    const std::string_view w = comando.substr(inicio, fim - inicio + 1);
    // Undo the shell's quoting of one word; anything that makes it more than one word
    // (a space, an operator, an expansion) means it is not just our command.
    std::string palavra;
    for (std::size_t i = 0; i < w.size(); ++i) {
        const char c = w[i];
        if (c == '\'') {
            const std::size_t f = w.find('\'', i + 1);
            if (f == std::string_view::npos) return false;
            palavra.append(w.substr(i + 1, f - i - 1));
            i = f;
        } else if (c == '"') {
            std::size_t j = i + 1;
            for (; j < w.size() && w[j] != '"'; ++j) {
                if (w[j] == '$' || w[j] == '`') return false;
                if (w[j] == '\\' && j + 1 < w.size() && std::strchr("\"\\$`", w[j + 1]) != nullptr) ++j;
                palavra += w[j];
            }
            if (j >= w.size()) return false;
            i = j;
        } else if (c == '\\') {
            if (i + 1 >= w.size()) return false;
            palavra += w[++i];
        } else if (std::strchr(" \t\n;&|<>()$`*?[]{}~#!", c) != nullptr) {
            return false;
        } else {
            palavra += c;
        }
    }
    const std::size_t barra = palavra.rfind('/');
    return std::string_view(palavra).substr(barra == std::string::npos ? 0 : barra + 1) == "kivo_gancho";
}

fs::path arquivoPadrao() {
    if (const char* d = std::getenv("CLAUDE_CONFIG_DIR"); d && *d) return fs::path(d) / "settings.json";
    std::string casa;
    if (const char* h = std::getenv("HOME"); h && *h) {
        casa = h;
    } else if (const passwd* p = getpwuid(getuid()); p && p->pw_dir) {
        casa = p->pw_dir;
    }
    return fs::path(casa) / ".claude" / "settings.json";
}

std::optional<std::string> localizarGancho(const std::optional<std::string>& dado,
                                           const fs::path& executavel, std::string& erro) {
    std::error_code ec;
    fs::path caminho;
    if (dado) {
        caminho = fs::absolute(*dado, ec).lexically_normal();
        if (ec) caminho = *dado;
    } else {
        caminho = executavel.parent_path() / "kivo_gancho";
    }
    const fs::file_status s = fs::status(caminho, ec);
    if (!fs::is_regular_file(s) || access(caminho.c_str(), X_OK) != 0) {
        erro = dado ? "kivo: " + caminho.string() + " n\u00E3o \u00E9 um arquivo execut\u00E1vel.\n"
                    : "kivo: n\u00E3o achei o kivo_gancho ao lado do kivo (" + caminho.string() +
                          "). Indique onde ele est\u00E1 com --gancho CAMINHO.\n";
        return std::nullopt;
    }
    return caminho.string();
}

Resultado instalar(const OpcoesInstalar& opcoes) { return executar(opcoes, Operacao::instalar); }

Resultado desinstalar(const OpcoesInstalar& opcoes) { return executar(opcoes, Operacao::desinstalar); }

}  // namespace kivo::app
