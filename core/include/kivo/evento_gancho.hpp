// One Claude Code hook event, as read from the JSON object on the hook's standard
// input. Plain value; thread-safe.
#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace kivo {

struct EventoGancho {
    std::string nome;                             // "hook_event_name"
    std::string sessaoId;                         // "session_id"
    std::optional<std::string> cwd;               // "cwd"
    std::optional<std::string> ferramenta;        // "tool_name"
    std::optional<std::string> ferramentaId;      // "tool_use_id"
    std::optional<std::string> tipoNotificacao;   // "notification_type"
    std::optional<std::string> mensagem;          // "message"
    std::optional<std::string> titulo;            // "session_title"
    std::optional<std::string> ultimaMensagem;    // "last_assistant_message"
    std::optional<std::string> origemSessao;      // "source"

    // All ten fields; texts compare by canonical equivalence.
    bool operator==(const EventoGancho& outro) const;

    // The event described by a top-level hook object. Only JSON strings count (any
    // other value is a missing key); nullopt when `objeto` is not an object, or
    // "hook_event_name" or "session_id" is missing, or "session_id" is empty.
    // Never throws.
    static std::optional<EventoGancho> deJson(const nlohmann::json& objeto);
};

}  // namespace kivo
