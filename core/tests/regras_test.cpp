// The hook's one decision and its inputs: the event read from the hook object, the
// context read from the environment, and the rules that turn them into an action.
#include "kivo/regras.hpp"

#include <gtest/gtest.h>

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
// stored atualizado (100), which never goes back. SessionEnd passes every gate.
TEST(Aplicar, PortaDeOrdem) {
    constexpr Caso ignorar = Caso::ignorar, gravar = Caso::gravar;
    struct Caso_ {
        const char *rotulo, *evento; double agora; Caso caso; double atualizado = 100;
        std::optional<std::int64_t> faseGravada = 0; Opt idGravado = "t", idEvento = "t";
    };
    const Caso_ casos[] = {
        {.rotulo = "fim de sessao", .evento = "SessionEnd", .agora = 5, .caso = Caso::apagar, .faseGravada = 2},
        {.rotulo = "fase menor depois", .evento = "PreToolUse", .agora = 101, .caso = ignorar, .faseGravada = 2},
        {.rotulo = "fase maior antes", .evento = "PermissionRequest", .agora = 99, .caso = gravar},
        {.rotulo = "mesma fase antes", .evento = "PreToolUse", .agora = 99, .caso = ignorar},
        {.rotulo = "mesma fase igual", .evento = "PreToolUse", .agora = 100, .caso = gravar},
        {.rotulo = "mesma fase depois", .evento = "PreToolUse", .agora = 101, .caso = gravar, .atualizado = 101},
        {.rotulo = "fase 2 repete", .evento = "PostToolUseFailure", .agora = 99.999, .caso = ignorar, .faseGravada = 2},
        {.rotulo = "recusa e fase 2", .evento = "PermissionDenied", .agora = 99, .caso = ignorar, .faseGravada = 2},
        {.rotulo = "sem fase gravada: -1", .evento = "PreToolUse", .agora = 99, .caso = gravar, .faseGravada = nullopt},
        {.rotulo = "id equivalente", .evento = "PermissionRequest", .agora = 99, .caso = gravar,
         .idGravado = "caf\u00e9", .idEvento = "cafe" + kAcento},
        {.rotulo = "outro id antes", .evento = "PermissionRequest", .agora = 99, .caso = ignorar, .idEvento = "u"},
        {.rotulo = "outro id depois", .evento = "PreToolUse", .agora = 100.5, .caso = gravar, .atualizado = 100.5,
         .faseGravada = 2, .idEvento = "u"},
        {.rotulo = "evento sem id", .evento = "PermissionRequest", .agora = 99, .caso = ignorar, .idEvento = nullopt},
        {.rotulo = "registro sem id antes", .evento = "PermissionRequest", .agora = 99, .caso = ignorar,
         .faseGravada = nullopt, .idGravado = nullopt},
        {.rotulo = "evento sem fase antes", .evento = "UserPromptSubmit", .agora = 99, .caso = ignorar},
        {.rotulo = "evento sem fase igual", .evento = "Stop", .agora = 100, .caso = gravar, .faseGravada = 2}};
    for (const auto& c : casos) {
        SCOPED_TRACE(c.rotulo);
        Sessao s = gravada();
        s.faseFerramenta = c.faseGravada;
        s.ferramentaId = c.idGravado;
        const Acao r = aplicar({.nome = c.evento, .sessaoId = "s", .ferramentaId = c.idEvento}, s, em(c.agora));
        EXPECT_EQ(r.caso, c.caso);
        EXPECT_EQ(r.sessao.value_or(s).atualizado, c.atualizado);
    }
    EXPECT_EQ(aplicar(EventoGancho{.nome = "SessionEnd", .sessaoId = "s"}, nullopt, em(5)), Acao::apagar());
    EXPECT_EQ(aplicar(EventoGancho{.nome = "PostToolUse", .sessaoId = "s"}, nullopt, em(-1e9)).caso, Caso::gravar);
}

// The state, the detail and whether the state's clock (50 in the record) restarts at 200.
// Notifications call by their type, or without one when the message says "permission";
// a session already asking keeps its detail. No `depois`: the event is ignored.
TEST(Aplicar, EstadoDetalheERelogio) {
    using E = Estado;
    const std::string pensando = "Pensando…", rodando = "Rodando um comando", quer = "Quer permissão para ";
    struct Caso_ { EventoGancho e; Estado antes; std::optional<Estado> depois; Opt detalhe; bool reinicia = false; };
    const Caso_ casos[] = {
        {.e = {.nome = "SessionStart"}, .antes = E::ocioso, .depois = E::ocioso},
        {.e = {.nome = "SessionStart", .origemSessao = "resume"}, .antes = E::feito, .depois = E::ocioso,
         .reinicia = true},
        {.e = {.nome = "SessionStart", .origemSessao = "compact"}, .antes = E::atencao, .depois = E::atencao,
         .detalhe = rodando},
        {.e = {.nome = "UserPromptSubmit"}, .antes = E::trabalhando, .depois = E::trabalhando, .detalhe = pensando},
        {.e = {.nome = "PreToolUse", .ferramenta = "Grep"}, .antes = E::feito, .depois = E::trabalhando,
         .detalhe = "Procurando no código", .reinicia = true},
        {.e = {.nome = "PreToolUse", .ferramenta = "AskUserQuestion"}, .antes = E::trabalhando, .depois = E::atencao,
         .detalhe = "Tem uma pergunta pra você", .reinicia = true},
        {.e = {.nome = "PreToolUse", .ferramenta = "ExitPlanMode"}, .antes = E::atencao, .depois = E::atencao,
         .detalhe = "Plano pronto para você aprovar", .reinicia = true},
        {.e = {.nome = "PermissionRequest", .ferramenta = "Bash"}, .antes = E::trabalhando, .depois = E::atencao,
         .detalhe = quer + "rodar um comando", .reinicia = true},
        {.e = {.nome = "PermissionRequest", .ferramentaId = "cafe" + kAcento}, .antes = E::atencao,
         .depois = E::atencao, .detalhe = quer + "continuar"},  // the same call
        {.e = {.nome = "PermissionRequest", .ferramentaId = "u"}, .antes = E::atencao, .depois = E::atencao,
         .detalhe = quer + "continuar", .reinicia = true},
        {.e = {.nome = "PostToolUse", .ferramenta = "Bash"}, .antes = E::atencao, .depois = E::trabalhando,
         .detalhe = pensando, .reinicia = true},
        {.e = {.nome = "PostToolUseFailure"}, .antes = E::trabalhando, .depois = E::trabalhando, .detalhe = pensando},
        {.e = {.nome = "PermissionDenied"}, .antes = E::atencao, .depois = E::trabalhando, .detalhe = pensando,
         .reinicia = true},
        {.e = {.nome = "Stop", .ultimaMensagem = "- **Feito**"}, .antes = E::feito, .depois = E::feito,
         .detalhe = "Feito"},
        {.e = {.nome = "Stop", .ultimaMensagem = " \n``"}, .antes = E::trabalhando, .depois = E::feito,
         .reinicia = true},
        {.e = {.nome = "StopFailure", .ultimaMensagem = "x"}, .antes = E::trabalhando, .depois = E::erro,
         .detalhe = "Parou com erro", .reinicia = true},
        {.e = {.nome = "Notification", .tipoNotificacao = "permission_prompt", .mensagem = "permission to use Bash"},
         .antes = E::trabalhando, .depois = E::atencao, .detalhe = quer + "rodar um comando", .reinicia = true},
        {.e = {.nome = "Notification", .tipoNotificacao = "elicitation_dialog"}, .antes = E::atencao,
         .depois = E::atencao, .detalhe = rodando},
        {.e = {.nome = "Notification", .tipoNotificacao = "elicitation_url_dialog"}, .antes = E::feito,
         .depois = E::atencao, .detalhe = "Precisa de você", .reinicia = true},
        {.e = {.nome = "Notification", .tipoNotificacao = "agent_needs_input"}, .antes = E::erro, .depois = E::atencao,
         .detalhe = "Precisa de você", .reinicia = true},
        {.e = {.nome = "Notification", .tipoNotificacao = "idle_prompt", .mensagem = "permission"},
         .antes = E::erro},
        {.e = {.nome = "Notification", .mensagem = "Needs PERMISSIONS"}, .antes = E::feito, .depois = E::atencao,
         .detalhe = "Needs PERMISSIONS", .reinicia = true},
        {.e = {.nome = "Notification", .mensagem = "permission" + kAcento}, .antes = E::feito},
        {.e = {.nome = "Outro"}, .antes = E::feito}};
    for (const auto& c : casos) {
        const EventoGancho& e = c.e;
        SCOPED_TRACE(e.nome + " " + e.ferramenta.value_or("") + e.tipoNotificacao.value_or("") +
                     e.mensagem.value_or("") + " from " + std::string(nomeDe(c.antes)));
        Sessao antes = gravada();
        antes.estado = c.antes;
        const Acao r = aplicar(e, antes, em(200));
        if (!c.depois) {
            EXPECT_EQ(r, Acao::ignorar());
            EXPECT_EQ(aplicar(e, nullopt, em(200)), Acao::ignorar());  // no record is created
            continue;
        }
        const Sessao s = gravou(r);
        EXPECT_EQ(std::tie(s.estado, s.detalhe, s.mudouEstadoEm),
                  std::tuple(*c.depois, c.detalhe, c.reinicia ? 200.0 : 50.0));
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
    esperada.estado = Estado::feito, esperada.detalhe = nullopt, esperada.atualizado = esperada.mudouEstadoEm = 200;
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
    EXPECT_EQ(gravou(aplicar({.nome = "Stop", .sessaoId = "s", .titulo = " "}, nullopt, em(1))).titulo, nullopt);
}
}  // namespace
}  // namespace kivo
