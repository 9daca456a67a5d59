// `kivo transmitir`: the far end of `kivo espelhar`. Run through ssh on the machine
// whose sessions are mirrored, it writes them to its standard output as lines of
// JSON: first {"kivo":"espelho","versao":1}; then every record with the pids of
// those whose agent runs ({"agora":T,"sessoes":[...],"vivos":[...]}, records in the
// store's own form, texts cut for display), again whenever the folder changes (inotify,
// nothing runs in between) and whenever an agent's process ends; and at least every
// kPulsoSegundos a line of its clock alone ({"agora":T}), by which the mirror knows
// it is alive and how far the two clocks are apart. A line never exceeds
// kLinhaMaxima.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "apresentacao/vigencia.hpp"

namespace kivo::app {

inline constexpr int kVersaoDoEspelho = 1;

// The first line, without its newline.
std::string cabecalhoDoEspelho();

struct OpcoesTransmitir {
    std::filesystem::path sessoes;
    int saida = 1;
    std::function<double()> relogio;
    ProcessoVivo vivo;
};

// Writes until the reading side goes away; returns 0 then.
int transmitir(const OpcoesTransmitir& opcoes);

}  // namespace kivo::app
