// What kivo's subcommands share: the call as main() passes it, and the helpers every
// subcommand answers with (main.cpp); the subcommands kept in comandos.cpp.
#pragma once

#include <cstdio>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "apresentacao/pasta.hpp"
#include "tmux/ir.hpp"

namespace kivo::cli {

struct Chamada {
    std::span<const std::string_view> args;  // after the subcommand's name
    const char* argv0;
};

void escrever(std::FILE* f, const std::string& texto);
// A command's own help; 0.
int ajudaDe(std::string_view nome);
// The message on standard error, and where to find help; 2.
int usoErrado(const std::string& mensagem, std::string_view comando = {});
std::optional<kivo::app::ProblemaDaPasta> problemaDosRegistros();
// The folder's problem on standard error; 1.
int pastaIlegivel(const kivo::app::ProblemaDaPasta& p);
// The running executable, with links resolved.
std::filesystem::path esteExecutavel(const char* argv0);

// The ways to an agent, here and on the mirrored machines.
kivo::app::OpcoesIr opcoesIr(bool dentroDoTmux);

int ir(const Chamada& c);
int espelhar(const Chamada& c);
int transmitir(const Chamada& c);
int web(const Chamada& c);

}  // namespace kivo::cli
