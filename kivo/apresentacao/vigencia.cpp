#include "apresentacao/vigencia.hpp"

#include <signal.h>

#include <algorithm>
#include <cerrno>

#include "kivo/tempos.hpp"

namespace kivo::app {

bool processoExiste(std::int32_t pid) {
    if (pid < 1) return true;
    // EPERM means the process exists but belongs to someone else.
    return kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH;
}

std::optional<Motivo> descartavel(const Sessao& sessao, double agora, const ProcessoVivo& vivo) {
    const double parado = agora - sessao.atualizado;  // NaN compares false below
    if (parado > Tempos::sessaoVelha) return Motivo::velha;
    if (parado > carenciaProcesso && sessao.pid && vivo && !vivo(*sessao.pid)) return Motivo::semProcesso;
    return std::nullopt;
}

std::vector<Sessao> vigentes(std::vector<Sessao> sessoes, double agora, const ProcessoVivo& vivo) {
    std::erase_if(sessoes, [&](const Sessao& s) { return descartavel(s, agora, vivo).has_value(); });
    return sessoes;
}

}  // namespace kivo::app
