#include "observador.hpp"

#include <fcntl.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <poll.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/inotify.h>
#endif

#include <cerrno>
#include <cmath>
#include <limits>
#include <system_error>

#include "apresentacao/registros.hpp"
#include "resumo_json.hpp"

namespace kivo::web {

namespace {

// How long to wait after the first change for the rest of a burst (a hook replaces
// a record in two steps; two events often come together).
constexpr int kRajadaMs = 5;

bool termina(std::string_view nome, std::string_view fim) {
    return nome.size() >= fim.size() && nome.substr(nome.size() - fim.size()) == fim;
}

}  // namespace

#ifdef __linux__
// The folder's inotify watch. Records are replaced by a rename into the folder, so
// IN_MOVED_TO is the usual event; the others cover removals and writes in place.
// While the folder does not exist (no hook has run yet), its parent is watched for
// it to appear. Names ending in `sufixo` count (with none: names not starting with
// ".", which a temporary file does).
class Vigia {
public:
    explicit Vigia(std::string sufixo) : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)), sufixo_(std::move(sufixo)) {}
    ~Vigia() {
        if (fd_ >= 0) close(fd_);
    }
    Vigia(const Vigia&) = delete;
    Vigia& operator=(const Vigia&) = delete;

    int descritor() const { return fd_; }
    bool ativo() const { return wd_ >= 0; }
    // Watching the folder, or its parent for the folder to appear.
    bool atento() const { return wd_ >= 0 || wdPai_ >= 0; }

    // Watches `pasta`; false when it does not exist (yet).
    bool vigiar(const std::filesystem::path& pasta) {
        if (fd_ < 0) return false;
        wd_ = inotify_add_watch(fd_, pasta.c_str(),
                                IN_MOVED_TO | IN_MOVED_FROM | IN_CLOSE_WRITE | IN_DELETE |
                                    IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR);
        if (wd_ >= 0) {
            if (wdPai_ >= 0) inotify_rm_watch(fd_, wdPai_);
            wdPai_ = -1;
            return true;
        }
        if (wdPai_ < 0) {
            nome_ = pasta.filename().string();
            const std::filesystem::path pai = pasta.has_parent_path() ? pasta.parent_path() : ".";
            wdPai_ = inotify_add_watch(fd_, pai.c_str(), IN_CREATE | IN_MOVED_TO | IN_ONLYDIR);
        }
        return false;
    }

    // Reads the pending events: whether a record changed (or the folder appeared). A
    // folder that went away stops the watch (ativo() turns false).
    bool colher() {
        bool mudou = false;
        alignas(inotify_event) char buffer[8192];
        for (;;) {
            const ssize_t n = read(fd_, buffer, sizeof buffer);
            if (n <= 0) break;
            for (ssize_t i = 0; i < n;) {
                const auto* e = reinterpret_cast<const inotify_event*>(buffer + i);
                i += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
                if (e->mask & IN_Q_OVERFLOW) {
                    mudou = true;
                } else if (e->wd == wdPai_ && wdPai_ >= 0) {
                    if (e->mask & IN_IGNORED) wdPai_ = -1;
                    if (e->len > 0 && nome_ == e->name) mudou = true;
                } else if (e->wd == wd_ && wd_ >= 0) {
                    if (e->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) {
                        mudou = true;
                        if (!(e->mask & IN_IGNORED)) inotify_rm_watch(fd_, wd_);
                        wd_ = -1;
                    } else if (e->len > 0 && (sufixo_.empty() ? e->name[0] != '.' : termina(e->name, sufixo_))) {
                        mudou = true;
                    }
                }
            }
        }
        return mudou;
    }

private:
    int fd_;
    int wd_ = -1;
    int wdPai_ = -1;
    std::string nome_;
    std::string sufixo_;
};
#else
class Vigia {
public:
    explicit Vigia(std::string) {}
};
#endif

namespace {

int msAte(double instante, double agora) {
    if (!std::isfinite(instante)) return -1;
    const double ms = std::ceil((instante - agora) * 1000) + 1;
    if (ms < 0) return 0;
    return ms > 3.6e6 ? 3600000 : static_cast<int>(ms);
}

}  // namespace

Observador::Observador(std::filesystem::path pasta, Difusor& difusor, app::ProcessoVivo vivo,
                       std::function<double()> relogio)
    : pasta_(std::move(pasta)),
      difusor_(difusor),
      vivo_(std::move(vivo)),
      relogio_(std::move(relogio)) {}

Observador::~Observador() {
    parar();
}

void Observador::iniciar() {
    if (pipe(acordar_) != 0) throw std::system_error(errno, std::generic_category(), "pipe");
    for (const int fd : acordar_) fcntl(fd, F_SETFD, FD_CLOEXEC);
    // Watch first, then read: a change in between is seen twice, never missed.
    vigia_ = std::make_unique<Vigia>(".json");
    vigiaConsumo_ = std::make_unique<Vigia>("");
#ifdef __linux__
    vigia_->vigiar(pasta_);
    vigiaConsumo_->vigiar(app::pastaDoConsumo(pasta_));
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
    sessoes_ = app::lerRegistros(pasta_);
    consumos_ = app::lerConsumos(app::pastaDoConsumo(pasta_), sessoes_);
    // What a view shows of each record, no more: a huge record is read once and its
    // texts freed at once.
    for (Sessao& s : sessoes_) cortarParaExibir(s);
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
    const double agora = relogio_();
    publicar(acompanhamento_.ler(app::vigentes(sessoes_, agora, vivo_)));
}

void Observador::publicar(const std::vector<Novidade>& novidades) {
    const double agora = relogio_();
    nlohmann::ordered_json j = resumoJson(sessoes_, agora, vivo_, novidades, consumos_);
    proxima_ = proximaMudanca(app::vigentes(sessoes_, agora, vivo_), agora);
    std::string texto = textoJson(j);
    if (texto == ultimo_ && novidades.empty()) return;
    ultimo_ = std::move(texto);
    j["versao"] = ++versao_;
    difusor_.publicar(textoJson(j));
}

void Observador::laco() {
#ifdef __linux__
    Vigia* const vigias[2] = {vigia_.get(), vigiaConsumo_.get()};
    const std::filesystem::path pastas[2] = {pasta_, app::pastaDoConsumo(pasta_)};
#endif
    for (;;) {
        int espera = msAte(proxima_, relogio_());
#ifdef __linux__
        // Without a folder or its parent to watch, look for them once a second.
        pollfd fds[3] = {{acordar_[0], POLLIN, 0}};
        nfds_t quantos = 1;
        for (Vigia* v : vigias) {
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
            Vigia& vigia = fds[i].fd == vigias[0]->descritor() ? *vigias[0] : *vigias[1];
            if (vigia.colher()) {
                mudou = true;
                // The rest of the burst.
                while (poll(&fds[i], 1, kRajadaMs) > 0) vigia.colher();
            }
        }
        for (int i = 0; i < 2; ++i) {
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
