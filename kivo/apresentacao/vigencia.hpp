// Which records the companion's views show and which `kivo limpar` removes. A record
// is left behind when it has gone without an update for longer than
// Tempos::sessaoVelha (a session that never ended: terminal closed, machine
// rebooted), or when its agent's process is gone and the record has not been updated
// for longer than a short grace. Every view (panel, status line, web page) and the
// clean-up ask here, so the rule lives in one place. Pure but for the ProcessoVivo
// the caller passes; thread-safe.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "kivo/sessao.hpp"

namespace kivo::app {

// Whether the process with this id still exists.
using ProcessoVivo = std::function<bool(std::int32_t pid)>;

// False only when kill(pid, 0) fails with ESRCH. Ids below 1 name process groups
// rather than a process, so they count as alive. Never throws.
bool processoExiste(std::int32_t pid);

// How long a record whose agent process is gone stays in view, from its last update,
// so that "(processo encerrado)" is seen before the session leaves the list.
inline constexpr double carenciaProcesso = 120;

enum class Motivo {
    velha,        // no update for longer than Tempos::sessaoVelha
    semProcesso,  // its agent process is gone, and the grace has passed
};

// Why `sessao` no longer belongs in the views at `agora`, or nullopt when it does.
// An empty `vivo` counts every process as alive; a record without a pid is judged by
// its age alone. Times that are not finite never make a record old. Never throws but
// what `vivo` throws.
std::optional<Motivo> descartavel(const Sessao& sessao, double agora, const ProcessoVivo& vivo);

// The records of `sessoes` that stay in view, in their order.
std::vector<Sessao> vigentes(std::vector<Sessao> sessoes, double agora, const ProcessoVivo& vivo);

}  // namespace kivo::app
