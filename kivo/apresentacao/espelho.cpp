#include "apresentacao/espelho.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cmath>
#include <iterator>
#include <nlohmann/json.hpp>

#include "apresentacao/apresentacao.hpp"
#include "apresentacao/registros.hpp"
#include "arquivos.hpp"
#include "base/texto.hpp"
#include "kivo/armazem.hpp"

namespace kivo::app {

namespace {

using Json = nlohmann::json;

constexpr std::size_t kNomeMaximo = 255;

// A machine's file: at most its stream's line, with room for the members around it.
constexpr std::size_t kArquivoMaximo = kLinhaMaxima + 64 * 1024;

// The record in `valor`, decoded as the store decodes a file, with its texts cut; or
// nullopt. Its id must be what the store would name the file by, so that no id
// carries a path ("/", "..") or tells two records apart only by what the store drops.
std::optional<Sessao> registro(const Json& valor) {
    if (!valor.is_object()) return std::nullopt;
    std::optional<Sessao> s = sessaoDeJson(valor.dump(-1, ' ', false, Json::error_handler_t::replace));
    if (!s || s->id.empty() || s->id.size() > kNomeMaximo || Armazem::nomeSeguro(s->id) != s->id) return std::nullopt;
    cortarParaExibir(*s);
    return s;
}

std::optional<std::string> lerLimitado(const std::string& caminho) {
    const int fd = open(caminho.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW);
    if (fd < 0) return std::nullopt;
    std::optional<std::string> texto;
    struct stat info {};
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && static_cast<std::size_t>(info.st_size) <= kArquivoMaximo) {
        std::string b(static_cast<std::size_t>(info.st_size) + 1, '\0');
        std::size_t lidos = 0;
        for (;;) {
            const ssize_t n = read(fd, b.data() + lidos, b.size() - lidos);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            lidos += static_cast<std::size_t>(n);
            if (lidos == b.size()) break;  // grew while read: too long now
        }
        if (lidos < b.size()) {
            b.resize(lidos);
            texto = std::move(b);
        }
    }
    close(fd);
    return texto;
}

}  // namespace

bool semContato(const Maquina& maquina, double agora) {
    return !maquina.conectado || !(agora - maquina.contato <= kSilencioMaximo);
}

ProcessoVivo vivoNaMaquina(const Maquina& maquina) {
    return [vivos = maquina.vivos](std::int32_t pid) { return vivos.count(pid) > 0; };
}

std::filesystem::path pastaDosEspelhos(const std::filesystem::path& sessoes) {
    return sessoes.parent_path() / "espelhos";
}

std::string sessoesJson(std::string_view extra, const std::vector<Sessao>& sessoes,
                        const std::set<std::int32_t>& vivos) {
    std::string t = "{";
    t += extra;
    t += extra.empty() ? "\"sessoes\":[" : ",\"sessoes\":[";
    bool primeira = true;
    std::size_t incluidas = 0;
    std::set<std::int32_t> pids;
    for (const Sessao& s : sessoes) {
        if (incluidas >= kSessoesPorMaquina) break;
        std::string registro;
        try {
            registro = paraJson(s);
        } catch (const std::domain_error&) {
            continue;  // a time that is not finite, or a text that is not UTF-8
        }
        if (!primeira) t += ',';
        primeira = false;
        t += registro;
        ++incluidas;
        if (s.pid) pids.insert(*s.pid);
    }
    t += "],\"vivos\":";
    t += '[';
    bool primeiro = true;
    for (const std::int32_t pid : vivos) {
        if (!pids.count(pid)) continue;
        if (!primeiro) t += ',';
        primeiro = false;
        t += std::to_string(pid);
    }
    t += "]}";
    return t;
}

static std::optional<Conjunto> conjuntoDe(const Json& objeto) {
    if (!objeto.is_object()) return std::nullopt;
    const auto sessoes = objeto.find("sessoes");
    if (sessoes == objeto.end() || !sessoes->is_array()) return std::nullopt;
    Conjunto c;
    std::set<std::string> ids;
    std::set<std::int32_t> pids;
    for (const Json& valor : *sessoes) {
        if (c.sessoes.size() >= kSessoesPorMaquina) break;
        std::optional<Sessao> s = registro(valor);
        if (!s || !ids.insert(s->id).second) continue;
        if (s->pid) pids.insert(*s->pid);
        c.sessoes.push_back(std::move(*s));
    }
    if (const auto vivos = objeto.find("vivos"); vivos != objeto.end() && vivos->is_array()) {
        for (const Json& pid : *vivos) {
            if (!pid.is_number_integer()) continue;
            const std::int64_t v = pid.get<std::int64_t>();
            if (v >= INT32_MIN && v <= INT32_MAX && pids.count(static_cast<std::int32_t>(v))) {
                c.vivos.insert(static_cast<std::int32_t>(v));
            }
        }
    }
    return c;
}

std::optional<Conjunto> lerConjunto(std::string_view texto) {
    return conjuntoDe(Json::parse(texto, nullptr, false));
}

Espelhadas espelhadas(const std::vector<Maquina>& maquinas, double agora) {
    Espelhadas e;
    for (const Maquina& m : maquinas) {
        const bool longe = semContato(m, agora);
        const ProcessoVivo vivo = vivoNaMaquina(m);
        std::string rotulo = m.nome;
        std::replace(rotulo.begin(), rotulo.end(), '/', '-');
        for (Sessao s : m.sessoes) {
            Remota r{.maquina = m.nome, .id = s.id, .semContato = longe, .contato = m.contato, .aviso = m.aviso};
            s.id += "@" + m.nome;
            s.cwd = "/" + rotulo + " \u00B7 " + s.projeto();
            if (s.pid) s.pid = vivo(*s.pid) ? std::nullopt : std::optional<std::int32_t>(kPidEncerrado);
            if (longe && s.estado == Estado::trabalhando) s.estado = Estado::ocioso;
            e.remotas.insert_or_assign(s.id, std::move(r));
            e.sessoes.push_back(std::move(s));
        }
    }
    return e;
}

Espelhadas lerComEspelhos(const std::filesystem::path& sessoes, double agora) {
    Espelhadas e = espelhadas(lerMaquinas(pastaDosEspelhos(sessoes)), agora);
    std::vector<Sessao> daqui = lerRegistros(sessoes);
    e.sessoes.insert(e.sessoes.begin(), std::make_move_iterator(daqui.begin()), std::make_move_iterator(daqui.end()));
    return e;
}

bool gravarMaquina(const std::filesystem::path& pasta, const Maquina& maquina) {
    Json extra = Json::object();
    extra["maquina"] = maquina.nome;
    extra["contato"] = std::isfinite(maquina.contato) ? maquina.contato : 0.0;
    extra["conectado"] = maquina.conectado;
    extra["aviso"] = maquina.aviso;
    extra["programa"] = maquina.programa;
    std::string membros = extra.dump(-1, ' ', false, Json::error_handler_t::replace);
    membros = membros.substr(1, membros.size() - 2);  // without its braces
    const std::string texto = sessoesJson(membros, maquina.sessoes, maquina.vivos);
    if (arquivos::criarPastas(pasta.native()) != 0) return false;
    return arquivos::substituir(pasta.native(), Armazem::nomeSeguro(maquina.nome) + ".json", texto, {.modo = 0600})
               .erro == 0;
}

void apagarMaquina(const std::filesystem::path& pasta, std::string_view nome) {
    unlink((pasta / (Armazem::nomeSeguro(nome) + ".json")).c_str());
}

std::vector<Maquina> lerMaquinas(const std::filesystem::path& pasta) {
    std::vector<Maquina> maquinas;
    for (const std::string& nome : arquivos::listar(pasta.native())) {
        if (nome.empty() || nome[0] == '.' || nome.size() < 6 || nome.substr(nome.size() - 5) != ".json") continue;
        const std::optional<std::string> texto = lerLimitado(arquivos::juntar(pasta.native(), nome));
        if (!texto) continue;
        const Json objeto = Json::parse(*texto, nullptr, false);
        std::optional<Conjunto> conjunto = conjuntoDe(objeto);
        if (!conjunto) continue;
        Maquina m;
        const auto nomeDado = objeto.find("maquina");
        if (nomeDado == objeto.end() || !nomeDado->is_string() || nomeDado->get<std::string>().empty()) continue;
        m.nome = limpo(nomeDado->get<std::string>().substr(0, kNomeMaximo));
        if (const auto c = objeto.find("contato"); c != objeto.end() && c->is_number()) m.contato = c->get<double>();
        if (const auto c = objeto.find("conectado"); c != objeto.end() && c->is_boolean()) m.conectado = c->get<bool>();
        if (const auto a = objeto.find("aviso"); a != objeto.end() && a->is_string()) {
            m.aviso = limpo(a->get<std::string>().substr(0, kTextoExibido));
        }
        if (const auto p = objeto.find("programa"); p != objeto.end() && p->is_string() && !p->get<std::string>().empty()) {
            m.programa = p->get<std::string>().substr(0, 4096);
        }
        m.sessoes = std::move(conjunto->sessoes);
        m.vivos = std::move(conjunto->vivos);
        maquinas.push_back(std::move(m));
    }
    std::sort(maquinas.begin(), maquinas.end(), [](const Maquina& a, const Maquina& b) { return a.nome < b.nome; });
    return maquinas;
}

}  // namespace kivo::app
