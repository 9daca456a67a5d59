#include "base/vigia.hpp"

#include <unistd.h>
#ifdef __linux__
#include <sys/inotify.h>
#endif

#include <string_view>
#include <utility>

namespace kivo::app {

namespace {

bool termina(std::string_view nome, std::string_view fim) {
    return nome.size() >= fim.size() && nome.substr(nome.size() - fim.size()) == fim;
}

}  // namespace

#ifdef __linux__

Vigia::Vigia(std::string sufixo) : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)), sufixo_(std::move(sufixo)) {}

Vigia::~Vigia() {
    if (fd_ >= 0) close(fd_);
}

bool Vigia::vigiar(const std::filesystem::path& pasta) {
    if (fd_ < 0) return false;
    wd_ = inotify_add_watch(fd_, pasta.c_str(),
                            IN_MOVED_TO | IN_MOVED_FROM | IN_CLOSE_WRITE | IN_DELETE | IN_DELETE_SELF | IN_MOVE_SELF |
                                IN_ONLYDIR);
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

bool Vigia::colher() {
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

#else

Vigia::Vigia(std::string sufixo) : sufixo_(std::move(sufixo)) {}
Vigia::~Vigia() = default;
bool Vigia::vigiar(const std::filesystem::path&) {
    return false;
}
bool Vigia::colher() {
    return false;
}

#endif

}  // namespace kivo::app
