// Reading the hook's input: one JSON object on a descriptor (standard input), parsed
// strictly while it streams in, keeping only the top-level string members that make
// a hook event. Memory stays flat however large the input.
#pragma once

#include <optional>

#include "kivo/evento_gancho.hpp"

namespace kivo::gancho {

// The event carried by the JSON text on `fd`, or nullopt when the text is not strict
// JSON, its top level is not an object, or the object describes no event (same rules
// as EventoGancho::deJson). Always reads `fd` to its end. Never throws (but
// std::bad_alloc).
std::optional<EventoGancho> lerEvento(int fd);

}  // namespace kivo::gancho
