// kivo_gancho as Claude Code runs it (nothing printed, status 0); the rules are the library's
// tests: here, reading standard input as it streams, the environment, folders, lock and record.
#include <gtest/gtest.h>

#include <ctime>
#include <fstream>

#include "kivo/armazem.hpp"
#include "pastas.hpp"
#include "processo.hpp"

namespace fs = std::filesystem;

namespace kivo {
namespace {
using Nomes = std::set<std::string>;

class Gancho : public ::testing::Test {
protected:
    void enviar(const std::string& json, std::map<std::string, std::string> ambiente = {}, bool fechada = false) const {
        ambiente.emplace("KIVO_DIR", base_.string());
        ambiente.emplace("HOME", temporaria_.raiz().string());
        const auto r = teste::rodar({{KIVO_GANCHO}, ambiente, fechada}, json);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.saida + r.erro, "");
        EXPECT_TRUE(r.entradaToda);
    }
    fs::path sessoes() const { return base_ / "sessoes"; }
    teste::PastaTemporaria temporaria_;
    fs::path base_ = temporaria_.raiz() / "dados";
};

std::string evento(const std::string& nome, const std::string& resto = "") {
    return R"({"hook_event_name":")" + nome + R"(","session_id":"s1")" + resto + "}";
}

TEST_F(Gancho, EntradasQueNaoSaoEventosNaoTocamEmNada) {
    // Lexical errors (BOM, trailing commas, NaN, bad UTF-8) are the JSON parser's test.
    const std::string entradas[] = {
        "", "   ", "[]", "[" + evento("Stop") + "]", "\"Stop\"", "42", "null",
        R"({"hook_event_name":"Stop","session_id":""})", R"({"hook_event_name":"Stop","session_id":7})",
        R"({"session_id":"s"})", evento("Stop") + " x", evento("Stop") + "{}", evento("Stop").substr(0, 20),
        std::string("{\"hook_event_name\":\"Stop\",\0\"session_id\":\"s\"}", 43), std::string(5 << 20, 'x'),
        std::string(100000, '[') + std::string(100000, ']')};
    for (const auto& e : entradas) {
        SCOPED_TRACE(e.substr(0, 60));
        enviar(e);
        EXPECT_FALSE(fs::exists(base_));
    }
    enviar("", {}, true);  // standard input closed
    EXPECT_FALSE(fs::exists(base_));
}

// Events in turn, then the files of the session folder and the record of "s1".
TEST_F(Gancho, SequenciasDeEventos) {
    struct Caso {
        const char* rotulo; std::vector<std::string> eventos; Estado estado; std::optional<std::string> detalhe;
        Nomes arquivos = {".trava", "s1.json"};
    };
    const Caso casos[] = {
        {.rotulo = "parou: pastas, trava e registro",
         .eventos = {evento("Stop", R"(,"last_assistant_message":"## Pronto\nok")")},
         .estado = Estado::feito, .detalhe = "Pronto"},
        {.rotulo = "fim de sessao duas vezes, depois eventos ignorados: so a trava",
         .eventos = {evento("UserPromptSubmit"), evento("SessionEnd"), evento("SessionEnd"), evento("Desconhecido"),
                     evento("Notification", R"(,"notification_type":"idle_prompt")")},
         .estado = Estado::ocioso, .arquivos = {".trava"}},
        {.rotulo = "a ultima chave repetida vale",
         .eventos = {R"({"session_id":"a","hook_event_name":"PreToolUse","tool_name":"Bash","tool_name":5,)"
                     R"("session_id":"s1"})"},
         .estado = Estado::trabalhando, .detalhe = "Trabalhando"},
        {.rotulo = "valor que nao e texto nao conta",
         .eventos = {evento("Notification",
                            R"(,"notification_type":"permission_prompt","message":{"a":"permission to use Bash"})")},
         .estado = Estado::atencao, .detalhe = "Precisa de você"}};
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.rotulo);
        fs::remove_all(base_);
        for (const auto& e : c.eventos) enviar(e);
        EXPECT_EQ(teste::nomesEm(sessoes()), c.arquivos);
        const auto s = Armazem(sessoes()).ler("s1").value_or(Sessao{});
        EXPECT_EQ(std::tie(s.estado, s.detalhe), std::tie(c.estado, c.detalhe));
    }
}

// A recorded session in the agent's environment: the record, timed by the clock, lasts to the
// end (its rules and bytes are the library's part; the reader split across reads, the JSON's).
TEST_F(Gancho, SessaoRealDoComecoAoFim) {
    std::ifstream f(std::string(KIVO_AMOSTRAS) + "/claude-code-2.1.197.jsonl");
    const std::string id = "fd54bafe-d6c7-4ae4-af41-29fc9aa77228";
    std::optional<Sessao> antesDoFim;
    int n = 0;
    for (std::string linha; std::getline(f, linha); ++n) {
        SCOPED_TRACE(linha.substr(0, 100));
        antesDoFim = Armazem(sessoes()).ler(id);
        enviar(linha, {{"CLAUDE_PID", "4242"}, {"TERM_PROGRAM", "vscode"}, {"CLAUDE_CODE_ENTRYPOINT", "cli"}});
    }
    EXPECT_EQ(n, 13);
    EXPECT_FALSE(Armazem(sessoes()).ler(id));
    ASSERT_TRUE(antesDoFim);
    const auto& s = *antesDoFim;
    EXPECT_EQ(std::tie(s.estado, s.detalhe, s.cwd, s.ferramentaId, s.pid, s.origem),
              std::make_tuple(Estado::feito, "Resumo", "/home/ana/projetos/loja-virtual", "toolu_17b8ed8cf11e413884f8",
                              4242, "vscode"));
    EXPECT_NEAR(s.atualizado, static_cast<double>(std::time(nullptr)), 60);
}
}  // namespace
}  // namespace kivo
