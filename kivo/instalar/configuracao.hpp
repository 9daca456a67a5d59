// Claude Code's settings as kivo uses them: which file, which hook events, the
// commands kivo registers and how its entries are recognised, added and taken out of
// the settings object. No files here: the settings are a JSON value.
#pragma once

#include <array>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace kivo::app {

// The events kivo_gancho is registered for, in the order they are added.
inline constexpr std::array<std::string_view, 11> eventosDoGancho = {
    "SessionStart", "UserPromptSubmit", "PreToolUse",   "PermissionRequest",
    "PostToolUse",  "PostToolUseFailure", "PermissionDenied", "Notification",
    "Stop",         "StopFailure",      "SessionEnd"};

// Seconds Claude Code gives one run of the hook before it gives up on it.
inline constexpr int limiteDoGancho = 10;

// Whether the event's groups carry a tool "matcher" (the five tool events).
bool usaMatcher(std::string_view evento);

// "settings.json" in CLAUDE_CONFIG_DIR when that is set and not empty, else
// .claude/settings.json in the home folder (the one the store's paths use).
std::filesystem::path arquivoPadrao();

// The hook "command" for the executable at `caminho`:
// CLAUDE_PID=$PPID exec '<caminho>', the path in single quotes for the shell. Claude
// Code runs it through a shell whose parent is Claude Code itself, so the record's
// pid becomes the agent's.
std::string comandoPara(std::string_view caminho);

// Whether a hook command runs kivo_gancho: `CLAUDE_PID=$PPID exec ` (optional, the
// earlier form lacks it) and a single shell word (quoted or not) whose last path
// component is "kivo_gancho". Never throws.
bool ehComandoDoGancho(std::string_view comando);

// The "statusLine" command for the kivo at `caminho`: '<caminho>' linha.
std::string comandoDaLinha(std::string_view caminho);

// Whether a status-line command is kivo's: shell words whose first one ends in
// "kivo" as its last path component, then "linha" and options only. Never throws.
bool ehComandoDaLinha(std::string_view comando);

// Settings whose shape kivo cannot work with; the message is for the user.
struct ConfiguracaoInvalida : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// What happened to one event's list.
struct Mudanca {
    std::string evento;
    int removidas = 0;                 // our entries taken out
    bool adicionada = false;           // a fresh entry appended
    std::vector<std::string> antigos;  // other kivo_gancho commands replaced
};

// Makes each event of eventosDoGancho hold exactly one entry
// {"type":"command","command":<comando>,"timeout":10}, in a group of its own with the
// matcher "*" for tool events. A lone entry of ours in a group of its own (another
// path, the earlier bare-path form) is rewritten where it is; other entries of ours
// are replaced. The changed events, in order. Throws ConfiguracaoInvalida (naming
// `arquivo`), with `config` untouched, when "hooks" is not an object or an event's
// value is not a list.
std::vector<Mudanca> registrar(nlohmann::ordered_json& config, const std::string& comando,
                               const std::filesystem::path& arquivo);

// Takes every entry whose command runs kivo_gancho out of the events of
// eventosDoGancho, then the groups and event lists (and a "hooks" object) this leaves
// empty. Throws ConfiguracaoInvalida when "hooks" is not an object.
std::vector<Mudanca> remover(nlohmann::ordered_json& config, const std::filesystem::path& arquivo);

// What happens to "statusLine".
enum class Linha { igual, posta, tirada, alheia };

// Sets "statusLine" to `comando` when there is none or it is kivo's; leaves one of
// the person's own (alheia).
Linha porLinha(nlohmann::ordered_json& config, const std::string& comando);

// Removes a "statusLine" that is kivo's.
Linha tirarLinha(nlohmann::ordered_json& config);

}  // namespace kivo::app
