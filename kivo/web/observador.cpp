#include "observador.hpp"

#include <fcntl.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <limits>
#include <system_error>

#include "apresentacao/espelho.hpp"
#include "kivo/armazem.hpp"
#include "resumo_json.hpp"

namespace kivo::web {

namespace {

// How long to wait after the first change for the rest of a burst (a hook replaces
// a record in two steps; two events often come together).
constexpr int kRajadaMs = 5;

int msAte(double instante, double agora) {
    if (!std::isfinite(instante)) return -1;
    const double ms = std::ceil((instante - agora) * 1000) + 1;
    if (ms < 0) return 0;
    return ms > 3.6e6 ? 3600000 : static_cast<int>(ms);
}

}  // namespace

Observador::Observador(std::filesystem::path pasta, Difusor& difusor, app::ProcessoVivo vivo,
                       std::function<double()> relogio, app::Olhando olhando)
    : pasta_(std::move(pasta)),
      difusor_(difusor),
      vivo_(std::move(vivo)),
      relogio_(std::move(relogio)),
      avisos_(app::NivelDeAvisos::importantes, app::pastaDosAvisos(pasta_), std::move(olhando)) {}

Observador::~Observador() {
    parar();
}

void Observador::iniciar() {
    if (pipe(acordar_) != 0) throw std::system_error(errno, std::generic_category(), "pipe");
    for (const int fd : acordar_) fcntl(fd, F_SETFD, FD_CLOEXEC);
    // Watch first, then read: a change in between is seen twice, never missed.
    vigia_ = std::make_unique<app::Vigia>(".json");
    vigiaConsumo_ = std::make_unique<app::Vigia>("");
    vigiaEspelhos_ = std::make_unique<app::Vigia>(".json");
#ifdef __linux__
    vigia_->vigiar(pasta_);
    vigiaConsumo_->vigiar(app::pastaDoConsumo(pasta_));
    vigiaEspelhos_->vigiar(app::pastaDosEspelhos(pasta_));
#endif
    ler();
    thread_ = std::thread([this] { laco(); });
}

void Observador::parar() {
    if (thread_.joinable()) {
        const char um = 1;
        [[maybe_unused]] const auto n = write(acordar_[1], &um, 1);
        thread_.join();
    }
    for (int& fd : acordar_) {
        if (fd >= 0) close(fd);
        fd = -1;
    }
}

void Observador::ler() {
    app::Espelhadas lidas = app::lerComEspelhos(pasta_, relogio_());
    sessoes_ = std::move(lidas.sessoes);
    remotas_ = std::move(lidas.remotas);
    consumos_ = app::lerConsumos(app::pastaDoConsumo(pasta_), sessoes_);
    // What a view shows of each record, no more: a huge record is read once and its
    // texts freed at once.
    for (Sessao& s : sessoes_) app::cortarParaExibir(s);
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
    const double agora = relogio_();
    const std::vector<Sessao> vistas = app::vigentes(sessoes_, agora, vivo_);
    const std::vector<Novidade> novas = acompanhamento_.ler(vistas);
    // A notice is taken from the other views only while a page is open to show it.
    publicar(novas, avisos_.escolher(vistas, difusor_.inscritos() > 0 ? novas : std::vector<Novidade>{}, agora));
}

void Observador::publicar(const std::vector<Novidade>& novidades, const std::vector<Novidade>& avisar) {
    const double agora = relogio_();
    nlohmann::ordered_json j = resumoJson(sessoes_, agora, vivo_, novidades, consumos_, &remotas_);
    // Whether the page makes a desktop notification of it (the list shows them all).
    for (std::size_t i = 0; i < novidades.size(); ++i) {
        j["novidades"][i]["avisar"] = std::find(avisar.begin(), avisar.end(), novidades[i]) != avisar.end();
    }
    proxima_ = proximaMudanca(app::vigentes(sessoes_, agora, vivo_), agora);
    std::string texto = textoJson(j);
    if (texto == ultimo_ && novidades.empty()) return;
    ultimo_ = std::move(texto);
    j["versao"] = ++versao_;
    difusor_.publicar(textoJson(j));
}

void Observador::laco() {
#ifdef __linux__
    app::Vigia* const vigias[3] = {vigia_.get(), vigiaConsumo_.get(), vigiaEspelhos_.get()};
    const std::filesystem::path pastas[3] = {pasta_, app::pastaDoConsumo(pasta_), app::pastaDosEspelhos(pasta_)};
#endif
    for (;;) {
        int espera = msAte(proxima_, relogio_());
#ifdef __linux__
        // Without a folder or its parent to watch, look for them once a second.
        pollfd fds[4] = {{acordar_[0], POLLIN, 0}};
        nfds_t quantos = 1;
        for (app::Vigia* v : vigias) {
            if (!v->atento()) espera = espera < 0 ? 1000 : std::min(espera, 1000);
            if (v->descritor() >= 0) fds[quantos++] = {v->descritor(), POLLIN, 0};
        }
#else
        espera = espera < 0 ? 1000 : std::min(espera, 1000);
        pollfd fds[1] = {{acordar_[0], POLLIN, 0}};
        const nfds_t quantos = 1;
#endif
        const int r = poll(fds, quantos, espera);
        if (r < 0 && errno != EINTR) return;
        if (fds[0].revents != 0) return;  // parar()
        bool mudou = false;
#ifdef __linux__
        for (nfds_t i = 1; i < quantos; ++i) {
            if (fds[i].revents == 0) continue;
            app::Vigia& vigia = **std::find_if(std::begin(vigias), std::end(vigias),
                                               [&](const app::Vigia* v) { return v->descritor() == fds[i].fd; });
            if (vigia.colher()) {
                mudou = true;
                // The rest of the burst.
                while (poll(&fds[i], 1, kRajadaMs) > 0) vigia.colher();
            }
        }
        for (int i = 0; i < 3; ++i) {
            if (!vigias[i]->ativo() && vigias[i]->vigiar(pastas[i])) mudou = true;
        }
#else
        mudou = r == 0;
#endif
        try {
            if (mudou) {
                ler();
            } else if (r == 0) {
                publicar({});
            }
        } catch (const std::exception&) {
            // Out of memory while building the summary: the next change tries again.
        }
    }
}

}  // namespace kivo::web
