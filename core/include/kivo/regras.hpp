// The event rules: the one decision of the system. Pure (no clock, file or
// environment; the moment arrives in the context), thread-safe, never throw.
#pragma once

#include <optional>

#include "kivo/acao.hpp"
#include "kivo/contexto.hpp"
#include "kivo/evento_gancho.hpp"
#include "kivo/sessao.hpp"

namespace kivo {

// Applies `evento` to the stored record `a` (nullopt when the session has none):
// apagar for "SessionEnd", ignorar for events that arrive out of order or change
// nothing, otherwise gravar with the new record.
Acao aplicar(const EventoGancho& evento, const std::optional<Sessao>& a, const Contexto& contexto);

}  // namespace kivo
