// `kivo web`: serves the page until SIGINT, SIGTERM or SIGHUP, printing the address
// with its token first. Blocks those signals in the calling thread (and so in the
// server's threads) while it runs.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace kivo::web {

struct OpcoesWeb {
    std::filesystem::path pasta;
    int porta = 0;       // 0: a free port
    bool abrir = false;  // open the address in the user's browser
    std::vector<std::string> maquinas;  // --maquina: mirrored while it runs (kivo espelhar)
};

// Reads `kivo web`'s options: --porta N (1 to 65535), --abrir, --maquina HOST
// (repeatable). False, with `erro`
// set, for anything else; --ajuda is the caller's (see app::pedeAjuda).
bool lerOpcoesWeb(const std::vector<std::string_view>& args, OpcoesWeb& opcoes, std::string& erro);

// The whole of `kivo web ARGS` for main(): options (with --ajuda), the session
// folder from the environment, then executarWeb on stdout and stderr. Returns the
// exit status (2 for a wrong option).
int comandoWeb(const std::vector<std::string_view>& args);

// Runs the server; returns the exit status: 0 after a signal, 1 when the port is
// busy or the server cannot start (with a message on `erros`).
int executarWeb(const OpcoesWeb& opcoes, std::FILE* saida, std::FILE* erros);

}  // namespace kivo::web
