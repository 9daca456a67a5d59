// Replacing a file of the user's (Claude Code's settings, ~/.tmux.conf) safely: a
// copy of the old one beside it, a refusal for a file that is read-only or someone
// else's, and an atomic replace that gives up when the file changed since it was read.
#pragma once

#include <ctime>
#include <filesystem>
#include <functional>
#include <string_view>

#include "instalar/leitura.hpp"

namespace kivo::app {

// Copies the previous file beside it, as "<name>.kivo-backup-YYYYmmdd-HHMMSS" (with
// "-2", "-3"... when that name is taken). Returns the copy's path.
std::filesystem::path guardarCopia(const std::filesystem::path& alvo, const Leitura& antes, std::time_t agora);

// Replaces the file atomically, provided it is still the one read (Claude Code writes
// it too); `antesDeTrocar` runs just before that check. False, with nothing changed,
// when it is not; throws FormaInvalida when it cannot be written.
bool substituir(const std::filesystem::path& alvo, std::string_view conteudo, const Leitura& antes,
                const std::function<void()>& antesDeTrocar);

// Throws FormaInvalida for a file the user cannot or should not replace: read-only
// (no write permission for anyone, or not for us), or someone else's.
void conferirPermissao(const std::filesystem::path& alvo, const Leitura& antes);

}  // namespace kivo::app
