// The programs kivo registers: finding them on disk, and their paths as shell words.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/texto.hpp"

namespace kivo::app {

// The words of a simple shell command, quotes undone; nullopt when anything would make
// the shell do more than run one program with fixed words (an operator, an expansion,
// a pattern, an unclosed quote).
std::optional<std::vector<std::string>> palavrasDoShell(std::string_view comando);

// Whether the last component of `caminho` is `nome`.
bool terminaEm(std::string_view caminho, std::string_view nome);

// The kivo the user ran, for registering paths that survive an upgrade: `argv0`
// made absolute (against the working folder when it holds a "/", else found in the
// absolute entries of `path`), without resolving links, when "kivo_gancho" sits in
// the same folder; otherwise `resolvido` (the executable with links resolved).
std::filesystem::path executavelInvocado(std::string_view argv0, const char* path,
                                         const std::filesystem::path& resolvido);

// Whether `caminho` lies in npx's cache (a folder "_npx"), which npm empties and refills
// at will: a program registered from there would be gone some day.
bool noCacheDoNpx(std::string_view caminho);

// The kivo_gancho to register: `dado` made absolute when given, else "kivo_gancho"
// in the folder of `executavel`. nullopt, with a message for the user in `erro`,
// when that is not an executable file.
std::optional<std::string> localizarGancho(const std::optional<std::string>& dado,
                                           const std::filesystem::path& executavel,
                                           std::string& erro);

}  // namespace kivo::app
