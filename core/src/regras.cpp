#include "kivo/regras.hpp"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "kivo/rotulos.hpp"
#include "unicode.hpp"

namespace kivo {
namespace {

constexpr std::size_t kLimiteTitulo = 60;

// Within one tool call the phase orders its events: announced (0), permission asked
// (1), finished (2, whether the tool ran, failed or was refused).
constexpr std::array<std::pair<std::string_view, std::int64_t>, 5> kFaseDoEvento{{
    {"PreToolUse", 0},
    {"PermissionRequest", 1},
    {"PostToolUse", 2},
    {"PostToolUseFailure", 2},
    {"PermissionDenied", 2},
}};

std::optional<std::int64_t> faseDoEvento(std::string_view nome) {
    for (const auto& [evento, fase] : kFaseDoEvento) {
        if (evento == nome) return fase;
    }
    return std::nullopt;
}

// Names that come from Claude Code (events, tools, notification kinds, sources) are
// compared code point by code point after canonical composition.
bool ehNome(const std::optional<std::string>& valor, std::string_view nome) {
    return valor && texto::nfc(*valor) == nome;
}

bool chamaOUsuario(const EventoGancho& evento) {
    if (evento.tipoNotificacao) {
        const std::string tipo = texto::nfc(*evento.tipoNotificacao);
        return tipo == "permission_prompt" || tipo == "elicitation_dialog" ||
               tipo == "elicitation_url_dialog" || tipo == "agent_needs_input";
    }
    return evento.mensagem && texto::contemSemCaixa(*evento.mensagem, "permission");
}

struct Novo {
    Estado estado;
    std::optional<std::string> detalhe;
};

// The state and detail an event leads to, or nullopt when it changes nothing.
// `nome` is the event's name, already composed.
std::optional<Novo> novoEstado(const EventoGancho& evento, std::string_view nome,
                               const std::optional<Sessao>& atual) {
    if (nome == "SessionStart") {
        if (atual && ehNome(evento.origemSessao, "compact")) return Novo{atual->estado, atual->detalhe};
        return Novo{Estado::ocioso, std::nullopt};
    }
    if (nome == "UserPromptSubmit") return Novo{Estado::trabalhando, "Pensando…"};
    if (nome == "PreToolUse") {
        if (ehNome(evento.ferramenta, "AskUserQuestion")) {
            return Novo{Estado::atencao, "Tem uma pergunta pra você"};
        }
        if (ehNome(evento.ferramenta, "ExitPlanMode")) {
            return Novo{Estado::atencao, "Plano pronto para você aprovar"};
        }
        return Novo{Estado::trabalhando, Rotulos::trabalho(evento.ferramenta)};
    }
    if (nome == "PermissionRequest") {
        return Novo{Estado::atencao, "Quer permissão para " + Rotulos::pedido(evento.ferramenta)};
    }
    if (nome == "PostToolUse" || nome == "PostToolUseFailure" || nome == "PermissionDenied") {
        return Novo{Estado::trabalhando, "Pensando…"};
    }
    if (nome == "Notification") {
        if (!chamaOUsuario(evento)) return std::nullopt;
        if (atual && atual->estado == Estado::atencao) return Novo{Estado::atencao, atual->detalhe};
        return Novo{Estado::atencao, Rotulos::notificacao(evento.mensagem)};
    }
    if (nome == "Stop") return Novo{Estado::feito, Rotulos::resumo(evento.ultimaMensagem)};
    if (nome == "StopFailure") return Novo{Estado::erro, "Parou com erro"};
    return std::nullopt;
}

// Whether an event that started at `agora` may still change the record `atual`:
// events that started before the last applied one are dropped, except that within
// one tool call a later phase always wins and an earlier one always loses.
bool passaPelaOrdem(const EventoGancho& evento, std::optional<std::int64_t> fase,
                    const Sessao& atual, double agora) {
    const double u = atual.atualizado;
    if (fase && evento.ferramentaId && atual.ferramentaId &&
        texto::iguais(*evento.ferramentaId, *atual.ferramentaId)) {
        const std::int64_t p = atual.faseFerramenta.value_or(-1);
        if (*fase < p) return false;
        if (!(agora < u)) return true;
        return p < *fase;
    }
    return !(agora < u);
}

}  // namespace

Acao aplicar(const EventoGancho& evento, const std::optional<Sessao>& a, const Contexto& contexto) {
    const std::string nome = texto::nfc(evento.nome);
    if (nome == "SessionEnd") return Acao::apagar();

    const double agora = contexto.agora;
    const std::optional<std::int64_t> fase = faseDoEvento(nome);
    if (a && !passaPelaOrdem(evento, fase, *a, agora)) return Acao::ignorar();

    std::optional<Novo> r = novoEstado(evento, nome, a);
    if (!r) return Acao::ignorar();

    Sessao s;
    if (a) {
        s = *a;
    } else {
        s.id = evento.sessaoId;
        s.cwd = evento.cwd.value_or("");
        s.estado = Estado::ocioso;
        s.atualizado = agora;
        s.mudouEstadoEm = agora;
    }

    if (evento.cwd && !evento.cwd->empty()) s.cwd = *evento.cwd;

    if (evento.titulo) {
        const std::string_view titulo = texto::aparar(*evento.titulo, texto::Conjunto::espacoELinhas);
        if (!titulo.empty()) s.titulo = std::string(texto::primeirosGrafemas(titulo, kLimiteTitulo));
    }

    if (contexto.pid) s.pid = contexto.pid;
    if (contexto.origem) s.origem = contexto.origem;

    const Estado antigo = s.estado;
    // A new call for attention: the session starts asking, or asks again for
    // another tool call.
    const bool novaChamada =
        r->estado == Estado::atencao &&
        (antigo != Estado::atencao || (fase && !texto::iguaisOpcionais(evento.ferramentaId, s.ferramentaId)));
    if (!a || antigo != r->estado || novaChamada) s.mudouEstadoEm = agora;

    // atualizado never goes back, even for an earlier event let through by its phase.
    if (!(s.atualizado > agora)) s.atualizado = agora;

    if (fase && evento.ferramentaId) {
        s.ferramentaId = evento.ferramentaId;
        s.faseFerramenta = fase;
    }

    s.estado = r->estado;
    s.detalhe = std::move(r->detalhe);
    return Acao::gravar(std::move(s));
}

}  // namespace kivo
