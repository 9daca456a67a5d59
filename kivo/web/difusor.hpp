// Hands the latest summary to every open event stream. One thread publishes; any
// number of threads read the latest text and wait on their subscription's
// descriptor, which becomes readable after each publication and after encerrar().
// All members are thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace kivo::web {

class Difusor {
public:
    // At most `maximo` subscriptions are open at once.
    explicit Difusor(std::size_t maximo);
    Difusor(const Difusor&) = delete;
    Difusor& operator=(const Difusor&) = delete;

    // One subscriber: a pipe whose read end becomes readable when there is something
    // to look at. Unsubscribes when destroyed; must not outlive its Difusor.
    class Inscricao {
    public:
        Inscricao(Difusor& difusor, int leitura, int escrita);
        ~Inscricao();
        Inscricao(const Inscricao&) = delete;
        Inscricao& operator=(const Inscricao&) = delete;
        int descritor() const { return leitura_; }
        // Empties the pipe, so that the next poll waits for the next publication.
        void esvaziar() const;

    private:
        friend class Difusor;
        Difusor& difusor_;
        int leitura_;
        int escrita_;
    };

    // A new subscription, or null when `maximo` are open, after encerrar(), or when
    // no pipe can be made.
    std::unique_ptr<Inscricao> inscrever();

    // Makes `texto` the latest, with the next version number, and wakes everyone.
    void publicar(std::string texto);

    // The latest text and its version (0 and null before the first publication).
    std::pair<std::uint64_t, std::shared_ptr<const std::string>> atual() const;

    // How many subscriptions are open.
    std::size_t inscritos() const;

    // Wakes every subscriber for good; later subscriptions are refused.
    void encerrar();
    bool encerrado() const;

private:
    void acordar(const Inscricao& inscricao) const;

    mutable std::mutex mutex_;
    std::size_t maximo_;
    std::vector<Inscricao*> inscritos_;
    std::shared_ptr<const std::string> atual_;
    std::uint64_t versao_ = 0;
    bool encerrado_ = false;
};

}  // namespace kivo::web
