#include "apresentacao/consumo.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <set>

#include <nlohmann/json.hpp>

#include "arquivos.hpp"
#include "base/texto.hpp"
#include "kivo/armazem.hpp"

namespace kivo::app {

namespace {

constexpr int colunasDoModelo = 60;
constexpr std::size_t bytesDoModelo = 240;  // read of a name before it is cleaned
constexpr double custoMaximo = 1e9;          // above this a cost is nonsense
constexpr std::size_t tamanhoMaximo = 1024;  // of a file; ours take about 100 bytes

// At most `n` bytes of `texto`, not ending inside a UTF-8 sequence.
std::string_view inicio(std::string_view texto, std::size_t n) {
    if (texto.size() <= n) return texto;
    while (n > 0 && (static_cast<unsigned char>(texto[n]) & 0xC0) == 0x80) --n;
    return texto.substr(0, n);
}

std::optional<std::string> modeloLimpo(std::string_view bruto) {
    std::string t = caber(limpo(inicio(bruto, bytesDoModelo)), colunasDoModelo);
    const std::size_t a = t.find_first_not_of(' ');
    if (a == std::string::npos) return std::nullopt;
    return t.substr(a, t.find_last_not_of(' ') - a + 1);
}

std::optional<double> contextoValido(double v) {
    if (!std::isfinite(v) || v < 0) return std::nullopt;
    return std::min(v, 100.0);
}

std::optional<double> custoValido(double v) {
    if (!std::isfinite(v) || v < 0 || v >= custoMaximo) return std::nullopt;
    return v;
}

using Json = nlohmann::json;

const Json* membro(const Json& objeto, const char* nome) {
    if (!objeto.is_object()) return nullptr;
    const auto it = objeto.find(nome);
    return it == objeto.end() ? nullptr : &*it;
}

std::optional<double> numero(const Json* valor) {
    if (!valor || !valor->is_number()) return std::nullopt;
    return valor->get<double>();
}

// The tokens the window holds now (the last request's input, cached or not) over its
// size. The "total_*" counts add up the whole conversation and are not what it holds.
std::optional<double> contextoDasFichas(const Json& janela) {
    const Json* uso = membro(janela, "current_usage");
    const std::optional<double> tamanho = numero(membro(janela, "context_window_size"));
    if (!uso || !uso->is_object() || !tamanho || !(*tamanho > 0)) return std::nullopt;
    const std::optional<double> entrada = numero(membro(*uso, "input_tokens"));
    if (!entrada) return std::nullopt;
    double total = *entrada;
    for (const char* nome : {"cache_creation_input_tokens", "cache_read_input_tokens"}) {
        const Json* v = membro(*uso, nome);
        if (v && !v->is_null()) {
            if (!v->is_number()) return std::nullopt;
            total += v->get<double>();
        }
    }
    return contextoValido(total / *tamanho * 100);
}

std::string numeroEmTexto(double v) {
    char b[64];
    const auto r = std::to_chars(b, b + sizeof b, v);
    return std::string(b, r.ptr);
}

// A decimal number as numeroEmTexto writes it, the whole text. (strtod: the program
// keeps the "C" locale, and floating-point from_chars is missing from some C++ libraries.)
std::optional<double> textoEmNumero(std::string_view t) {
    if (t.empty() || t.size() > 40 || t.find_first_not_of("0123456789.eE+-") != std::string_view::npos) {
        return std::nullopt;
    }
    const std::string texto(t);
    char* fim = nullptr;
    errno = 0;
    const double v = std::strtod(texto.c_str(), &fim);
    if (errno != 0 || fim != texto.c_str() + texto.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

// The first tamanhoMaximo bytes of the file opened as `fd` (closed here) with one
// read: files here are replaced whole, never appended. With `quando`, only a regular
// file, and when it was last written. Without, a FIFO opened without blocking reads
// as empty and a folder fails, so the fstat is saved (the status line reads many).
struct Lido {
    std::string texto;
    double escritoEm = 0;
};
std::optional<Lido> lerEFechar(int fd, bool quando) {
    if (fd < 0) return std::nullopt;
    std::optional<Lido> lido;
    struct stat info {};
    if (!quando || (fstat(fd, &info) == 0 && S_ISREG(info.st_mode))) {
        char b[tamanhoMaximo];
        ssize_t n;
        while ((n = read(fd, b, sizeof b)) < 0 && errno == EINTR) {
        }
#ifdef __APPLE__
        const timespec& m = info.st_mtimespec;
#else
        const timespec& m = info.st_mtim;
#endif
        if (n >= 0) {
            lido = Lido{std::string(b, static_cast<std::size_t>(n)),
                        static_cast<double>(m.tv_sec) + static_cast<double>(m.tv_nsec) / 1e9};
        }
    }
    close(fd);
    return lido;
}

constexpr int leitura = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW;

}  // namespace

std::optional<Informe> informeDaLinha(std::string_view entrada) {
    const Json objeto = Json::parse(entrada, nullptr, false);
    const Json* id = membro(objeto, "session_id");
    if (!id || !id->is_string()) return std::nullopt;
    Informe informe{id->get<std::string>(), {}};
    Consumo& c = informe.consumo;

    if (const Json* modelo = membro(objeto, "model")) {
        const Json* nome = membro(*modelo, "display_name");
        if (!nome || !nome->is_string()) nome = membro(*modelo, "id");
        if (modelo->is_string()) nome = modelo;
        if (nome && nome->is_string()) c.modelo = modeloLimpo(nome->get_ref<const std::string&>());
    }
    if (const Json* janela = membro(objeto, "context_window")) {
        const std::optional<double> usado = numero(membro(*janela, "used_percentage"));
        c.contexto = usado ? contextoValido(*usado) : contextoDasFichas(*janela);
    }
    if (const Json* custo = membro(objeto, "cost")) {
        if (const auto v = numero(membro(*custo, "total_cost_usd"))) c.custo = custoValido(*v);
    }
    return informe;
}

std::filesystem::path pastaDoConsumo(const std::filesystem::path& sessoes) {
    std::filesystem::path p = sessoes;
    if (!p.has_filename()) p = p.parent_path();  // "…/sessoes/"
    return p.parent_path() / "consumo";
}

std::string paraTexto(const Consumo& consumo) {
    std::string t;
    if (consumo.contexto) t += "contexto " + numeroEmTexto(*consumo.contexto) + "\n";
    if (consumo.custo) t += "custo " + numeroEmTexto(*consumo.custo) + "\n";
    if (consumo.modelo) t += "modelo " + *consumo.modelo + "\n";
    return t;
}

Consumo lerTexto(std::string_view texto) {
    Consumo c;
    while (!texto.empty()) {
        const std::size_t fim = std::min(texto.find('\n'), texto.size());
        const std::string_view linha = texto.substr(0, fim);
        texto.remove_prefix(std::min(fim + 1, texto.size()));
        const std::size_t espaco = linha.find(' ');
        if (espaco == std::string_view::npos) continue;
        const std::string_view nome = linha.substr(0, espaco), valor = linha.substr(espaco + 1);
        if (nome == "contexto") {
            if (const auto v = textoEmNumero(valor)) c.contexto = contextoValido(*v);
        } else if (nome == "custo") {
            if (const auto v = textoEmNumero(valor)) c.custo = custoValido(*v);
        } else if (nome == "modelo") {
            c.modelo = modeloLimpo(valor);
        }
    }
    return c;
}

bool guardarConsumo(const std::filesystem::path& pasta, std::string_view id, const Consumo& consumo, double agora) {
    if (consumo.vazio()) return false;
    const std::string texto = paraTexto(consumo);
    const std::string nome = Armazem::nomeSeguro(id);
    const std::string arquivo = (pasta / nome).string();
    if (const std::optional<Lido> atual = lerEFechar(open(arquivo.c_str(), leitura), true)) {
        if (atual->texto == texto) return false;
        const double idade = agora - atual->escritoEm;
        if (idade >= 0 && idade < 1) return false;
    }
    if (arquivos::criarPastas(pasta.native()) != 0) return false;
    return arquivos::substituir(pasta.native(), nome, texto).erro == 0;
}

Consumos lerConsumos(const std::filesystem::path& pasta, const std::vector<Sessao>& sessoes) {
    Consumos consumos;
    if (sessoes.empty()) return consumos;
    DIR* d = opendir(pasta.c_str());
    if (!d) return consumos;
    std::set<std::string, std::less<>> presentes;
    while (const dirent* e = readdir(d)) {
        if (e->d_name[0] != '.') presentes.emplace(e->d_name);
    }
    for (const Sessao& s : sessoes) {
        if (presentes.empty()) break;
        const auto it = presentes.find(Armazem::nomeSeguro(s.id));
        if (it == presentes.end()) continue;
        if (const auto lido = lerEFechar(openat(dirfd(d), it->c_str(), leitura), false)) {
            Consumo c = lerTexto(lido->texto);
            if (!c.vazio()) consumos.insert_or_assign(s.id, std::move(c));
        }
    }
    closedir(d);
    return consumos;
}

std::string porcentagem(double contexto) {
    return std::to_string(std::lround(contexto)) + "%";
}

std::string emDolares(double custo) {
    const long long centavos = std::llround(custo * 100);
    std::string inteiro = std::to_string(centavos / 100);
    for (std::size_t i = inteiro.size(); i > 3; i -= 3) inteiro.insert(i - 3, ".");
    char resto[4];
    std::snprintf(resto, sizeof resto, "%02lld", centavos % 100);
    return "US$ " + inteiro + "," + resto;
}

bool quaseCheio(const Consumo& consumo) {
    return consumo.contexto && std::lround(*consumo.contexto) >= contextoQuaseCheio;
}

std::string custoTotal(const std::vector<Sessao>& sessoes, const Consumos& consumos) {
    double total = 0;
    bool algum = false;
    for (const Sessao& s : sessoes) {
        const auto it = consumos.find(s.id);
        if (it == consumos.end() || !it->second.custo) continue;
        total += *it->second.custo;
        algum = true;
    }
    return algum ? emDolares(total) + " nas sess\u00F5es abertas" : "";
}

}  // namespace kivo::app
