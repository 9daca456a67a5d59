// What keeps a view from reading the records folder, said with its path: a KIVO_DIR
// starting with "~" (a quoted shell line does not expand it), a folder that is
// missing, not a folder, or that cannot be read. Every view asks here before it
// shows "no sessions", so a setup mistake never looks like an empty machine.
// Reads the file system only; thread-safe.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace kivo::app {

struct ProblemaDaPasta {
    std::string mensagem;  // "/tmp/x n\u00E3o existe", for a sentence
    std::string conserto;  // what to do about it
    std::string curta;     // a few words for the status line
    bool grave = false;    // not merely missing: views stop with status 1
};

// The problem with `base` (Caminhos::base()) and its "sessoes" folder, or nullopt
// when they can be read (a "sessoes" not made yet is fine: no event has come).
// `kivoDir` is KIVO_DIR as set (null when unset).
std::optional<ProblemaDaPasta> problemaDaPasta(const std::filesystem::path& base, const char* kivoDir);

}  // namespace kivo::app
