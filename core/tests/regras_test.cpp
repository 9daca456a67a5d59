// The hook's one decision and its inputs: the event read from the hook object, the
// context read from the environment, and the rules that turn them into an action.
#include "kivo/regras.hpp"

#include <gtest/gtest.h>

#include <algorithm>

namespace kivo {
namespace {

using std::nullopt;
using Opt = std::optional<std::string>;
using nlohmann::json;
using Caso = Acao::Caso;

const std::string kAcento = "\u0301";

Contexto em(double agora) { return Contexto{.agora = agora}; }

// A stored record of tool call "caf\u00e9" (no phase yet), updated at 100, in its state since 50.
Sessao gravada() {
    return Sessao{.id = "s", .cwd = "/p", .titulo = "Titulo", .estado = Estado::trabalhando,
                  .detalhe = "Rodando um comando", .atualizado = 100, .mudouEstadoEm = 50, .pid = 7,
                  .origem = "vscode", .ferramentaId = "caf\u00e9"};
}

Sessao gravou(const Acao& acao) {
    EXPECT_EQ(acao.caso, Caso::gravar);
    return acao.sessao.value_or(Sessao{});
}

TEST(EventoGancho, SoTextosContam) {
    for (const json& j : {json{{"hook_event_name", "Stop"}, {"session_id", ""}}, json{{"hook_event_name", "Stop"}},
                          json{{"hook_event_name", 3}, {"session_id", "s"}}, json::array({"Stop", "s"})})
        EXPECT_FALSE(EventoGancho::deJson(j)) << j;
    const EventoGancho todos{.nome = "", .sessaoId = " s ", .ferramenta = "Bash", .ferramentaId = "t",
                             .tipoNotificacao = "n", .mensagem = "m", .titulo = " T ", .ultimaMensagem = "fim",
                             .origemSessao = "compact"};
    const json objeto = {{"hook_event_name", ""}, {"session_id", " s "}, {"cwd", 5}, {"tool_name", "Bash"},
                         {"tool_use_id", "t"}, {"notification_type", "n"}, {"message", "m"}, {"title", "nao"},
                         {"session_title", " T "}, {"last_assistant_message", "fim"}, {"source", "compact"}};
    EXPECT_EQ(EventoGancho::deJson(objeto), todos);
    const EventoGancho a{.nome = "", .sessaoId = "s", .ultimaMensagem = "fime" + kAcento};
    EXPECT_EQ(a, (EventoGancho{.nome = "", .sessaoId = "s", .ultimaMensagem = "fim\u00e9"}));  // canonically equal
    EXPECT_NE(a, todos);
}

TEST(Contexto, PidEOrigem) {
    const std::pair<const char*, std::optional<std::int32_t>> pids[] = {
        {"+12", 12}, {"-2147483648", INT32_MIN}, {"2147483648", nullopt}, {" 12", nullopt}, {"12a", nullopt}};
    for (const auto& [valor, pid] : pids) EXPECT_EQ(Contexto::doAmbiente({{"CLAUDE_PID", valor}}, 5).pid, pid) << valor;
    // The desktop app wins over the terminal, and a terminal name that is not UTF-8 is skipped.
    EXPECT_EQ(Contexto::doAmbiente({{"CLAUDE_CODE_ENTRYPOINT", "claude-desktop"}, {"TERM_PROGRAM", "x"}}, 0).origem,
              "claude-desktop");
    EXPECT_EQ(Contexto::doAmbiente({{"CLAUDE_CODE_ENTRYPOINT", "cli"}, {"TERM_PROGRAM", "\xff"}}, 0).origem, "cli");
    const Contexto vazio = Contexto::doAmbiente({}, 5);
    EXPECT_TRUE(vazio.agora == 5 && !vazio.pid && !vazio.origem);
}

// Every branch of the order gate, at an earlier, equal and later moment than the
// stored atualizado (100); atualizado never goes back. SessionEnd passes every gate.
TEST(Aplicar, PortaDeOrdem) {
    const std::tuple<const char*, std::optional<std::int64_t>, Opt, const char*, Opt, double, Caso> casos[] = {
        {"fim de sessao", 2, "t", "SessionEnd", "t", 5, Caso::apagar},
        {"fase menor depois", 2, "t", "PreToolUse", "t", 101, Caso::ignorar},
        {"fase maior antes", 0, "t", "PermissionRequest", "t", 99, Caso::gravar},
        {"mesma fase antes", 0, "t", "PreToolUse", "t", 99, Caso::ignorar},
        {"mesma fase igual", 0, "t", "PreToolUse", "t", 100, Caso::gravar},
        {"fase 2 repetida antes", 2, "t", "PostToolUseFailure", "t", 99.999, Caso::ignorar},
        {"sem fase gravada conta -1", nullopt, "t", "PreToolUse", "t", 99, Caso::gravar},
        {"id equivalente", 0, "caf\u00e9", "PermissionRequest", "cafe" + kAcento, 99, Caso::gravar},
        {"outro id antes", 0, "t", "PermissionRequest", "u", 99, Caso::ignorar},
        {"evento sem id antes", 0, "t", "PermissionRequest", nullopt, 99, Caso::ignorar},
        {"registro sem id antes", nullopt, nullopt, "PermissionRequest", "t", 99, Caso::ignorar},
        {"evento sem fase antes", 0, "t", "UserPromptSubmit", "t", 99, Caso::ignorar},
        {"evento sem fase igual", 2, "t", "Stop", "t", 100, Caso::gravar},
    };
    for (const auto& [rotulo, faseGravada, idGravado, evento, idEvento, agora, caso] : casos) {
        SCOPED_TRACE(rotulo);
        Sessao s = gravada();
        s.faseFerramenta = faseGravada;
        s.ferramentaId = idGravado;
        const Acao r = aplicar(EventoGancho{.nome = evento, .sessaoId = "s", .ferramentaId = idEvento}, s, em(agora));
        EXPECT_EQ(r.caso, caso);
        EXPECT_EQ(r.sessao ? r.sessao->atualizado : 100, std::max(100.0, caso == Caso::gravar ? agora : 0));
    }
    EXPECT_EQ(aplicar(EventoGancho{.nome = "SessionEnd", .sessaoId = "s"}, nullopt, em(5)), Acao::apagar());
    EXPECT_EQ(aplicar(EventoGancho{.nome = "PostToolUse", .sessaoId = "s"}, nullopt, em(-1e9)).caso, Caso::gravar);
}

// The state, the detail and whether the state's clock (50 in the record) restarts at 200.
// Notifications call by their type, or without one when the message says "permission";
// a session already asking keeps its detail.
TEST(Aplicar, EstadoDetalheERelogio) {
    using E = Estado;
    using Ev = EventoGancho;
    const std::string pensando = "Pensando…", rodando = "Rodando um comando", quer = "Quer permissão para ";
    const std::tuple<EventoGancho, Estado, std::optional<Estado>, Opt, bool> casos[] = {  // nullopt: ignorar
        {Ev{.nome = "SessionStart"}, E::ocioso, E::ocioso, nullopt, false},
        {Ev{.nome = "SessionStart", .origemSessao = "resume"}, E::feito, E::ocioso, nullopt, true},
        {Ev{.nome = "SessionStart", .origemSessao = "compact"}, E::atencao, E::atencao, rodando, false},
        {Ev{.nome = "UserPromptSubmit"}, E::trabalhando, E::trabalhando, pensando, false},
        {Ev{.nome = "PreToolUse", .ferramenta = "AskUserQuestion"}, E::trabalhando, E::atencao,
         "Tem uma pergunta pra você", true},
        {Ev{.nome = "PreToolUse", .ferramenta = "ExitPlanMode"}, E::atencao, E::atencao,
         "Plano pronto para você aprovar", true},
        {Ev{.nome = "PermissionRequest", .ferramenta = "Bash"}, E::trabalhando, E::atencao, quer + "rodar um comando",
         true},
        {Ev{.nome = "PermissionRequest", .ferramentaId = "cafe" + kAcento}, E::atencao, E::atencao, quer + "continuar",
         false},  // the same call
        {Ev{.nome = "PermissionRequest", .ferramentaId = "u"}, E::atencao, E::atencao, quer + "continuar", true},
        {Ev{.nome = "PostToolUse", .ferramenta = "Bash"}, E::atencao, E::trabalhando, pensando, true},
        {Ev{.nome = "PostToolUseFailure"}, E::trabalhando, E::trabalhando, pensando, false},
        {Ev{.nome = "Stop", .ultimaMensagem = "- **Feito**"}, E::feito, E::feito, "Feito", false},
        {Ev{.nome = "Stop", .ultimaMensagem = " \n``"}, E::trabalhando, E::feito, nullopt, true},
        {Ev{.nome = "StopFailure", .ultimaMensagem = "x"}, E::trabalhando, E::erro, "Parou com erro", true},
        {Ev{.nome = "Notification", .tipoNotificacao = "permission_prompt", .mensagem = "permission to use Bash"},
         E::trabalhando, E::atencao, quer + "rodar um comando", true},
        {Ev{.nome = "Notification", .tipoNotificacao = "elicitation_dialog"}, E::atencao, E::atencao, rodando, false},
        {Ev{.nome = "Notification", .tipoNotificacao = "idle_prompt", .mensagem = "permission"}, E::erro, nullopt,
         nullopt, false},
        {Ev{.nome = "Notification", .mensagem = "Needs PERMISSIONS"}, E::feito, E::atencao, "Needs PERMISSIONS", true},
        {Ev{.nome = "Notification", .mensagem = "permission" + kAcento}, E::feito, nullopt, nullopt, false},
    };
    for (const auto& [e, estadoAntes, estado, detalhe, reinicia] : casos) {
        SCOPED_TRACE(e.nome + " " + e.ferramenta.value_or("") + e.tipoNotificacao.value_or("") +
                     e.mensagem.value_or("") + " from " + std::string(nomeDe(estadoAntes)));
        Sessao antes = gravada();
        antes.estado = estadoAntes;
        const Acao r = aplicar(e, antes, em(200));
        if (!estado) {
            EXPECT_EQ(r, Acao::ignorar());
            EXPECT_EQ(aplicar(e, nullopt, em(200)), Acao::ignorar());  // no record is created
            continue;
        }
        const Sessao s = gravou(r);
        EXPECT_EQ(s.estado, *estado);
        EXPECT_EQ(s.detalhe, detalhe);
        EXPECT_EQ(s.mudouEstadoEm, reinicia ? 200 : 50);
    }
}

TEST(Aplicar, CamposDoRegistroETitulo) {
    // The first event creates the record from the event and the context.
    const EventoGancho inicio{.nome = "SessionStart", .sessaoId = "s1", .cwd = "/home/ana/p"};
    EXPECT_EQ(aplicar(inicio, nullopt, Contexto{.agora = 7, .pid = 42, .origem = "claude-desktop"}),
              Acao::gravar(Sessao{.id = "s1", .cwd = "/home/ana/p", .estado = Estado::ocioso, .atualizado = 7,
                                  .mudouEstadoEm = 7, .pid = 42, .origem = "claude-desktop"}));
    EXPECT_NE(Acao::gravar(gravada()), Acao::gravar(Sessao{}));
    // The stored id and call stay; an empty cwd and absent context values change nothing.
    Sessao esperada = gravada();
    esperada.estado = Estado::feito;
    esperada.detalhe = nullopt;
    esperada.atualizado = esperada.mudouEstadoEm = 200;
    const EventoGancho parou{.nome = "Stop", .sessaoId = "outro", .cwd = "", .ferramentaId = "x"};
    EXPECT_EQ(aplicar(parou, gravada(), em(200)), Acao::gravar(esperada));
    esperada = gravou(aplicar(EventoGancho{.nome = "UserPromptSubmit", .sessaoId = "s", .cwd = "/q"}, gravada(),
                              Contexto{.agora = 200, .pid = -3, .origem = ""}));
    EXPECT_EQ(std::tie(esperada.cwd, esperada.pid, esperada.origem), std::tuple("/q", -3, Opt("")));
    // A later phase of the stored call that started before the stored update.
    const EventoGancho tarde{.nome = "PermissionRequest", .sessaoId = "s", .ferramentaId = "caf\u00e9"};
    const Sessao u = gravou(aplicar(tarde, gravada(), em(90)));
    EXPECT_EQ(std::tie(u.atualizado, u.mudouEstadoEm, u.faseFerramenta), std::tuple(100, 90, 1));
    // Titles are trimmed of spaces and line ends and cut at 60 characters; a blank one
    // keeps the stored title, or leaves a new record without one.
    const std::string a60(60, 'a'), a58(58, 'a');
    const std::pair<Opt, Opt> casos[] = {
        {nullopt, "Anterior"}, {" \n\u2028\u00a0\r\n\u0085 ", "Anterior"}, {"  Novo\n", "Novo"}, {"\tNovo", "\tNovo"},
        {"   " + a60 + "a  ", a60}, {a58 + "\r\nbc", a58 + "\r\nb"},  // CR LF counts as one
        {"\xff" + std::string(70, '\xe9'), "\xff" + std::string(59, '\xe9')}};
    Sessao antes = gravada();
    antes.titulo = "Anterior";
    for (const auto& [titulo, esperado] : casos) {
        const EventoGancho e{.nome = "UserPromptSubmit", .sessaoId = "s", .titulo = titulo};
        EXPECT_EQ(gravou(aplicar(e, antes, em(200))).titulo, esperado) << titulo.value_or("(ausente)");
    }
    const EventoGancho branco{.nome = "Stop", .sessaoId = "s", .titulo = " "};
    EXPECT_EQ(gravou(aplicar(branco, nullopt, em(1))).titulo, nullopt);
}

}  // namespace
}  // namespace kivo
