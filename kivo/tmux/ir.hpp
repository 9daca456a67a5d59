// Going to an agent: which session a request names, and moving the user's tmux client
// to the pane its agent runs in. `kivo ir`, the panel's keys, the notifications'
// action and the web page's button all end here. Builds on the presentation (which
// sessions are in view) and on tmux.hpp; thread-safe.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "apresentacao/avisos.hpp"
#include "kivo/resumo.hpp"
#include "kivo/sessao.hpp"
#include "tmux/tmux.hpp"

namespace kivo::app {

// The session `pedido` names among those in view (`resumo.ordenadas`): its id, a
// unique start of an id (at least 4 characters) or a unique project name; with an
// empty `pedido`, the highlighted one. When none or several match, `erro` says so
// and lists the candidates.
struct Escolha {
    std::optional<Sessao> sessao;
    std::string erro;
};
Escolha escolherSessao(const Resumo& resumo, std::string_view pedido);

// Where a going ended: status 0 when the client moved, 1 otherwise; `mensagem` says
// where the agent is (or why it could not be reached), without a final newline.
struct Ida {
    int status = 1;
    std::string mensagem;
};

struct OpcoesIr {
    std::vector<std::string> servidores;  // servidoresDoTmux()
    // Run from inside tmux (a key binding, a pane): move the client that ran it, when
    // the agent is on that server. Otherwise the most recently active client.
    bool dentroDoTmux = false;
    Tmux tmux;
    // Other machines' sessions (espelho.hpp): their mirror's folder, and the ssh
    // command that reaches them (comandoSsh), which runs `kivo ir` over there.
    std::filesystem::path espelhos;
    std::vector<std::string> ssh = {"ssh"};
};

// Finds the pane of `sessao`'s agent (by its pid's ancestry) and moves a client there.
// A session of another machine ("<id>@<machine>", mirrored in opcoes.espelhos) is
// reached by running `kivo ir <id>` over there through ssh, which moves that
// machine's tmux client (a terminal attached over ssh then shows the pane).
// `nome` names the session in the message.
Ida irPara(const Sessao& sessao, std::string_view nome, const OpcoesIr& opcoes);

// Whether the user is looking at a session's agent: its pane is the one shown by an
// attached client that has the focus (without tmux's focus-events, every attached
// client counts as focused). Each call asks tmux again.
Olhando olhandoNoTmux(std::vector<std::string> servidores, Tmux tmux = Tmux());

// `kivo ir PEDIDO` as the command, the panel and the page all do it: the records of
// the session folder `pasta` in view now, the session `pedido` names
// (escolherSessao), and irPara under the name the views give it.
Ida ir(const std::filesystem::path& pasta, std::string_view pedido, const OpcoesIr& opcoes);

// Where a pane is, for a sentence: "tmux, sess\u00E3o \u201Cum\u201D, janela 0, painel 1".
std::string ondeFica(const PainelTmux& painel);

}  // namespace kivo::app
