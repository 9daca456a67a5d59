#include "instalar/instalar.hpp"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <system_error>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "base/descritor.hpp"
#include "base/texto.hpp"

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

// ---- edits that keep every other byte -------------------------------------------

// Where a top-level member sits in the file's text: from its key's opening quote to
// the end of its value.
struct Membro {
    std::string chave;
    std::size_t inicioChave = 0;
    std::size_t inicioValor = 0;
    std::size_t fimValor = 0;
};

// The top-level object of a text that nlohmann has already accepted: its braces and
// members, in order.
struct Estrutura {
    std::size_t abre = 0;
    std::size_t fecha = 0;
    std::vector<Membro> membros;
};

std::size_t pularEspacos(std::string_view t, std::size_t i) {
    while (i < t.size() && (t[i] == ' ' || t[i] == '\t' || t[i] == '\n' || t[i] == '\r')) ++i;
    return i;
}

// From an opening quote to just after the closing one.
std::size_t pularTexto(std::string_view t, std::size_t i) {
    for (++i; i < t.size(); ++i) {
        if (t[i] == '\\') {
            ++i;
        } else if (t[i] == '"') {
            return i + 1;
        }
    }
    return t.size();
}

// From the first byte of a value to just after it.
std::size_t pularValor(std::string_view t, std::size_t i) {
    if (i >= t.size()) return i;
    if (t[i] == '"') return pularTexto(t, i);
    if (t[i] == '{' || t[i] == '[') {
        int nivel = 0;
        while (i < t.size()) {
            const char c = t[i];
            if (c == '"') {
                i = pularTexto(t, i);
                continue;
            }
            if (c == '{' || c == '[') ++nivel;
            if (c == '}' || c == ']') --nivel;
            ++i;
            if (nivel == 0) return i;
        }
        return i;
    }
    while (i < t.size() && std::strchr(",}] \t\r\n", t[i]) == nullptr) ++i;
    return i;
}

Estrutura estruturaDe(std::string_view t) {
    Estrutura e;
    constexpr std::string_view bom = "\xEF\xBB\xBF";  // the parser skips it too
    std::size_t i = pularEspacos(t, t.substr(0, bom.size()) == bom ? bom.size() : 0);
    e.abre = i;
    i = pularEspacos(t, i + 1);
    while (i < t.size() && t[i] == '"') {
        Membro m;
        m.inicioChave = i;
        const std::size_t fimChave = pularTexto(t, i);
        m.chave = Json::parse(t.substr(i, fimChave - i)).get<std::string>();
        i = pularEspacos(t, fimChave);  // at ':'
        m.inicioValor = pularEspacos(t, i + 1);
        m.fimValor = pularValor(t, m.inicioValor);
        e.membros.push_back(std::move(m));
        i = pularEspacos(t, e.membros.back().fimValor);
        if (i < t.size() && t[i] == ',') i = pularEspacos(t, i + 1);
    }
    e.fecha = i;  // at '}'
    return e;
}

// The blanks that start the line of `pos`, when only blanks stand before it there.
std::optional<std::string> recuoDaLinha(std::string_view t, std::size_t pos) {
    const std::size_t inicio = t.rfind('\n', pos == 0 ? 0 : pos - 1);
    const std::size_t de = inicio == std::string_view::npos ? 0 : inicio + 1;
    const std::string_view antes = t.substr(de, pos - de);
    if (antes.find_first_not_of(" \t") != std::string_view::npos) return std::nullopt;
    return std::string(antes);
}

// `valor` as the text of a member: spread over lines with the file's indentation
// step, every line after the first starting with the member's own indentation; or
// on one line when the file keeps its top-level object on one line.
std::string valorComo(const Json& valor, bool umaLinha, std::pair<int, char> recuo, const std::string& base) {
    if (umaLinha) return valor.dump(-1, ' ', false, Json::error_handler_t::strict);
    const std::string bruto = valor.dump(recuo.first, recuo.second, false, Json::error_handler_t::strict);
    std::string t;
    for (const char c : bruto) {
        t += c;
        if (c == '\n') t += base;
    }
    return t;
}

// The text with the top-level member `chave` set to `valor` (added when missing),
// or removed when `valor` is nullopt. Everything outside that member stays as it was.
std::string trocarMembro(const std::string& original, const std::string& chave, const std::optional<Json>& valor) {
    const Estrutura e = estruturaDe(original);
    const bool umaLinha = original.substr(e.abre, e.fecha - e.abre).find('\n') == std::string::npos;
    const std::pair<int, char> recuo = recuoDe(original);
    const std::string passo(static_cast<std::size_t>(recuo.first), recuo.second);
    std::optional<std::size_t> achado;
    for (std::size_t k = 0; k < e.membros.size(); ++k) {
        if (e.membros[k].chave == chave) achado = k;  // the last one counts, as for the parser
    }
    std::string t = original;
    if (achado) {
        const Membro& m = e.membros[*achado];
        if (valor) {
            const std::string base = recuoDaLinha(original, m.inicioChave).value_or(passo);
            return t.replace(m.inicioValor, m.fimValor - m.inicioValor, valorComo(*valor, umaLinha, recuo, base));
        }
        if (*achado > 0) {
            // From the end of the member before it: its comma and line go with it.
            const std::size_t de = e.membros[*achado - 1].fimValor;
            return t.erase(de, m.fimValor - de);
        }
        if (e.membros.size() > 1) return t.erase(m.inicioChave, e.membros[1].inicioChave - m.inicioChave);
        return t.erase(e.abre + 1, e.fecha - e.abre - 1);
    }
    if (!valor) return t;
    const std::string nome = Json(chave).dump();
    if (e.membros.empty()) {
        if (umaLinha) return t.replace(e.abre, e.fecha + 1 - e.abre, "{" + nome + ":" + valorComo(*valor, true, recuo, "") + "}");
        const std::string membro = passo + nome + ": " + valorComo(*valor, false, recuo, passo);
        return t.replace(e.abre, e.fecha + 1 - e.abre, "{\n" + membro + "\n}");
    }
    const Membro& ultimo = e.membros.back();
    if (umaLinha) {
        const bool comEspaco = original.compare(ultimo.inicioValor - 2, 2, ": ") == 0;
        return t.insert(ultimo.fimValor, ", " + nome + (comEspaco ? ": " : ":") + valorComo(*valor, true, recuo, ""));
    }
    const std::string base = recuoDaLinha(original, ultimo.inicioChave).value_or(passo);
    return t.insert(ultimo.fimValor, ",\n" + base + nome + ": " + valorComo(*valor, false, recuo, base));
}

// The file's new text: `original` with the members in `trocas` set or removed, or the
// whole object written afresh when the file was missing or blank.
std::string novoTexto(const Leitura& antes, const Json& config,
                      const std::vector<std::pair<std::string, std::optional<Json>>>& trocas) {
    if (!antes.existe || soEspacos(antes.texto)) return texto(config, recuoDe(antes.texto));
    std::string t = antes.texto;
    try {
        for (const auto& [chave, valor] : trocas) t = trocarMembro(t, chave, valor);
        // The edited text must say exactly what was meant, or nothing is written.
        if (Json::parse(t, nullptr, true, false) == config) return t;
    } catch (const std::exception&) {
    }
    throw FormaInvalida("n\u00E3o consegui editar o arquivo mantendo o resto dele como est\u00E1");
}

// Writes a new file that must not exist yet, created with `modo` (the old file's
// mode when there was one) and, for root, the old owner. Returns 0 or the errno of
// the failure (the file is then removed).
int criarArquivo(const fs::path& caminho, std::string_view conteudo, const Leitura& antes) {
    const mode_t modo = antes.existe ? (antes.info.st_mode & 07777) : 0666;
    const int fd = open(caminho.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, modo);
    if (fd < 0) return errno;
    if (antes.existe) {
        fchmod(fd, modo);  // the bits the umask took off (never more than the old file had)
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

bool mesmoArquivo(const fs::path& alvo, const Leitura& antes) {
    struct stat agora {};
    if (lstat(alvo.c_str(), &agora) != 0) return !antes.existe && errno == ENOENT;
    if (!antes.existe) return false;
#ifdef __APPLE__
    const bool mesmaHora = agora.st_mtimespec.tv_sec == antes.info.st_mtimespec.tv_sec &&
                           agora.st_mtimespec.tv_nsec == antes.info.st_mtimespec.tv_nsec;
#else
    const bool mesmaHora = agora.st_mtim.tv_sec == antes.info.st_mtim.tv_sec &&
                           agora.st_mtim.tv_nsec == antes.info.st_mtim.tv_nsec;
#endif
    return agora.st_ino == antes.info.st_ino && agora.st_dev == antes.info.st_dev &&
           agora.st_size == antes.info.st_size && mesmaHora;
}

// Replaces the file atomically: a temporary file in the same folder, then a rename,
// provided the file is still the one read (same inode, size and modification time).
// False, with nothing changed, when it is not.
bool substituir(const fs::path& alvo, std::string_view conteudo, const Leitura& antes,
                const std::function<void()>& antesDeTrocar) {
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
        if (antesDeTrocar) antesDeTrocar();
        if (!mesmoArquivo(alvo, antes)) {
            unlink(temporario.c_str());
            return false;
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
    return true;
}

// A file the user cannot or should not replace: read-only (no write permission for
// anyone, or not for us), or someone else's.
void conferirPermissao(const fs::path& alvo, const Leitura& antes) {
    if (!antes.existe) return;
    if ((antes.info.st_mode & 0222) == 0 || access(alvo.c_str(), W_OK) != 0) {
        throw FormaInvalida(alvo.string() + " \u00E9 s\u00F3 de leitura; para deixar o kivo mud\u00E1-lo, "
                            "d\u00EA permiss\u00E3o de escrita (chmod u+w) e rode de novo");
    }
    if (geteuid() != 0 && antes.info.st_uid != geteuid()) {
        throw FormaInvalida(alvo.string() + " pertence a outro usu\u00E1rio; rode o comando como o dono dele");
    }
}

// Whether `t` is valid UTF-8, as the JSON library judges it when writing the file.
bool utf8Valido(std::string_view t) {
    try {
        (void)Json(std::string(t)).dump();
        return true;
    } catch (const Json::type_error&) {
        return false;
    }
}

// Creates the data folder for the user alone; says so, or warns when an existing
// one is open to other accounts.
std::string prepararPastaDeDados(const fs::path& pasta) {
    if (pasta.empty()) return "";
    struct stat info {};
    if (stat(pasta.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode) && (info.st_mode & 077) != 0) {
            char modo[8];
            std::snprintf(modo, sizeof modo, "%03o", static_cast<unsigned>(info.st_mode & 0777));
            return "Aviso: outras contas desta m\u00E1quina podem ler " + pasta.string() + " (modo " + modo +
                   "), onde ficam os t\u00EDtulos dos pedidos e as respostas dos agentes. Para fechar: chmod 700 " +
                   pasta.string() + "\n";
        }
        return "";
    }
    std::error_code erro;
    if (pasta.has_parent_path()) fs::create_directories(pasta.parent_path(), erro);
    if (mkdir(pasta.c_str(), 0700) != 0) {
        return "Aviso: n\u00E3o consegui criar a pasta dos registros " + pasta.string() + ": " +
               erroDoSistema(errno) + "\n";
    }
    return "Criei a pasta dos registros, " + pasta.string() + ", s\u00F3 para voc\u00EA (modo 700).\n";
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

// What happens to "statusLine": nothing, set to kivo's line, or removed.
enum class Linha { igual, posta, tirada, alheia };

Linha decidirLinha(Json& config, const OpcoesInstalar& opcoes, Operacao op) {
    const auto it = config.find("statusLine");
    const bool nossa = it != config.end() && it->is_object() && it->contains("command") &&
                       (*it)["command"].is_string() &&
                       ehComandoDaLinha((*it)["command"].get_ref<const std::string&>());
    if (op == Operacao::desinstalar) {
        if (!nossa) return Linha::igual;
        config.erase("statusLine");
        return Linha::tirada;
    }
    if (!opcoes.linha) return Linha::igual;
    const std::string comando = comandoDaLinha(opcoes.kivo);
    if (it == config.end()) {
        config["statusLine"] = Json{{"type", "command"}, {"command", comando}};
        return Linha::posta;
    }
    if (nossa) {
        if ((*it)["command"] == comando) return Linha::igual;
        (*it)["command"] = comando;
        return Linha::posta;
    }
    return Linha::alheia;
}

std::string comoJuntarLinhas(const std::string& onde, const std::string& kivo) {
    return "Voc\u00EA j\u00E1 tem uma linha de status (\"statusLine\") em " + onde +
           "; ela ficou como estava.\nPara ver a do kivo ao lado da sua, fa\u00E7a o seu comando ler a entrada "
           "uma vez e pass\u00E1-la aos dois, por exemplo num script:\n"
           "    entrada=$(cat)\n"
           "    printf '%s' \"$entrada\" | SEU_COMANDO_DE_AGORA\n"
           "    printf ' \u00B7 '\n"
           "    printf '%s' \"$entrada\" | " + comandoDaLinha(kivo) + "\n";
}

// One reading, change and replacement of the file. nullopt when the file changed
// between the reading and the replacement (the caller starts again).
std::optional<Resultado> tentar(const OpcoesInstalar& opcoes, Operacao op, const fs::path& alvo,
                                const std::string& onde) {
    Resultado r;
    const std::string comando = comandoPara(opcoes.gancho);
    const Leitura antes = ler(alvo);
    if (!antes.existe && op == Operacao::desinstalar) {
        r.saida = "Nada a remover: " + onde + " n\u00E3o existe.\n";
        return r;
    }
    Json config = interpretar(antes, alvo);
    const std::vector<Mudanca> mudancas =
        op == Operacao::instalar ? registrar(config, comando, alvo) : remover(config, alvo);
    const Linha linha = decidirLinha(config, opcoes, op);
    const std::string sobreLinha = linha == Linha::alheia ? comoJuntarLinhas(onde, opcoes.kivo) : "";

    if (mudancas.empty() && (linha == Linha::igual || linha == Linha::alheia)) {
        r.saida = op == Operacao::instalar
                      ? "Nada a mudar: " + comando + " j\u00E1 est\u00E1 registrado nos " +
                            std::to_string(eventosDoGancho.size()) + " eventos de " + onde + ".\n"
                      : "Nada a remover: o kivo n\u00E3o est\u00E1 registrado em " + onde + ".\n";
        r.saida += sobreLinha;
        return r;
    }

    std::vector<std::pair<std::string, std::optional<Json>>> trocas;
    if (!mudancas.empty()) {
        trocas.emplace_back("hooks", config.contains("hooks") ? std::optional<Json>(config["hooks"]) : std::nullopt);
    }
    if (linha == Linha::posta || linha == Linha::tirada) {
        trocas.emplace_back("statusLine",
                            config.contains("statusLine") ? std::optional<Json>(config["statusLine"]) : std::nullopt);
    }
    const std::string novo = novoTexto(antes, config, trocas);
    std::string lista = listaDe(mudancas, op);
    if (linha == Linha::posta) lista += "  + statusLine: " + comandoDaLinha(opcoes.kivo) + "\n";
    if (linha == Linha::tirada) lista += "  - statusLine\n";
    if (opcoes.mostrar) {
        r.saida = (op == Operacao::instalar ? "Registraria " + comando + " em " + onde + ":\n"
                                            : "Removeria o kivo de " + onde + ":\n") +
                  lista;
        r.saida += "Assim ficaria \"hooks\":\n";
        r.saida += config.contains("hooks") ? texto(config["hooks"], {2, ' '}) : "(removido)\n";
        r.saida += sobreLinha;
        r.saida += "Nada foi gravado (--mostrar).\n";
        return r;
    }

    conferirPermissao(alvo, antes);
    if (!antes.existe && alvo.has_parent_path()) {
        std::error_code erro;
        fs::create_directories(alvo.parent_path(), erro);
        if (erro) {
            throw FormaInvalida("n\u00E3o consegui criar a pasta " + alvo.parent_path().string() + ": " +
                                erro.message());
        }
    }
    std::optional<fs::path> copia;
    if (antes.existe) copia = guardarCopia(alvo, antes, opcoes.agora);
    if (!substituir(alvo, novo, antes, opcoes.antesDeTrocar)) {
        if (copia) unlink(copia->c_str());
        return std::nullopt;
    }

    if (op == Operacao::instalar) {
        r.saida = (antes.existe ? "Registrei " : "Criei " + onde + " e registrei ") + comando + " (timeout de " +
                  std::to_string(limiteDoGancho) + " s)" + (antes.existe ? " em " + onde : std::string()) +
                  ":\n" + lista;
    } else {
        r.saida = "Removi o kivo de " + onde + ":\n" + lista;
    }
    r.saida += copia ? "C\u00F3pia do arquivo anterior: " + copia->string() + "\n"
                     : "N\u00E3o havia arquivo antes, ent\u00E3o n\u00E3o h\u00E1 c\u00F3pia.\n";
    r.saida += sobreLinha;
    if (op == Operacao::instalar) {
        r.saida += "As pr\u00F3ximas sess\u00F5es do Claude Code aparecem no `kivo painel`.\n";
    }
    return r;
}

Resultado executar(const OpcoesInstalar& opcoes, Operacao op) {
    Resultado r;
    const fs::path alvo = alvoDe(opcoes.arquivo);
    const std::string onde =
        alvo == opcoes.arquivo ? alvo.string() : opcoes.arquivo.string() + " (\u2192 " + alvo.string() + ")";
    try {
        if (op == Operacao::instalar && (!utf8Valido(opcoes.gancho) || !utf8Valido(opcoes.kivo))) {
            throw FormaInvalida("o caminho " + limpo(opcoes.gancho) +
                                " n\u00E3o \u00E9 UTF-8, e o arquivo de configura\u00E7\u00F5es \u00E9 JSON "
                                "(s\u00F3 UTF-8); instale o kivo numa pasta de nome UTF-8");
        }
        std::string pasta;
        if (op == Operacao::instalar && !opcoes.mostrar) pasta = prepararPastaDeDados(opcoes.pastaDados);
        constexpr int tentativas = 5;
        for (int n = 1;; ++n) {
            if (std::optional<Resultado> feito = tentar(opcoes, op, alvo, onde)) {
                r = std::move(*feito);
                break;
            }
            if (n == tentativas) {
                throw FormaInvalida(alvo.string() + " mudou " + std::to_string(tentativas) +
                                    " vezes enquanto eu o gravava (o Claude Code pode estar mexendo nele); "
                                    "rode o comando de novo");
            }
        }
        r.saida = pasta + r.saida;
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

namespace {

std::string entreAspas(std::string_view texto) {
    std::string t = "'";
    for (const char c : texto) {
        if (c == '\'') {
            t += "'\\''";
        } else {
            t += c;
        }
    }
    return t + "'";
}

// The words of a simple shell command, quotes undone; nullopt when anything would
// make the shell do more than run one program with fixed words (an operator, an
// expansion, a pattern, an unclosed quote).
std::optional<std::vector<std::string>> palavras(std::string_view w) {
    std::vector<std::string> lista;
    std::string palavra;
    bool dentro = false;  // inside a word
    for (std::size_t i = 0; i < w.size(); ++i) {
        const char c = w[i];
        if (c == ' ' || c == '\t' || c == '\n') {
            if (dentro) lista.push_back(std::move(palavra));
            palavra.clear();
            dentro = false;
            continue;
        }
        dentro = true;
        if (c == '\'') {
            const std::size_t f = w.find('\'', i + 1);
            if (f == std::string_view::npos) return std::nullopt;
            palavra.append(w.substr(i + 1, f - i - 1));
            i = f;
        } else if (c == '"') {
            std::size_t j = i + 1;
            for (; j < w.size() && w[j] != '"'; ++j) {
                if (w[j] == '$' || w[j] == '`') return std::nullopt;
                if (w[j] == '\\' && j + 1 < w.size() && std::strchr("\"\\$`", w[j + 1]) != nullptr) ++j;
                palavra += w[j];
            }
            if (j >= w.size()) return std::nullopt;
            i = j;
        } else if (c == '\\') {
            if (i + 1 >= w.size()) return std::nullopt;
            palavra += w[++i];
        } else if (std::strchr(";&|<>()$`*?[]{}~#!", c) != nullptr) {
            return std::nullopt;
        } else {
            palavra += c;
        }
    }
    if (dentro) lista.push_back(std::move(palavra));
    return lista;
}

bool terminaEm(std::string_view caminho, std::string_view nome) {
    const std::size_t barra = caminho.rfind('/');
    return caminho.substr(barra == std::string_view::npos ? 0 : barra + 1) == nome;
}

constexpr std::string_view prefixoDoPid = "CLAUDE_PID=$PPID exec ";

}  // namespace

std::string comandoPara(std::string_view caminho) {
    return std::string(prefixoDoPid) + entreAspas(caminho);
}

bool ehComandoDoGancho(std::string_view comando) {
    const std::size_t inicio = comando.find_first_not_of(" \t\n");
    if (inicio == std::string_view::npos) return false;
    comando.remove_prefix(inicio);
    // The current form sets the agent's pid first; the earlier one is the path alone.
    if (comando.substr(0, prefixoDoPid.size()) == prefixoDoPid) comando.remove_prefix(prefixoDoPid.size());
    const auto lista = palavras(comando);
    return lista && lista->size() == 1 && terminaEm(lista->front(), "kivo_gancho");
}

std::string comandoDaLinha(std::string_view caminho) { return entreAspas(caminho) + " linha"; }

bool ehComandoDaLinha(std::string_view comando) {
    const auto lista = palavras(comando);
    if (!lista || lista->size() < 2 || !terminaEm((*lista)[0], "kivo") || (*lista)[1] != "linha") return false;
    return std::all_of(lista->begin() + 2, lista->end(),
                       [](const std::string& p) { return p.rfind("--", 0) == 0 || std::isdigit(static_cast<unsigned char>(p[0])); });
}

fs::path executavelInvocado(std::string_view argv0, const char* path, const fs::path& resolvido) {
    if (argv0.empty()) return resolvido;
    std::error_code erro;
    fs::path invocado;
    if (argv0.find('/') != std::string_view::npos) {
        invocado = fs::absolute(fs::path(argv0), erro).lexically_normal();
        if (erro) return resolvido;
    } else {
        std::string_view resto = path ? path : "";
        while (!resto.empty() && invocado.empty()) {
            const std::size_t dois = resto.find(':');
            const std::string_view pasta = resto.substr(0, dois);
            resto.remove_prefix(dois == std::string_view::npos ? resto.size() : dois + 1);
            if (pasta.empty() || pasta.front() != '/') continue;  // only absolute entries
            const fs::path candidato = fs::path(pasta) / fs::path(argv0);
            if (access(candidato.c_str(), X_OK) == 0) invocado = candidato.lexically_normal();
        }
    }
    if (invocado.empty() || !fs::is_regular_file(invocado.parent_path() / "kivo_gancho", erro)) return resolvido;
    return invocado;
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
