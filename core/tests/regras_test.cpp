#include "kivo/regras.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "json.hpp"

namespace kivo {
namespace {

using std::nullopt;
using Opt = std::optional<std::string>;

const std::string kAcento = "\u0301";

Contexto em(double agora) { return Contexto{.agora = agora}; }

std::string repetir(const std::string& s, int n) {
    std::string r;
    for (int k = 0; k < n; ++k) r += s;
    return r;
}

// A stored record in the middle of tool call "t" (phase 0), last updated at 100,
// in its state since 50.
Sessao gravada() {
    return Sessao{.id = "s",
                  .cwd = "/p",
                  .titulo = "Titulo",
                  .estado = Estado::trabalhando,
                  .detalhe = "Rodando um comando",
                  .atualizado = 100,
                  .mudouEstadoEm = 50,
                  .pid = 7,
                  .origem = "vscode",
                  .ferramentaId = "t",
                  .faseFerramenta = 0};
}

Sessao gravou(const Acao& acao) {
    EXPECT_EQ(acao.caso, Acao::Caso::gravar);
    return acao.sessao.value_or(Sessao{});
}

TEST(Acao, Igualdade) {
    EXPECT_EQ(Acao::apagar(), Acao::apagar());
    EXPECT_NE(Acao::apagar(), Acao::ignorar());
    EXPECT_EQ(Acao::gravar(gravada()).sessao, gravada());
    EXPECT_FALSE(Acao::ignorar().sessao.has_value());
    Sessao outra = gravada();
    outra.faseFerramenta = nullopt;
    EXPECT_NE(Acao::gravar(gravada()), Acao::gravar(outra));
    Sessao decomposta = gravada();
    decomposta.detalhe = "Caf\u00e9";
    Sessao composta = gravada();
    composta.detalhe = "Cafe" + kAcento;
    EXPECT_EQ(Acao::gravar(decomposta), Acao::gravar(composta));
}

TEST(Aplicar, FimDeSessaoApagaSempre) {
    const EventoGancho fim{.nome = "SessionEnd", .sessaoId = "s"};
    EXPECT_EQ(aplicar(fim, nullopt, em(5)), Acao::apagar());
    EXPECT_EQ(aplicar(fim, gravada(), em(5)), Acao::apagar());
    EXPECT_EQ(aplicar(fim, gravada(), em(500)), Acao::apagar());
    EXPECT_EQ(aplicar(EventoGancho{.nome = "sessionEnd", .sessaoId = "s"}, nullopt, em(5)), Acao::ignorar());
}

// Every branch of the order gate, at an earlier, equal and later moment than the
// stored atualizado (100).
TEST(Aplicar, PortaDeOrdem) {
    const struct {
        const char* rotulo;
        std::optional<std::int64_t> faseGravada;
        Opt idGravado;
        const char* evento;
        Opt idEvento;
        double agora;
        bool aplica;
    } casos[] = {
        // Same tool call: a lower phase always loses.
        {"fase menor depois", 2, "t", "PreToolUse", "t", 101, false},
        {"fase menor no mesmo instante", 2, "t", "PermissionRequest", "t", 100, false},
        {"fase menor antes", 1, "t", "PreToolUse", "t", 99, false},
        // A higher phase always wins.
        {"fase maior antes", 0, "t", "PermissionRequest", "t", 99, true},
        {"fim antes", 1, "t", "PostToolUse", "t", 50, true},
        {"falha antes", 0, "t", "PostToolUseFailure", "t", 99, true},
        {"recusa antes", 1, "t", "PermissionDenied", "t", 99, true},
        // The same phase goes by time: earlier loses, equal or later wins.
        {"mesma fase antes", 0, "t", "PreToolUse", "t", 99, false},
        {"mesma fase no mesmo instante", 0, "t", "PreToolUse", "t", 100, true},
        {"mesma fase depois", 0, "t", "PreToolUse", "t", 101, true},
        {"fase 2 repetida antes", 2, "t", "PostToolUseFailure", "t", 99.999, false},
        {"fase 2 repetida igual", 2, "t", "PermissionDenied", "t", 100, true},
        // No stored phase counts as -1.
        {"sem fase gravada, fase 0 antes", nullopt, "t", "PreToolUse", "t", 99, true},
        {"sem fase gravada, fase 2 antes", nullopt, "t", "PostToolUse", "t", 1, true},
        // Ids are compared by canonical equivalence.
        {"id equivalente", 0, "caf\u00e9", "PermissionRequest", "cafe" + kAcento, 99, true},
        {"id equivalente fase menor", 2, "caf\u00e9", "PreToolUse", "cafe" + kAcento, 101, false},
        {"id em outra caixa e outro", 2, "T", "PreToolUse", "t", 101, true},
        // Another call, no id, or no phase: time alone decides.
        {"outro id antes", 0, "t", "PermissionRequest", "u", 99, false},
        {"outro id igual", 2, "t", "PreToolUse", "u", 100, true},
        {"evento sem id antes", 0, "t", "PermissionRequest", nullopt, 99, false},
        {"evento sem id igual", 2, "t", "PreToolUse", nullopt, 100, true},
        {"registro sem id antes", nullopt, nullopt, "PermissionRequest", "t", 99, false},
        {"registro sem id igual", nullopt, nullopt, "PreToolUse", "t", 100, true},
        {"sem fase antes", 0, "t", "UserPromptSubmit", "t", 99, false},
        {"sem fase igual", 2, "t", "Stop", "t", 100, true},
        {"sem fase depois", 2, "t", "StopFailure", "t", 101, true},
        {"notificacao antes", 0, "t", "Notification", "t", 99, false},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.rotulo);
        Sessao s = gravada();
        s.faseFerramenta = c.faseGravada;
        s.ferramentaId = c.idGravado;
        const EventoGancho e{.nome = c.evento, .sessaoId = "s", .ferramentaId = c.idEvento,
                             .tipoNotificacao = "permission_prompt"};
        const Acao r = aplicar(e, s, em(c.agora));
        EXPECT_EQ(r.caso, c.aplica ? Acao::Caso::gravar : Acao::Caso::ignorar);
        if (c.aplica) {
            EXPECT_EQ(r.sessao->atualizado, std::max(100.0, c.agora));
        }
    }
}

TEST(Aplicar, SemRegistroTudoPassa) {
    const EventoGancho e{.nome = "PostToolUse", .sessaoId = "s", .ferramentaId = "t"};
    EXPECT_EQ(aplicar(e, nullopt, em(-1e9)).caso, Acao::Caso::gravar);
}

// The state and detail each event leads to, from a record in trabalhando.
TEST(Aplicar, TabelaDeEstados) {
    const struct {
        const char* rotulo;
        EventoGancho evento;
        std::optional<Estado> estado;  // nullopt: ignorar
        Opt detalhe;
    } casos[] = {
        {"inicio", {.nome = "SessionStart"}, Estado::ocioso, nullopt},
        {"inicio retomado", {.nome = "SessionStart", .origemSessao = "resume"}, Estado::ocioso, nullopt},
        {"inicio compactado", {.nome = "SessionStart", .origemSessao = "compact"}, Estado::trabalhando,
         "Rodando um comando"},
        {"inicio Compact", {.nome = "SessionStart", .origemSessao = "Compact"}, Estado::ocioso, nullopt},
        {"prompt", {.nome = "UserPromptSubmit"}, Estado::trabalhando, "Pensando…"},
        {"pergunta", {.nome = "PreToolUse", .ferramenta = "AskUserQuestion"}, Estado::atencao,
         "Tem uma pergunta pra você"},
        {"plano", {.nome = "PreToolUse", .ferramenta = "ExitPlanMode"}, Estado::atencao,
         "Plano pronto para você aprovar"},
        {"plano em outra caixa", {.nome = "PreToolUse", .ferramenta = "exitPlanMode"}, Estado::trabalhando,
         "Trabalhando"},
        {"ferramenta", {.nome = "PreToolUse", .ferramenta = "Read"}, Estado::trabalhando, "Lendo arquivos"},
        {"ferramenta ausente", {.nome = "PreToolUse"}, Estado::trabalhando, "Trabalhando"},
        {"ferramenta MCP", {.nome = "PreToolUse", .ferramenta = "mcp__terminal__x"}, Estado::trabalhando,
         "Usando o terminal"},
        {"permissao", {.nome = "PermissionRequest", .ferramenta = "Bash"}, Estado::atencao,
         "Quer permissão para rodar um comando"},
        {"permissao sem ferramenta", {.nome = "PermissionRequest"}, Estado::atencao,
         "Quer permissão para continuar"},
        {"permissao de pergunta", {.nome = "PermissionRequest", .ferramenta = "AskUserQuestion"},
         Estado::atencao, "Quer permissão para usar AskUserQuestion"},
        {"depois", {.nome = "PostToolUse", .ferramenta = "Bash"}, Estado::trabalhando, "Pensando…"},
        {"falha", {.nome = "PostToolUseFailure"}, Estado::trabalhando, "Pensando…"},
        {"recusa", {.nome = "PermissionDenied"}, Estado::trabalhando, "Pensando…"},
        {"parou", {.nome = "Stop", .ultimaMensagem = "- **Feito**"}, Estado::feito, "Feito"},
        {"parou sem resumo", {.nome = "Stop", .ultimaMensagem = "  \n``"}, Estado::feito, nullopt},
        {"parou sem mensagem", {.nome = "Stop"}, Estado::feito, nullopt},
        {"erro", {.nome = "StopFailure", .ultimaMensagem = "x"}, Estado::erro, "Parou com erro"},
        {"nome vazio", {.nome = ""}, nullopt, nullopt},
        {"nome desconhecido", {.nome = "PreCompact"}, nullopt, nullopt},
        {"nome em outra caixa", {.nome = "stop"}, nullopt, nullopt},
        {"nome com acento", {.nome = "Stop" + kAcento}, nullopt, nullopt},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.rotulo);
        EventoGancho e = c.evento;
        e.sessaoId = "s";
        const Acao r = aplicar(e, gravada(), em(200));
        if (!c.estado) {
            EXPECT_EQ(r, Acao::ignorar());
            continue;
        }
        const Sessao s = gravou(r);
        EXPECT_EQ(s.estado, *c.estado);
        EXPECT_EQ(s.detalhe, c.detalhe);
    }
}

// When a notification calls for the user, and what it shows.
TEST(Aplicar, Notificacoes) {
    const struct {
        const char* rotulo;
        Opt tipo;
        Opt mensagem;
        Estado estadoGravado;
        std::optional<Estado> estado;  // nullopt: ignorar
        Opt detalhe;
    } casos[] = {
        {"permission_prompt", "permission_prompt", "Claude needs your permission to use Bash",
         Estado::trabalhando, Estado::atencao, "Quer permissão para rodar um comando"},
        {"elicitation_dialog", "elicitation_dialog", nullopt, Estado::feito, Estado::atencao,
         "Precisa de você"},
        {"elicitation_url_dialog", "elicitation_url_dialog", "Claude is waiting for your input",
         Estado::ocioso, Estado::atencao, "Esperando sua resposta"},
        {"agent_needs_input", "agent_needs_input", "Abra o link", Estado::erro, Estado::atencao,
         "Abra o link"},
        {"ja em atencao guarda o detalhe", "permission_prompt", "permission to use Read",
         Estado::atencao, Estado::atencao, "Detalhe anterior"},
        {"outro tipo ignora a mensagem", "idle_prompt", "permission to use Bash", Estado::trabalhando,
         nullopt, nullopt},
        {"tipo em outra caixa", "Permission_prompt", nullopt, Estado::trabalhando, nullopt, nullopt},
        {"tipo vazio", "", "permission", Estado::trabalhando, nullopt, nullopt},
        {"sem tipo, permission em maiusculas", nullopt, "Needs PERMISSION now", Estado::trabalhando,
         Estado::atencao, "Needs PERMISSION now"},
        {"sem tipo, Permission", nullopt, "Permission to use Bash", Estado::feito, Estado::atencao,
         "Permission to use Bash"},
        {"sem tipo, permissions", nullopt, "permissions", Estado::feito, Estado::atencao, "permissions"},
        {"sem tipo, permission com acento", nullopt, "permission" + kAcento, Estado::feito, nullopt,
         nullopt},
        {"sem tipo, outra mensagem", nullopt, "Task done", Estado::trabalhando, nullopt, nullopt},
        {"sem tipo nem mensagem", nullopt, nullopt, Estado::trabalhando, nullopt, nullopt},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.rotulo);
        Sessao antes = gravada();
        antes.estado = c.estadoGravado;
        antes.detalhe = "Detalhe anterior";
        const EventoGancho e{.nome = "Notification", .sessaoId = "s", .tipoNotificacao = c.tipo,
                             .mensagem = c.mensagem};
        const Acao r = aplicar(e, antes, em(200));
        if (!c.estado) {
            EXPECT_EQ(r, Acao::ignorar());
            EXPECT_EQ(aplicar(e, nullopt, em(200)), Acao::ignorar());  // no record is created
            continue;
        }
        const Sessao s = gravou(r);
        EXPECT_EQ(s.estado, *c.estado);
        EXPECT_EQ(s.detalhe, c.detalhe);
    }
}

// mudouEstadoEm restarts when the state changes or a new call for attention begins.
TEST(Aplicar, TempoDoEstado) {
    const struct {
        const char* rotulo;
        Estado estadoGravado;
        Opt idGravado;
        EventoGancho evento;
        double mudouEstadoEm;
    } casos[] = {
        {"mesmo estado, outra ferramenta", Estado::trabalhando, "t",
         {.nome = "PreToolUse", .ferramenta = "Read", .ferramentaId = "u"}, 50},
        {"trabalhando para atencao", Estado::trabalhando, "t",
         {.nome = "PermissionRequest", .ferramentaId = "t"}, 200},
        {"atencao, permissao de outra chamada", Estado::atencao, "t",
         {.nome = "PermissionRequest", .ferramentaId = "u"}, 200},
        {"atencao, mesma chamada", Estado::atencao, "t", {.nome = "PermissionRequest", .ferramentaId = "t"}, 50},
        {"atencao, mesma chamada equivalente", Estado::atencao, "caf\u00e9",
         {.nome = "PermissionRequest", .ferramentaId = "cafe" + kAcento}, 50},
        {"atencao, pergunta sem id depois de uma chamada", Estado::atencao, "t",
         {.nome = "PreToolUse", .ferramenta = "AskUserQuestion"}, 200},
        {"atencao, pergunta sem id e nenhum gravado", Estado::atencao, nullopt,
         {.nome = "PreToolUse", .ferramenta = "AskUserQuestion"}, 50},
        {"atencao, notificacao", Estado::atencao, "t",
         {.nome = "Notification", .ferramentaId = "u", .tipoNotificacao = "permission_prompt"}, 50},
        {"atencao, fim da chamada", Estado::atencao, "t", {.nome = "PostToolUse", .ferramentaId = "t"}, 200},
        {"feito de novo", Estado::feito, "t", {.nome = "Stop"}, 50},
        {"compactado mantem", Estado::trabalhando, "t", {.nome = "SessionStart", .origemSessao = "compact"}, 50},
        {"compactado em atencao mantem", Estado::atencao, "t",
         {.nome = "SessionStart", .origemSessao = "compact"}, 50},
        {"inicio de ocioso", Estado::ocioso, "t", {.nome = "SessionStart"}, 50},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.rotulo);
        Sessao antes = gravada();
        antes.estado = c.estadoGravado;
        antes.ferramentaId = c.idGravado;
        antes.faseFerramenta = nullopt;
        EventoGancho e = c.evento;
        e.sessaoId = "s";
        EXPECT_EQ(gravou(aplicar(e, antes, em(200))).mudouEstadoEm, c.mudouEstadoEm);
    }
}

TEST(Aplicar, PrimeiroEventoCriaRegistro) {
    const EventoGancho inicio{.nome = "SessionStart", .sessaoId = "s1", .cwd = "/home/ana/p"};
    const Contexto ctx{.agora = 7, .pid = 42, .origem = "claude-desktop"};
    EXPECT_EQ(aplicar(inicio, nullopt, ctx),
              Acao::gravar(Sessao{.id = "s1", .cwd = "/home/ana/p", .estado = Estado::ocioso,
                                  .atualizado = 7, .mudouEstadoEm = 7, .pid = 42,
                                  .origem = "claude-desktop"}));

    const EventoGancho pergunta{.nome = "PreToolUse", .sessaoId = "s2", .ferramenta = "AskUserQuestion",
                                .ferramentaId = "t1", .titulo = " Oi "};
    EXPECT_EQ(aplicar(pergunta, nullopt, em(9)),
              Acao::gravar(Sessao{.id = "s2", .cwd = "", .titulo = "Oi", .estado = Estado::atencao,
                                  .detalhe = "Tem uma pergunta pra você", .atualizado = 9,
                                  .mudouEstadoEm = 9, .ferramentaId = "t1", .faseFerramenta = 0}));
}

TEST(Aplicar, CamposDoContextoEDoEvento) {
    // The stored id stays, an empty cwd never replaces the stored one, absent context
    // values leave the stored ones, and events without a phase keep the tool call.
    const EventoGancho parou{.nome = "Stop", .sessaoId = "outro", .cwd = "", .ferramentaId = "x"};
    const Sessao s = gravou(aplicar(parou, gravada(), em(200)));
    EXPECT_EQ(s.id, "s");
    EXPECT_EQ(s.cwd, "/p");
    EXPECT_EQ(s.pid, 7);
    EXPECT_EQ(s.origem, Opt("vscode"));
    EXPECT_EQ(s.ferramentaId, Opt("t"));
    EXPECT_EQ(s.faseFerramenta, 0);
    EXPECT_EQ(s.titulo, Opt("Titulo"));

    const EventoGancho prompt{.nome = "UserPromptSubmit", .sessaoId = "s", .cwd = "/q"};
    const Sessao t = gravou(aplicar(prompt, gravada(), Contexto{.agora = 200, .pid = -3, .origem = ""}));
    EXPECT_EQ(t.cwd, "/q");
    EXPECT_EQ(t.pid, -3);
    EXPECT_EQ(t.origem, Opt(""));
    EXPECT_EQ(t.ferramentaId, Opt("t"));
    EXPECT_EQ(t.faseFerramenta, 0);

    // A phase event without a tool id keeps the stored call too.
    const EventoGancho semId{.nome = "PostToolUse", .sessaoId = "s"};
    const Sessao u = gravou(aplicar(semId, gravada(), em(200)));
    EXPECT_EQ(u.ferramentaId, Opt("t"));
    EXPECT_EQ(u.faseFerramenta, 0);
}

TEST(Aplicar, PermissaoAtrasadaDaMesmaChamada) {
    // Started before the stored update, but a later phase of the stored call.
    const EventoGancho e{.nome = "PermissionRequest", .sessaoId = "s", .ferramenta = "Bash",
                         .ferramentaId = "t"};
    const Sessao s = gravou(aplicar(e, gravada(), em(90)));
    EXPECT_EQ(s.atualizado, 100);
    EXPECT_EQ(s.mudouEstadoEm, 90);
    EXPECT_EQ(s.estado, Estado::atencao);
    EXPECT_EQ(s.faseFerramenta, 1);
}

TEST(Aplicar, Titulos) {
    const std::string e = "e" + kAcento;
    const struct {
        const char* rotulo;
        Opt titulo;
        Opt esperado;
    } casos[] = {
        {"ausente", nullopt, "Anterior"},
        {"vazio", "", "Anterior"},
        {"so brancos e linhas", " \n\u2028\u00a0\r\n\u0085 ", "Anterior"},
        {"aparado", "  Novo\n", "Novo"},
        {"tab nao e aparado", "\tNovo", "\tNovo"},
        {"60 fica", repetir("a", 60), repetir("a", 60)},
        {"61 corta", repetir("a", 61), repetir("a", 60)},
        {"apara antes de contar", "   " + repetir("a", 60) + "  ", repetir("a", 60)},
        {"corte que termina em espaco", repetir("a", 59) + " bc", repetir("a", 59) + " "},
        {"60 acentuados", repetir(e, 60), repetir(e, 60)},
        {"61 acentuados", repetir(e, 61), repetir(e, 60)},
        {"59 e um acentuado", repetir("a", 59) + e, repetir("a", 59) + e},
        {"acento no 61", repetir("a", 60) + e, repetir("a", 60)},
        {"CR LF conta um", repetir("a", 58) + "\r\nbc", repetir("a", 58) + "\r\nb"},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.rotulo);
        Sessao antes = gravada();
        antes.titulo = "Anterior";
        const EventoGancho ev{.nome = "UserPromptSubmit", .sessaoId = "s", .titulo = c.titulo};
        EXPECT_EQ(gravou(aplicar(ev, antes, em(200))).titulo, c.esperado);
    }
    // A blank title on a new record leaves it without one.
    const EventoGancho branco{.nome = "Stop", .sessaoId = "s", .titulo = "  "};
    EXPECT_EQ(gravou(aplicar(branco, nullopt, em(1))).titulo, nullopt);
}

TEST(Aplicar, UtfInvalidoNaoFalha) {
    const std::string ruim = "\xff\xC3 x";
    const EventoGancho e{.nome = "Notification", .sessaoId = ruim, .cwd = ruim, .ferramenta = ruim,
                         .ferramentaId = ruim, .mensagem = "permission " + ruim, .titulo = ruim + repetir("\xe9", 70)};
    const Sessao s = gravou(aplicar(e, nullopt, em(1)));
    EXPECT_EQ(s.estado, Estado::atencao);
    EXPECT_EQ(s.titulo, ruim + repetir("\xe9", 56));
    EventoGancho p = e;
    p.nome = "PermissionRequest";
    EXPECT_EQ(gravou(aplicar(p, s, em(1))).faseFerramenta, 1);  // the same bytes are the same call
    p.nome = "PreToolUse";
    EXPECT_EQ(aplicar(p, gravou(aplicar(p, s, em(1))), em(0)), Acao::ignorar());
}

// A real session, event by event: the state and detail after each one.
TEST(Aplicar, SessaoReal) {
    std::ifstream arquivo(std::string(KIVO_AMOSTRAS) + "/claude-code-2.1.197.jsonl");
    ASSERT_TRUE(arquivo);
    const struct {
        const char* nome;
        Estado estado;
        Opt detalhe;
    } esperados[] = {
        {"SessionStart", Estado::ocioso, nullopt},
        {"UserPromptSubmit", Estado::trabalhando, "Pensando\u2026"},  // one character, not three dots
        {"PreToolUse", Estado::trabalhando, "Lendo arquivos"},
        {"PreToolUse", Estado::trabalhando, "Procurando no código"},
        {"PostToolUse", Estado::trabalhando, "Pensando…"},
        {"PostToolUse", Estado::trabalhando, "Pensando…"},
        {"PreToolUse", Estado::trabalhando, "Rodando um comando"},
        {"PostToolUseFailure", Estado::trabalhando, "Pensando…"},
        {"PreToolUse", Estado::trabalhando, "Editando código"},
        {"PostToolUse", Estado::trabalhando, "Pensando…"},
        {"PreToolUse", Estado::trabalhando, "Editando código"},
        {"Stop", Estado::feito, "Resumo"},
    };
    std::optional<Sessao> registro;
    std::string linha;
    double agora = 1765000000;
    for (const auto& esperado : esperados) {
        SCOPED_TRACE(esperado.nome);
        ASSERT_TRUE(std::getline(arquivo, linha));
        const auto documento = json::documento(linha);
        ASSERT_TRUE(documento);
        const auto evento = EventoGancho::deJson(*documento);
        ASSERT_TRUE(evento);
        EXPECT_EQ(evento->nome, esperado.nome);
        agora += 1;
        const Acao r = aplicar(*evento, registro, Contexto{.agora = agora, .pid = 4242});
        ASSERT_EQ(r.caso, Acao::Caso::gravar);
        registro = r.sessao;
        EXPECT_EQ(registro->estado, esperado.estado);
        EXPECT_EQ(registro->detalhe, esperado.detalhe);
        EXPECT_EQ(registro->atualizado, agora);
    }
    EXPECT_EQ(registro->id, "fd54bafe-d6c7-4ae4-af41-29fc9aa77228");
    EXPECT_EQ(registro->cwd, "/home/ana/projetos/loja-virtual");
    EXPECT_EQ(registro->ferramentaId, Opt("toolu_17b8ed8cf11e413884f8"));  // the Write call survives Stop
    EXPECT_EQ(registro->faseFerramenta, 0);
    EXPECT_EQ(registro->mudouEstadoEm, agora);
    EXPECT_EQ(registro->pid, 4242);

    ASSERT_TRUE(std::getline(arquivo, linha));
    const auto fim = EventoGancho::deJson(*json::documento(linha));
    ASSERT_TRUE(fim);
    EXPECT_EQ(aplicar(*fim, registro, em(agora + 1)), Acao::apagar());
}

}  // namespace
}  // namespace kivo
