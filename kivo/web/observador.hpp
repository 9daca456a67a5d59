// Watches the session folder and the consumption files beside it (consumo.hpp), and
// publishes the summary (resumo_json.hpp) whenever a record or one of those changes,
// or a time limit passes. On Linux the folder is watched with
// inotify and nothing runs between changes; elsewhere it is read once a second. One
// thread of its own between iniciar() and parar(); the other members are for the
// thread that owns the object.
#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "difusor.hpp"
#include "kivo/sessao.hpp"
#include "apresentacao/apresentacao.hpp"
#include "apresentacao/avisos.hpp"
#include "apresentacao/consumo.hpp"
#include "apresentacao/vigencia.hpp"
#include "base/vigia.hpp"

namespace kivo::web {

class Observador {
public:
    // `relogio` gives the wall clock in seconds since 1970.
    // `olhando` tells a session the user is looking at: its news carry "avisar":
    // false (see avisos.hpp; the shared memory is pastaDosAvisos of `pasta`).
    Observador(std::filesystem::path pasta, Difusor& difusor, app::ProcessoVivo vivo,
               std::function<double()> relogio, app::Olhando olhando = {});
    ~Observador();
    Observador(const Observador&) = delete;
    Observador& operator=(const Observador&) = delete;

    // Reads the folder and publishes the first summary before returning, then
    // watches in a thread. Throws std::system_error when no thread or pipe can be
    // made.
    void iniciar();
    // Stops the thread and waits for it. Idempotent; never throws.
    void parar();

private:
    void laco();
    void ler();  // the folder changed: read it again, with its news
    void publicar(const std::vector<Novidade>& novidades, const std::vector<Novidade>& avisar = {});

    std::filesystem::path pasta_;
    Difusor& difusor_;
    app::ProcessoVivo vivo_;
    std::function<double()> relogio_;
    app::Acompanhamento acompanhamento_;
    app::Avisos avisos_;
    std::vector<Sessao> sessoes_;
    app::Remotas remotas_;  // other machines' among them
    app::Consumos consumos_;
    std::string ultimo_;
    std::uint64_t versao_ = 0;
    double proxima_ = 0;
    int acordar_[2] = {-1, -1};
    std::unique_ptr<app::Vigia> vigia_;
    std::unique_ptr<app::Vigia> vigiaConsumo_;
    std::unique_ptr<app::Vigia> vigiaEspelhos_;
    std::thread thread_;
};

}  // namespace kivo::web
