// `kivo painel --seguir`: reads the store every second, redraws the panel in place
// and announces each piece of news once (a line, and a desktop notification or the
// terminal bell). Single-threaded; installs its own signal handlers while it runs.
#pragma once

#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "apresentacao/apresentacao.hpp"
#include "apresentacao/avisos.hpp"
#include "kivo/sessao.hpp"
#include "tmux/ir.hpp"

namespace kivo::app {

// One screen for the terminal: the header, the panel and the latest news, each line
// cleared before it is written, from the top left corner, with the rest of the screen cleared
// after it; at most `linhas` lines (none are dropped when `linhas` is below 1): the
// oldest news go first, then the panel's last lines, so the newest news stay. With
// a `largura` above 0, the header is cut to it and each piece of news is broken over
// lines of that width (the panel is expected to fit already).
// `cabecalho` replaces the usual first line when not empty.
std::string quadro(const std::string& painel, const std::deque<std::string>& registro, int linhas,
                   int largura = 0, std::string_view cabecalho = {});

// The first line when the panel takes keys.
inline constexpr std::string_view cabecalhoComTeclas =
    "kivo \u00B7 1\u20139: ir \u00E0 sess\u00E3o da linha \u00B7 Enter: \u00E0 destacada \u00B7 q: sair";

// Seconds between two clean-ups (see limpar.hpp) while the panel runs.
inline constexpr double intervaloDeLimpeza = 300;

struct OpcoesSeguir {
    std::filesystem::path pasta;
    bool terminal = false;  // the output is a terminal: redraw in place
    bool cores = false;
    bool todas = false;     // also the records the views leave out
    int saida = 1;          // file descriptor to write to
    // A terminal to read keys from (1\u20139: the session on that line, Enter: the
    // highlighted one, q: quit), put in non-canonical mode without echo while it
    // runs; -1: no keys.
    int teclas = -1;
    std::function<Ida(const Sessao&, const std::string& nome)> ir;  // what a key does
    NivelDeAvisos avisos = NivelDeAvisos::importantes;
    std::filesystem::path memoria;  // pastaDosAvisos(), shared with the other views
    Olhando olhando;
    // This kivo, for the notification's action "Ir para o agente" (`kivo ir`); "": none.
    std::string kivo;
};

// Runs until SIGINT, SIGTERM or SIGHUP arrives, or the output is gone, and returns
// the exit status, 0 (also on `q`, and when the keys' terminal closes). On a terminal it draws on the alternate screen with the cursor
// hidden, fitting the terminal's width (redrawn at once when it changes), and
// restores both (printing the last panel) before returning. Elsewhere (a pipe, a
// file) it prints the panel once and then one whole line per piece of news. Every
// intervaloDeLimpeza seconds, from the start, it runs limpar() on the folder quietly
// (not with `todas`, which asks to see those records).
int seguirPainel(const OpcoesSeguir& opcoes);

}  // namespace kivo::app
