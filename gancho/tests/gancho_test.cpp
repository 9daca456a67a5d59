#include <gtest/gtest.h>
#include <sys/time.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>

#include "kivo/armazem.hpp"
#include "pastas.hpp"
#include "processo.hpp"

namespace fs = std::filesystem;

namespace kivo {
namespace {

using teste::rodar;

class Gancho : public ::testing::Test {
protected:
    void SetUp() override {
        raiz_ = temporaria_.raiz();
        base_ = raiz_ / "dados";
    }

    std::map<std::string, std::string> ambiente(std::map<std::string, std::string> extra = {}) const {
        extra.emplace("KIVO_DIR", base_.string());
        extra.emplace("HOME", raiz_.string());
        return extra;
    }
    teste::Execucao enviar(const std::string& json, std::map<std::string, std::string> extra = {}) const {
        auto r = rodar({{KIVO_GANCHO}, ambiente(std::move(extra))}, json);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.saida, "");
        EXPECT_EQ(r.erro, "");
        EXPECT_TRUE(r.entradaToda);
        return r;
    }
    fs::path sessoes() const { return base_ / "sessoes"; }
    std::set<std::string> nomes() const {
        std::set<std::string> n;
        if (fs::exists(sessoes()))
            for (const auto& e : fs::directory_iterator(sessoes())) n.insert(e.path().filename().string());
        return n;
    }
    std::optional<Sessao> registro(const std::string& id) const { return Armazem(sessoes()).ler(id); }

    teste::PastaTemporaria temporaria_;
    fs::path raiz_, base_;
};

std::string evento(const std::string& nome, const std::string& sessao, const std::string& resto = "") {
    return R"({"hook_event_name":")" + nome + R"(","session_id":")" + sessao + "\"" + resto + "}";
}

std::vector<std::string> amostra() {
    std::ifstream f(std::string(KIVO_AMOSTRAS) + "/claude-code-2.1.197.jsonl");
    std::vector<std::string> linhas;
    for (std::string l; std::getline(f, l);) linhas.push_back(l);
    return linhas;
}

TEST_F(Gancho, EntradasQueNaoSaoEventosNaoTocamEmNada) {
    const std::string entradas[] = {
        "",
        "   ",
        "[]",
        "[" + evento("Stop", "s") + "]",
        "\"Stop\"",
        "42",
        "null",
        evento("Stop", ""),
        R"({"hook_event_name":"Stop","session_id":7})",
        R"({"hook_event_name":"Stop"})",
        R"({"session_id":"s"})",
        evento("Stop", "s") + " x",
        evento("Stop", "s") + "{}",
        "\xEF\xBB\xBF" + evento("Stop", "s"),
        evento("Stop", "s", ",\"x\":\"\xC3\x28\""),
        evento("Stop", "s", ",\"x\":[1,]"),
        evento("Stop", "s", ",\"x\":NaN"),
        std::string("{\"hook_event_name\":\"Stop\",\0\"session_id\":\"s\"}", 43),
        evento("Stop", "s").substr(0, 20),
        std::string(100000, '[') + std::string(100000, ']'),
        std::string(5 << 20, 'x'),
    };
    for (const auto& e : entradas) {
        SCOPED_TRACE(e.substr(0, 60));
        enviar(e);
        EXPECT_FALSE(fs::exists(base_));
    }
    const auto fechada = rodar({{KIVO_GANCHO}, ambiente(), {}, true});
    EXPECT_EQ(fechada.status, 0);
    EXPECT_EQ(fechada.saida + fechada.erro, "");
    EXPECT_FALSE(fs::exists(base_));
}

TEST_F(Gancho, StopCriaPastasTravaERegistro) {
    enviar(evento("Stop", "s1", R"(,"cwd":"/w/loja","last_assistant_message":"## Pronto\nok")"));
    EXPECT_EQ(nomes(), (std::set<std::string>{".trava", "s1.json"}));
    const auto s = registro("s1");
    ASSERT_TRUE(s);
    EXPECT_EQ(s->estado, Estado::feito);
    EXPECT_EQ(s->detalhe, "Pronto");
    EXPECT_EQ(s->cwd, "/w/loja");
}

TEST_F(Gancho, EventoIgnoradoCriaSoATrava) {
    enviar(evento("Desconhecido", "s1"));
    enviar(evento("Notification", "s1", R"(,"notification_type":"idle_prompt","message":"permission")"));
    EXPECT_EQ(nomes(), std::set<std::string>{".trava"});
}

TEST_F(Gancho, SessionEndApagaDuasVezesSemErro) {
    enviar(evento("UserPromptSubmit", "s1"));
    EXPECT_TRUE(registro("s1"));
    enviar(evento("SessionEnd", "s1"));
    enviar(evento("SessionEnd", "s1"));
    EXPECT_EQ(nomes(), std::set<std::string>{".trava"});
}

TEST_F(Gancho, BytesExatosDoRegistro) {
    timeval antes{};
    gettimeofday(&antes, nullptr);
    enviar(evento("PreToolUse", "fd54/x", R"(,"cwd":"/home/ana/p","tool_name":"Read","tool_use_id":"toolu_1","extra":{"a":[1,2.5,null]})"),
           {{"CLAUDE_PID", "4242"}, {"TERM_PROGRAM", "vscode"}, {"CLAUDE_CODE_ENTRYPOINT", "cli"}});
    std::ifstream f(sessoes() / "fd54x.json", std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(f), {}};
    const std::regex forma(
        R"(\{"atualizado":([0-9.]+),"cwd":"\\/home\\/ana\\/p","detalhe":"Lendo arquivos","estado":"trabalhando",)"
        R"("faseFerramenta":0,"ferramentaId":"toolu_1","id":"fd54\\/x","mudouEstadoEm":([0-9.]+),)"
        R"("origem":"vscode","pid":4242\})");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(bytes, m, forma)) << bytes;
    EXPECT_EQ(m[1].str(), m[2].str());
    EXPECT_NEAR(std::stod(m[1].str()), static_cast<double>(antes.tv_sec), 60);
}

TEST_F(Gancho, SessaoRealDoComecoAoFim) {
    const auto linhas = amostra();
    ASSERT_EQ(linhas.size(), 13u);
    const std::string id = "fd54bafe-d6c7-4ae4-af41-29fc9aa77228";
    const std::pair<Estado, const char*> esperado[] = {
        {Estado::ocioso, nullptr},
        {Estado::trabalhando, "Pensando\u2026"},
        {Estado::trabalhando, "Lendo arquivos"},
        {Estado::trabalhando, "Procurando no c\u00f3digo"},
        {Estado::trabalhando, "Pensando\u2026"},
        {Estado::trabalhando, "Pensando\u2026"},
        {Estado::trabalhando, "Rodando um comando"},
        {Estado::trabalhando, "Pensando\u2026"},
        {Estado::trabalhando, "Editando c\u00f3digo"},
        {Estado::trabalhando, "Pensando\u2026"},
        {Estado::trabalhando, "Editando c\u00f3digo"},
        {Estado::feito, "Resumo"},
    };
    for (std::size_t i = 0; i + 1 < linhas.size(); ++i) {
        SCOPED_TRACE(linhas[i].substr(0, 200));
        enviar(linhas[i]);
        const auto s = registro(id);
        ASSERT_TRUE(s);
        EXPECT_EQ(s->estado, esperado[i].first);
        EXPECT_EQ(s->detalhe, esperado[i].second ? std::optional<std::string>(esperado[i].second) : std::nullopt);
        EXPECT_EQ(s->cwd, "/home/ana/projetos/loja-virtual");
    }
    enviar(linhas.back());
    EXPECT_FALSE(registro(id));
}

TEST_F(Gancho, EntradaGrandeEValida) {
    const std::string grande(5 << 20, 'a');
    enviar(evento("PostToolUse", "g", R"(,"tool_name":"Read","tool_use_id":"t","tool_response":{"content":")" +
                                          grande + R"("},"tool_input":{"n":[1e400,-0.0,"\u00e9\ud83d\ude00"]})"));
    const auto s = registro("g");
    ASSERT_TRUE(s);
    EXPECT_EQ(s->faseFerramenta, 2);
    EXPECT_EQ(s->detalhe, "Pensando\u2026");
}

TEST_F(Gancho, UltimaChaveRepetidaVale) {
    enviar(R"({"session_id":"a","hook_event_name":"PreToolUse","tool_name":"Bash","tool_name":5,"session_id":"b"})");
    EXPECT_FALSE(registro("a"));
    const auto s = registro("b");
    ASSERT_TRUE(s);
    EXPECT_EQ(s->detalhe, "Trabalhando");
}

TEST_F(Gancho, MuitosProcessosAoMesmoTempo) {
    constexpr int kSessoes = 40;
    constexpr int kChamadas = 30;
    std::vector<std::pair<teste::Processo, std::string>> rodando;
    for (int i = 0; i < kSessoes; ++i)
        rodando.emplace_back(teste::iniciar({{KIVO_GANCHO}, ambiente()}),
                             evento("PreToolUse", "s" + std::to_string(i),
                                    R"(,"tool_name":"Bash","tool_use_id":"t)" + std::to_string(i) + "\""));
    for (int i = 0; i < kChamadas; ++i)
        rodando.emplace_back(teste::iniciar({{KIVO_GANCHO}, ambiente()}),
                             evento(i % 2 ? "PreToolUse" : "PostToolUse", "unica",
                                    R"(,"tool_name":"Read","tool_use_id":"u)" + std::to_string(i) + "\""));
    for (auto& [p, entrada] : rodando) {
        const auto r = teste::terminar(p, entrada);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.saida + r.erro, "");
    }
    for (int i = 0; i < kSessoes; ++i) {
        const auto s = registro("s" + std::to_string(i));
        ASSERT_TRUE(s) << i;
        EXPECT_EQ(s->ferramentaId, "t" + std::to_string(i));
        EXPECT_EQ(s->faseFerramenta, 0);
    }
    const auto unica = registro("unica");
    ASSERT_TRUE(unica);
    EXPECT_EQ(unica->estado, Estado::trabalhando);
    EXPECT_EQ(nomes().size(), static_cast<std::size_t>(kSessoes + 2));  // records, "unica" and .trava
    for (const auto& n : nomes()) EXPECT_TRUE(n == ".trava" || n.ends_with(".json")) << n;
}

}  // namespace
}  // namespace kivo
