// Key names, macOS virtual key codes and modifier masks, and the protected
// application test. Tables are built once on first use (thread-safe) and never
// change; references stay valid for the whole process.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace kivo::Teclas {

// Key name ("KeyA", "Enter", ...) to virtual key code. 103 entries.
const std::unordered_map<std::string, std::uint16_t>& virtuais();
// Modifier key name to modifier-flag mask. 8 entries.
const std::unordered_map<std::string, std::uint64_t>& marcas();
// Modifier alias ("cmd", "ctrl", ...) to modifier key name. 10 entries.
const std::unordered_map<std::string, std::string>& modificadores();

// The key name for a key written as free text ("a", "Enter", "f5", "espaço"), or
// nullopt. Modifier aliases give nullopt. Never throws (but std::bad_alloc).
std::optional<std::string> codigo(std::string_view texto);

// True when the text mentions a terminal, a command shell or a password manager.
bool protegido(std::string_view texto);

}  // namespace kivo::Teclas
