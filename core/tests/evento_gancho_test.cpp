#include "kivo/contexto.hpp"
#include "kivo/evento_gancho.hpp"

#include <gtest/gtest.h>

namespace kivo {
namespace {

using nlohmann::json;

TEST(EventoGancho, SoTextosContam) {
    const auto e = EventoGancho::deJson(json{{"hook_event_name", "Stop"}, {"session_id", "s"}});
    ASSERT_TRUE(e);
    EXPECT_EQ(*e, (EventoGancho{.nome = "Stop", .sessaoId = "s"}));

    const json semEvento[] = {
        json{{"hook_event_name", "Stop"}, {"session_id", ""}},
        json{{"hook_event_name", "Stop"}, {"session_id", 1}},
        json{{"hook_event_name", "Stop"}, {"session_id", nullptr}},
        json{{"hook_event_name", "Stop"}},
        json{{"hook_event_name", 3}, {"session_id", "s"}},
        json{{"session_id", "s"}},
        json::array({"Stop", "s"}),
        json("Stop"),
    };
    for (const auto& j : semEvento) {
        SCOPED_TRACE(j.dump());
        EXPECT_FALSE(EventoGancho::deJson(j));
    }

    const auto todos = EventoGancho::deJson(json{
        {"hook_event_name", ""}, {"session_id", " s "}, {"cwd", 5}, {"tool_name", "Bash"},
        {"tool_use_id", "t"}, {"notification_type", "permission_prompt"}, {"message", "m"},
        {"title", "nao"}, {"session_title", " T "}, {"last_assistant_message", "fim"},
        {"source", "compact"}, {"effort", {{"level", "high"}}}});
    ASSERT_TRUE(todos);
    EXPECT_EQ(*todos, (EventoGancho{.nome = "",
                                    .sessaoId = " s ",
                                    .cwd = std::nullopt,
                                    .ferramenta = "Bash",
                                    .ferramentaId = "t",
                                    .tipoNotificacao = "permission_prompt",
                                    .mensagem = "m",
                                    .titulo = " T ",
                                    .ultimaMensagem = "fim",
                                    .origemSessao = "compact"}));
    EXPECT_EQ(EventoGancho::deJson(json{{"hook_event_name", "x"}, {"session_id", "s"}, {"cwd", ""}})->cwd, "");
}

TEST(Contexto, PidEstrito) {
    struct Caso {
        const char* valor;
        std::optional<std::int32_t> pid;
    } casos[] = {
        {"12", 12},          {"+12", 12},         {"-12", -12},
        {"-2147483648", INT32_MIN}, {"2147483647", INT32_MAX}, {"2147483648", std::nullopt},
        {" 12", std::nullopt}, {"12 ", std::nullopt}, {"12a", std::nullopt},
        {"+", std::nullopt},  {"-", std::nullopt},  {"", std::nullopt},
        {"0x10", std::nullopt}, {"\u0661\u0662", std::nullopt}, {"99999999999999999999", std::nullopt},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.valor);
        EXPECT_EQ(Contexto::doAmbiente({{"CLAUDE_PID", c.valor}}, 5).pid, c.pid);
    }
    EXPECT_EQ(Contexto::doAmbiente({}, 5).agora, 5);
}

TEST(Contexto, Origem) {
    using Amb = std::map<std::string, std::string>;
    struct Caso {
        Amb ambiente;
        std::optional<std::string> origem;
    } casos[] = {
        {{{"CLAUDE_CODE_ENTRYPOINT", "claude-desktop"}, {"TERM_PROGRAM", "iTerm.app"}}, "claude-desktop"},
        {{{"CLAUDE_CODE_ENTRYPOINT", "cli"}, {"TERM_PROGRAM", "iTerm.app"}}, "iTerm.app"},
        {{{"CLAUDE_CODE_ENTRYPOINT", "cli"}}, "cli"},
        {{{"TERM_PROGRAM", ""}}, ""},
        {{{"CLAUDE_CODE_ENTRYPOINT", "Claude-Desktop"}}, "Claude-Desktop"},
        {{{"TERM_PROGRAM", "\xff"}, {"CLAUDE_CODE_ENTRYPOINT", "cli"}}, "cli"},
        {{}, std::nullopt},
    };
    for (const auto& c : casos) EXPECT_EQ(Contexto::doAmbiente(c.ambiente, 0).origem, c.origem);
}

}  // namespace
}  // namespace kivo
