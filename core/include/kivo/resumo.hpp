// The summary of all sessions at a moment: the mascot's mood, the session to show
// first and every session in display order. Pure and thread-safe.
#pragma once

#include <optional>
#include <vector>

#include "kivo/humor.hpp"
#include "kivo/sessao.hpp"

namespace kivo {

struct Resumo {
    Humor humor = Humor::dormindo;
    std::optional<Sessao> destaque;
    std::vector<Sessao> ordenadas;

    bool operator==(const Resumo& outro) const;

    // dormindo, no destaque, no sessions. The reference lives for the whole process.
    static const Resumo& vazio();
};

// Copies of `sessoes` with their effective state at `agora`, sorted by priority,
// then newer `atualizado`, then id; the mood follows from the first one. The input
// is not modified. Never throws (but std::bad_alloc).
Resumo resumir(const std::vector<Sessao>& sessoes, double agora);

}  // namespace kivo
