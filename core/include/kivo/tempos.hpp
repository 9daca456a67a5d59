// Time limits of the presentation, in seconds, and the state a record is shown in.
// Pure and thread-safe.
#pragma once

#include "kivo/estado.hpp"
#include "kivo/sessao.hpp"

namespace kivo {

namespace Tempos {
inline constexpr double trabalhoEsquecido = 1200;
inline constexpr double atencaoEsquecida = 1800;
inline constexpr double feitoVisivel = 600;
inline constexpr double comemoracao = 4;
inline constexpr double sono = 1800;
inline constexpr double sessaoVelha = 43200;
}  // namespace Tempos

// The state to show at `agora`: the stored state, or ocioso once the record has gone
// without an update for longer than its state's limit (measured from `atualizado`).
Estado estadoEfetivo(const Sessao& sessao, double agora);

}  // namespace kivo
