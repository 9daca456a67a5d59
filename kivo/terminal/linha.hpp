// `kivo linha`: one line for Claude Code's status line and tmux's status bar. The
// mascot's face for the overall mood, then the other sessions that need the user,
// most urgent first, those about to run out of context, then short counts of the
// others. It runs every few hundred
// milliseconds per open conversation, so it reads the folder once and builds no ICU
// object for plain Latin text. Pure but for linhaDaPasta (reads the folder) and
// lerEntrada (reads a descriptor); thread-safe.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kivo/sessao.hpp"
#include "apresentacao/consumo.hpp"
#include "apresentacao/vigencia.hpp"

namespace kivo::app {

enum class Estilo {
    nenhum,  // plain text (a pipe, NO_COLOR)
    ansi,    // ANSI colours (a terminal)
    tmux,    // tmux styles, "#[fg=yellow]"... "#[default]", with "#" doubled in texts
};

struct OpcoesLinha {
    Estilo estilo = Estilo::nenhum;
    int largura = 80;                 // columns the line may take (at least 1)
    std::optional<std::string> esta;  // session_id of the conversation asking, left out
    ProcessoVivo processoVivo;        // empty: every process counts as alive
};

// The line for these records at `agora` (only those in view, see vigentes), ending in
// "\n"; another session whose context is quaseCheio() in what `consumos` gives says so
// ("loja-virtual 92% do contexto"). `consumos` is called at most once, and only when
// such a warning could still fit. Texts from records are limpo(). Never throws (but
// std::bad_alloc and what `consumos` throws).
std::string desenharLinha(const std::vector<Sessao>& sessoes, double agora, const OpcoesLinha& opcoes,
                          const std::function<Consumos()>& consumos = {});

// Everything readable on `fd` until its end (the first `limite` bytes kept, the rest
// read and dropped, so the writer never meets a closed pipe); "" when `fd` is a
// terminal or not open. Never throws (but std::bad_alloc).
std::string lerEntrada(int fd, std::size_t limite = 1 << 20);

}  // namespace kivo::app
