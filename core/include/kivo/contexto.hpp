// The context of one hook run: its moment and what the environment says about the
// agent process. Plain value; thread-safe.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace kivo {

struct Contexto {
    double agora = 0;
    std::optional<std::int32_t> pid;
    std::optional<std::string> origem;

    // `pid` from CLAUDE_PID (an optional sign and decimal digits only, within 32
    // bits); `origem` is "claude-desktop" when CLAUDE_CODE_ENTRYPOINT says so, else
    // TERM_PROGRAM, else CLAUDE_CODE_ENTRYPOINT, else absent. Values that are not
    // valid UTF-8 count as unset. Never throws.
    static Contexto doAmbiente(const std::map<std::string, std::string>& ambiente, double agora);
};

}  // namespace kivo
