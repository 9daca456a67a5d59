// Splitting a Server-Sent-Events text into its JSON events and the unfinished rest.
// Pure and thread-safe; keeps no state between calls.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace kivo {

struct EventosSeparados {
    std::vector<nlohmann::json> eventos;  // each one a JSON object
    std::string resto;                    // text after the last block separator
};

// Blocks end at two line feeds; "data: " lines of a block are joined by line feeds
// and parsed as one JSON object; other blocks are dropped. Never throws (but
// std::bad_alloc).
EventosSeparados separarEventos(std::string_view texto);

}  // namespace kivo
