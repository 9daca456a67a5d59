// `kivo verificar`: the whole chain from Claude Code to the views, one line per link,
// each with ✓ or ✗ and, when it fails, what fixes it. It reads the settings, the
// records folder and the PATH, and runs the registered kivo_gancho once with no
// input (which it reads and ignores); it writes nothing.
#pragma once

#include <filesystem>
#include <string>

#include "instalar/instalar.hpp"

namespace kivo::app {

struct OpcoesVerificar {
    std::filesystem::path arquivo;        // Claude Code's settings file
    std::string deOnde;                   // how that file was chosen ("CLAUDE_CONFIG_DIR"...); may be empty
    std::filesystem::path ganchoAoLado;   // the kivo_gancho beside this kivo
    std::filesystem::path base;           // the records folder (Caminhos::base())
    const char* kivoDir = nullptr;        // KIVO_DIR as set, null when unset
    double agora = 0;
    const char* path = nullptr;           // PATH
    bool sessaoGrafica = false;           // DISPLAY, WAYLAND_DISPLAY or a D-Bus session
};

// The report on standard output; status 0 when the essentials hold (the settings
// are read, the hook is registered for every event with a program that runs, and
// the records folder, when it exists, can be read), 1 otherwise.
Resultado verificar(const OpcoesVerificar& opcoes);

}  // namespace kivo::app
