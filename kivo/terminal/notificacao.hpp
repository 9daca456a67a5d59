// Desktop notifications for `kivo painel --seguir`: notify-send on Linux, osascript on
// macOS, started through iniciarFilho (its texts as plain arguments) and never waited
// for, so a slow notification daemon cannot hold up the panel.
// One Notificacoes belongs to one thread.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "apresentacao/apresentacao.hpp"
#include "base/processo.hpp"

namespace kivo::app {

enum class Meio { nenhum, notifySend, osascript };

// The arguments (after the program's own name) that show `aviso` through `meio`. The
// texts always come after a fixed argument ("--", or "kivo" for osascript), so no
// text is ever read as an option.
// notify-send reads a little markup in the body, so "&", "<" and ">" are escaped there.
std::vector<std::string> argumentosDe(Meio meio, const Aviso& aviso);

// The arguments of /bin/sh that show `aviso` through `notifySend` with the action
// "Ir para o agente" and, when it is chosen, run `kivo ir --recente -- <sessao>`.
// Every text is an argument of the script, never part of it.
std::vector<std::string> argumentosComAcao(const std::string& notifySend, const Aviso& aviso,
                                           const std::string& kivo, const std::string& sessao);

class Notificacoes {
public:
    // What this machine offers: osascript on macOS; notify-send on other systems when
    // it is on the PATH and a graphical session is announced (DISPLAY, WAYLAND_DISPLAY
    // or DBUS_SESSION_BUS_ADDRESS); otherwise nenhum.
    static Notificacoes doSistema();

    Notificacoes() = default;
    Notificacoes(Meio meio, std::string programa);
    Notificacoes(const Notificacoes&) = delete;
    Notificacoes& operator=(const Notificacoes&) = delete;
    Notificacoes(Notificacoes&&) = default;
    Notificacoes& operator=(Notificacoes&&) = default;
    ~Notificacoes();

    bool disponivel() const { return meio_ != Meio::nenhum; }

    // Gives the notifications the action "Ir para o agente", which runs
    // `<kivo> ir --recente -- <session id>`, where the notification program offers
    // actions (notify-send 0.8 and later: asked once, with --help). "": no action.
    void agirCom(std::string kivo);

    // Starts the program for `aviso` and returns at once. False when there is no
    // program, it could not be started, or too many earlier ones are still running
    // (the caller then rings the terminal bell). With an action, a child waits for the
    // notification's answer, so the caller never does. Never throws (but std::bad_alloc).
    bool enviar(const Aviso& aviso, const std::string& sessao = {});

    // Reaps the programs that have ended, without waiting for the others.
    void colher();

private:
    Meio meio_ = Meio::nenhum;
    std::string programa_;
    std::string kivo_;  // for the action; "" when none
    std::vector<pid_t> filhos_;
};

}  // namespace kivo::app
