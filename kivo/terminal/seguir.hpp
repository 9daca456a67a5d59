// `kivo painel --seguir`: reads the store every second, redraws the panel in place
// and announces each piece of news once (a line, and a desktop notification or the
// terminal bell). Single-threaded; installs its own signal handlers while it runs.
#pragma once

#include <deque>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "apresentacao/apresentacao.hpp"
#include "kivo/sessao.hpp"

namespace kivo::app {

// One screen for the terminal: the header, the panel and the latest news, each line
// cleared before it is written, from the top left corner, with the rest of the screen cleared
// after it; at most `linhas` lines (none are dropped when `linhas` is below 1): the
// oldest news go first, then the panel's last lines, so the newest news stay. With
// a `largura` above 0, the header is cut to it and each piece of news is broken over
// lines of that width (the panel is expected to fit already).
std::string quadro(const std::string& painel, const std::deque<std::string>& registro, int linhas,
                   int largura = 0);

// Seconds between two clean-ups (see limpar.hpp) while the panel runs.
inline constexpr double intervaloDeLimpeza = 300;

struct OpcoesSeguir {
    std::filesystem::path pasta;
    bool terminal = false;  // the output is a terminal: redraw in place
    bool cores = false;
    bool todas = false;     // also the records the views leave out
    int saida = 1;          // file descriptor to write to
};

// Runs until SIGINT, SIGTERM or SIGHUP arrives, or the output is gone, and returns
// the exit status, 0. On a terminal it draws on the alternate screen with the cursor
// hidden, fitting the terminal's width (redrawn at once when it changes), and
// restores both (printing the last panel) before returning. Elsewhere (a pipe, a
// file) it prints the panel once and then one whole line per piece of news. Every
// intervaloDeLimpeza seconds, from the start, it runs limpar() on the folder quietly
// (not with `todas`, which asks to see those records).
int seguirPainel(const OpcoesSeguir& opcoes);

}  // namespace kivo::app
