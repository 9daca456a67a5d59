#include "difusor.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

namespace kivo::web {

Difusor::Difusor(std::size_t maximo) : maximo_(maximo) {}

Difusor::Inscricao::Inscricao(Difusor& difusor, int leitura, int escrita)
    : difusor_(difusor), leitura_(leitura), escrita_(escrita) {}

Difusor::Inscricao::~Inscricao() {
    {
        const std::lock_guard trava(difusor_.mutex_);
        std::erase(difusor_.inscritos_, this);
    }
    close(leitura_);
    close(escrita_);
}

void Difusor::Inscricao::esvaziar() const {
    char lixo[64];
    while (read(leitura_, lixo, sizeof lixo) > 0) {
    }
}

std::size_t Difusor::inscritos() const {
    const std::lock_guard trava(mutex_);
    return inscritos_.size();
}

std::unique_ptr<Difusor::Inscricao> Difusor::inscrever() {
    const std::lock_guard trava(mutex_);
    if (encerrado_ || inscritos_.size() >= maximo_) return nullptr;
    int fds[2];
    if (pipe(fds) != 0) return nullptr;
    for (const int fd : fds) {
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    auto inscricao = std::make_unique<Inscricao>(*this, fds[0], fds[1]);
    inscritos_.push_back(inscricao.get());
    return inscricao;
}

void Difusor::acordar(const Inscricao& inscricao) const {
    // A full pipe already says "look": EAGAIN is fine.
    const char um = 1;
    [[maybe_unused]] const auto n = write(inscricao.escrita_, &um, 1);
}

void Difusor::publicar(std::string texto) {
    auto novo = std::make_shared<const std::string>(std::move(texto));
    const std::lock_guard trava(mutex_);
    atual_ = std::move(novo);
    ++versao_;
    for (const Inscricao* i : inscritos_) acordar(*i);
}

std::pair<std::uint64_t, std::shared_ptr<const std::string>> Difusor::atual() const {
    const std::lock_guard trava(mutex_);
    return {versao_, atual_};
}

void Difusor::encerrar() {
    const std::lock_guard trava(mutex_);
    encerrado_ = true;
    for (const Inscricao* i : inscritos_) acordar(*i);
}

bool Difusor::encerrado() const {
    const std::lock_guard trava(mutex_);
    return encerrado_;
}

}  // namespace kivo::web
