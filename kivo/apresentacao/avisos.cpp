#include "apresentacao/avisos.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <sstream>
#include <string>

#include "arquivos.hpp"
#include "kivo/tempos.hpp"

namespace kivo::app {

namespace {

constexpr std::string_view arquivoDosAvisos = "avisados";
constexpr std::size_t lembrancasMaximas = 2000;

std::string hex(std::string_view texto) {
    static constexpr char digitos[] = "0123456789abcdef";
    std::string h;
    for (const unsigned char c : texto) {
        h += digitos[c >> 4];
        h += digitos[c & 15];
    }
    return h;
}

std::string numero(double x) {
    char texto[40];
    std::snprintf(texto, sizeof texto, "%.17g", x);
    return texto;
}

// The lock of the memory: its folder, held open and locked while it is read and
// replaced.
class Trava {
public:
    explicit Trava(const std::string& pasta) : fd_(open(pasta.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        if (fd_ < 0) return;
        while (flock(fd_, LOCK_EX) != 0) {
            if (errno != EINTR) {
                close(fd_);
                fd_ = -1;
                return;
            }
        }
    }
    ~Trava() {
        if (fd_ >= 0) close(fd_);
    }
    Trava(const Trava&) = delete;
    Trava& operator=(const Trava&) = delete;
    bool ok() const { return fd_ >= 0; }

private:
    int fd_;
};

}  // namespace

std::optional<NivelDeAvisos> nivelDeAvisos(std::string_view nome) {
    if (nome == "todos") return NivelDeAvisos::todos;
    if (nome == "importantes") return NivelDeAvisos::importantes;
    if (nome == "nenhum") return NivelDeAvisos::nenhum;
    return std::nullopt;
}

std::filesystem::path pastaDosAvisos(const std::filesystem::path& sessoes) {
    return sessoes.parent_path() / "avisos";
}

bool reivindicarAviso(const std::filesystem::path& pasta, const Novidade& novidade, double agora) {
    const std::string caminho = pasta.string();
    if (arquivos::criarPastas(caminho) != 0) return true;
    const Trava trava(caminho);
    if (!trava.ok()) return true;
    const std::string chave = hex(novidade.sessao.id) + " " + std::string(nomeDe(novidade.sessao.estado)) + " " +
                              numero(novidade.sessao.mudouEstadoEm);
    // One "<key> <when it was taken>" line each, oldest first.
    std::vector<std::string> guardadas;
    const std::string atual = arquivos::lerTudo(arquivos::juntar(caminho, arquivoDosAvisos)).value_or("");
    std::istringstream linhas(atual);
    for (std::string linha; std::getline(linhas, linha);) {
        const std::size_t espaco = linha.rfind(' ');
        if (espaco == std::string::npos) continue;
        double quando = 0;
        if (std::sscanf(linha.c_str() + espaco + 1, "%lf", &quando) != 1 || !(agora - quando < Tempos::sessaoVelha)) {
            continue;
        }
        if (espaco == chave.size() && linha.compare(0, espaco, chave) == 0) return false;
        guardadas.push_back(std::move(linha));
    }
    if (guardadas.size() >= lembrancasMaximas) guardadas.erase(guardadas.begin(), guardadas.end() - (lembrancasMaximas - 1));
    std::string texto;
    for (const std::string& l : guardadas) texto += l + "\n";
    texto += chave + " " + numero(agora) + "\n";
    arquivos::substituir(caminho, std::string(arquivoDosAvisos), texto);
    return true;
}

Avisos::Avisos(NivelDeAvisos nivel, std::filesystem::path memoria, Olhando olhando)
    : nivel_(nivel), memoria_(std::move(memoria)), olhando_(std::move(olhando)) {}

std::vector<Novidade> Avisos::escolher(const std::vector<Sessao>& sessoes, const std::vector<Novidade>& novas,
                                       double agora) {
    std::vector<Novidade> escolhidas;
    for (const Novidade& n : novas) {
        if (nivel_ == NivelDeAvisos::nenhum) break;
        if (nivel_ == NivelDeAvisos::importantes) {
            if (n.caso == Novidade::Caso::terminou) {
                const auto inicio = inicio_.find(n.sessao.id);
                if (inicio == inicio_.end() || !(n.sessao.mudouEstadoEm - inicio->second >= trabalhoMinimo)) continue;
            }
            if (olhando_ && olhando_(n.sessao)) continue;
        }
        if (!memoria_.empty() && !reivindicarAviso(memoria_, n, agora)) continue;
        escolhidas.push_back(n);
    }
    // A session's work begins at its prompt: it starts working from rest (or is first
    // seen at work, the earliest moment known), and goes on through its requests.
    std::map<std::string, Estado> estados;
    for (const Sessao& s : sessoes) {
        const auto antes = estados_.find(s.id);
        const bool ocupada = s.estado == Estado::trabalhando || s.estado == Estado::atencao;
        const bool jaOcupada = antes != estados_.end() &&
                               (antes->second == Estado::trabalhando || antes->second == Estado::atencao);
        if (ocupada && (!jaOcupada || !inicio_.contains(s.id))) inicio_[s.id] = s.mudouEstadoEm;
        estados.emplace(s.id, s.estado);
    }
    std::erase_if(inicio_, [&](const auto& par) { return !estados.contains(par.first); });
    estados_ = std::move(estados);
    return escolhidas;
}

}  // namespace kivo::app
