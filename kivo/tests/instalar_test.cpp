// kivo instalar / desinstalar on real files in a temporary folder.
#include "instalar/instalar.hpp"

#include <gtest/gtest.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <tuple>

#include "pastas.hpp"

namespace fs = std::filesystem;
using kivo::app::desinstalar;
using kivo::app::instalar;
using kivo::app::OpcoesInstalar;
using kivo::app::Resultado;
using kivo::teste::conteudo;
using kivo::teste::escrever;
using Json = nlohmann::ordered_json;

namespace {

constexpr std::time_t momento = 1765000000;  // 2025-12-06 05:46:40 UTC
const std::string copia0 = "settings.json.kivo-backup-20251206-054640";
const std::string nossa =
    R"({"type":"command","command":"CLAUDE_PID=$PPID exec '/opt/kivo/bin/kivo_gancho'","timeout":10})";
const std::string certa = R"({"matcher":"*","hooks":[)" + nossa + "]}";

// A settings file as a person keeps it, two spaces deep: other settings, a hook of their
// own for a tool event, and kivo_gancho under an event that instalar does not manage.
const std::string configuracaoDaAna = Json::parse(R"({"model": "opus", "hooks": {
    "PreToolUse": [{"matcher": "Bash", "hooks": [{"type": "command", "command": "/home/ana/bin/guarda.sh"}]}],
    "SubagentStop": [{"hooks": [{"type": "command", "command": "/home/ana/bin/kivo_gancho"}]}]},
  "statusLine": {"type": "command", "command": "~/.claude/linha.sh"}})")
                                          .dump(2) +
                                      "\n";

class Instalar : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
    }

    OpcoesInstalar opcoes(bool mostrar = false) const {
        return {.arquivo = arquivo_, .gancho = "/opt/kivo/bin/kivo_gancho", .mostrar = mostrar, .agora = momento,
                .kivo = "/opt/kivo/bin/kivo"};
    }
    std::set<std::string> arquivos() const { return kivo::teste::nomesEm(pasta_.raiz()); }
    Json config() const { return Json::parse(conteudo(arquivo_)); }

    kivo::teste::PastaTemporaria pasta_;
    fs::path arquivo_ = pasta_.raiz() / "settings.json";
};

// Each event once, with a matcher for the tool events; --mostrar creates nothing; the data
// folder is made only for its user, and an open one is pointed out.
TEST_F(Instalar, CriaArquivoEPastasQuandoFaltam) {
    arquivo_ = pasta_.raiz() / "nova" / ".claude" / "settings.json";
    EXPECT_EQ(instalar(opcoes(true)).status, 0);
    EXPECT_EQ(desinstalar(opcoes()).status, 0);
    EXPECT_EQ(arquivos(), std::set<std::string>{});
    OpcoesInstalar o = opcoes();
    o.pastaDados = pasta_.raiz() / "nova" / ".kivo";  // only for its user
    const Resultado r = instalar(o);
    ASSERT_EQ(r.status, 0) << r.erros;
    EXPECT_NE(r.saida.find("n\u00E3o h\u00E1 c\u00F3pia"), std::string::npos) << r.saida;
    EXPECT_NE(r.saida.find("(modo 700)"), std::string::npos);
    EXPECT_EQ(fs::status(o.pastaDados).permissions(), fs::perms::owner_all);
    ASSERT_EQ(chmod(o.pastaDados.c_str(), 0755), 0);
    const std::string aberta = instalar(o).saida;
    EXPECT_NE(aberta.find("modo 755"), std::string::npos) << aberta;
    EXPECT_NE(aberta.find("chmod 700 " + o.pastaDados.string()), std::string::npos);
    Json hooks = Json::object();
    for (const std::string evento :
         {"SessionStart", "UserPromptSubmit", "PreToolUse", "PermissionRequest", "PostToolUse", "PostToolUseFailure",
          "PermissionDenied", "Notification", "Stop", "StopFailure", "SessionEnd"}) {
        const bool ferramenta = evento.find("Tool") != std::string::npos || evento.find("Permission") == 0;
        hooks[evento] = Json::parse("[" + (ferramenta ? certa : R"({"hooks":[)" + nossa + "]}") + "]");
    }
    EXPECT_EQ(config(), (Json{{"hooks", hooks}}));  // in this order
    EXPECT_EQ(kivo::teste::nomesEm(arquivo_.parent_path()), std::set<std::string>{"settings.json"});
    ASSERT_EQ(desinstalar(opcoes()).status, 0);
    EXPECT_EQ(conteudo(arquivo_), "{}\n");
}

// Install keeps the person's hooks; a second run changes nothing; uninstall gives the
// same bytes back; every change leaves a copy named by the moment, with the old mode.
TEST_F(Instalar, GuardaOsGanchosDaPessoaECopiaOAnterior) {
    escrever(arquivo_, configuracaoDaAna);
    ASSERT_EQ(chmod(arquivo_.c_str(), 0600), 0);
    const Resultado mostrar = instalar(opcoes(true));
    EXPECT_NE(mostrar.saida.find("  + SessionStart\n"), std::string::npos) << mostrar.saida;
    EXPECT_NE(mostrar.saida.find("Assim ficaria \"hooks\":\n{\n  \"PreToolUse\": [\n    {\n"), std::string::npos);

    const Resultado r = instalar(opcoes());
    ASSERT_EQ(r.status, 0) << r.erros;
    EXPECT_EQ(r.saida.rfind("Registrei CLAUDE_PID=$PPID exec '", 0), 0u) << r.saida;
    const Json original = Json::parse(configuracaoDaAna)["hooks"];
    const Json hooks = config()["hooks"];
    EXPECT_EQ(hooks.size(), 12u);  // PreToolUse and SubagentStop, then the ten new ones
    EXPECT_EQ(nlohmann::json(hooks["PreToolUse"]),
              nlohmann::json::parse("[" + original["PreToolUse"][0].dump() + "," + certa + "]"));
    EXPECT_EQ(hooks["SubagentStop"], original["SubagentStop"]);
    EXPECT_NE(r.saida.find("C\u00F3pia do arquivo anterior: " + (pasta_.raiz() / copia0).string() + "\n"),
              std::string::npos);
    const fs::perms soDono = fs::perms::owner_read | fs::perms::owner_write;
    for (const fs::path& p : {arquivo_, pasta_.raiz() / copia0}) EXPECT_EQ(fs::status(p).permissions(), soDono) << p;

    const std::string instalado = conteudo(arquivo_);
    OpcoesInstalar o = opcoes();
    o.agora = momento + 60;  // a copy made now would get a new name
    EXPECT_EQ(instalar(o).saida.rfind("Nada a mudar", 0), 0u);
    EXPECT_EQ(desinstalar(opcoes(true)).saida.rfind("Removeria o kivo de ", 0), 0u);
    EXPECT_EQ(conteudo(arquivo_), instalado);
    EXPECT_EQ(arquivos(), (std::set<std::string>{"settings.json", copia0}));
    // Same second: the first copy stays, the second gets a suffix.
    ASSERT_EQ(desinstalar(opcoes()).status, 0);
    EXPECT_EQ(conteudo(arquivo_), configuracaoDaAna);
    EXPECT_EQ(conteudo(pasta_.raiz() / copia0), configuracaoDaAna);
    EXPECT_EQ(conteudo(pasta_.raiz() / (copia0 + "-2")), instalado);
    EXPECT_EQ(desinstalar(opcoes()).saida.rfind("Nada a remover", 0), 0u);
    EXPECT_EQ(arquivos().size(), 3u);
}

// What instalar does to PreToolUse when an entry for kivo_gancho is already there.
// Columns: the list before, after, and the line printed for it ("": none).
TEST_F(Instalar, EntradaNossaJaPresente) {
    const std::string meu = R"({"type":"command","command":"/bin/meu"})";
    const std::string bash = R"({"matcher":"Bash","hooks":[)" + meu + "]}";
    const std::string velha = R"({"type":"command","command":"/opt/kivo/bin/kivo_gancho","timeout":10})";
    const std::string refeita = "  ~ PreToolUse (entrada refeita)\n";
    const std::tuple<std::string, std::string, std::string> casos[] = {
        {"[" + certa + "]", "[" + certa + "]", ""},
        // The old form (only the path) is replaced where it is.
        {"[" + bash + R"(,{"matcher":"*","hooks":[)" + velha + "]}," + bash + "]",
         "[" + bash + "," + certa + "," + bash + "]", "  ~ PreToolUse (substitui /opt/kivo/bin/kivo_gancho)\n"},
        {R"([{"hooks":[{"type":"command","command":"/velho/bin/kivo_gancho","timeout":10}]}])",
         R"([{"hooks":[)" + nossa + "]}]", "  ~ PreToolUse (substitui /velho/bin/kivo_gancho)\n"},
        // A group shared with a hook of the person's is split.
        {R"([{"matcher":"*","hooks":[)" + meu + R"(,{"type":"command","command":"'/velho dir/kivo_gancho'"}]}])",
         R"([{"matcher":"*","hooks":[)" + meu + "]}," + certa + "]",
         "  ~ PreToolUse (substitui '/velho dir/kivo_gancho')\n"},
        {"[" + certa.substr(0, certa.size() - 5) + "30}]}]", "[" + certa + "]", refeita},
        {"[" + certa + "," + certa + "]", "[" + certa + "]", refeita},
        {R"([{"matcher":"Bash","hooks":[)" + nossa + "]}]", "[" + certa + "]", refeita},
    };
    for (const auto& [antes, depois, linha] : casos) {
        SCOPED_TRACE(antes);
        escrever(arquivo_, R"({"hooks":{"PreToolUse":)" + antes + "}}");
        const Resultado r = instalar(opcoes());
        ASSERT_EQ(r.status, 0) << r.erros;
        EXPECT_EQ(nlohmann::json(config()["hooks"]["PreToolUse"]), nlohmann::json::parse(depois));
        EXPECT_EQ(config()["hooks"].size(), 11u);
        EXPECT_EQ(r.saida.find(linha.empty() ? "PreToolUse" : linha) != std::string::npos, !linha.empty()) << r.saida;
    }
}

// Files it cannot understand, or may not change, stay as they are, with a clear message.
// Columns: the file, desinstalar's status, part of the message, the file's mode, the hook.
TEST_F(Instalar, RecusaEDeixaIntacto) {
    const std::string invalido = "n\u00E3o \u00E9 um JSON v\u00E1lido";
    const char* gancho = "/opt/kivo/bin/kivo_gancho";
    const std::tuple<std::string, int, std::string, mode_t, const char*> casos[] = {
        {"{", 1, invalido + " (linha 1, coluna 2)", 0644, gancho},
        {"{\n  \"model\": \"opus\",\n}\n", 1, invalido + " (linha 3, coluna 1)", 0644, gancho},
        {"{\"a\": 1} // fim", 1, invalido, 0644, gancho},
        {"{\"a\": NaN}", 1, invalido, 0644, gancho},
        {"{\"a\": \"\xC3\"}", 1, invalido, 0644, gancho},
        {"[1, 2]", 1, "objeto JSON no n\u00EDvel de cima", 0644, gancho},
        {"{\"hooks\": []}", 1, "\"hooks\"", 0644, gancho},
        {"{\"hooks\": {\"Stop\": {}}}", 0, "\"Stop\"", 0644, gancho},
        {configuracaoDaAna, 0, "s\u00F3 de leitura", 0444, gancho},
        {configuracaoDaAna, 0, "n\u00E3o \u00E9 UTF-8", 0644, "/opt/k\xE9vo/kivo_gancho"},
    };
    for (const auto& [texto, statusDesinstalar, trecho, modo, caminho] : casos) {
        SCOPED_TRACE(texto + " " + trecho);
        escrever(arquivo_, texto);
        ASSERT_EQ(chmod(arquivo_.c_str(), modo), 0);
        OpcoesInstalar o = opcoes();
        o.gancho = caminho;
        const Resultado r = instalar(o);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.saida, "");
        EXPECT_EQ(r.erros.rfind("kivo: ", 0), 0u) << r.erros;
        EXPECT_NE(r.erros.find(trecho), std::string::npos) << r.erros;
        EXPECT_EQ(desinstalar(opcoes()).status, statusDesinstalar);
        EXPECT_EQ(conteudo(arquivo_), texto);
        EXPECT_EQ(arquivos(), std::set<std::string>{"settings.json"});
        chmod(arquivo_.c_str(), 0644);
    }
}

TEST_F(Instalar, DesinstalarTiraSoOQueInstalarPoe) {
    escrever(arquivo_, R"({"hooks": {
  "Stop": [
    {"hooks": [{"type": "command", "command": "/usr/bin/kivo_gancho_extra"},
               {"type": "command", "command": "/opt/kivo/bin/kivo_gancho --depurar"},
               {"type": "command", "command": "/outra/pasta/kivo_gancho", "timeout": 10}]},
    {"matcher": "", "hooks": [{"type": "command", "command": "/opt/kivo/bin/kivo_gancho", "timeout": 10}]},
    {"matcher": "Bash", "hooks": []}],
  "SessionEnd": [{"hooks": [{"type": "command", "command": "kivo_gancho"}]}],
  "SubagentStop": [{"hooks": [{"type": "command", "command": "/opt/kivo/bin/kivo_gancho"}]}],
  "Notification": []}})");
    const Resultado r = desinstalar(opcoes());
    ASSERT_EQ(r.status, 0) << r.erros;
    EXPECT_NE(r.saida.find("  - Stop (2 entradas)\n  - SessionEnd\n"), std::string::npos) << r.saida;
    EXPECT_EQ(config()["hooks"], Json::parse(R"({"Stop": [
    {"hooks": [{"type": "command", "command": "/usr/bin/kivo_gancho_extra"},
               {"type": "command", "command": "/opt/kivo/bin/kivo_gancho --depurar"}]},
    {"matcher": "Bash", "hooks": []}],
  "SubagentStop": [{"hooks": [{"type": "command", "command": "/opt/kivo/bin/kivo_gancho"}]}],
  "Notification": []})"));  // SessionEnd went, Notification stays empty
}

// A file as people write it: compact objects, escapes, number spellings, a key order
// of their own, a byte-order mark. Only the members kivo owns may change.
TEST_F(Instalar, SoOsMembrosDoKivoMudamNoTexto) {
    const std::string beto =
        "{\n"
        "    \"model\": \"opus\", \"permissions\": {\"allow\": [\"Bash(npm test:*)\"], \"deny\": []},\n"
        "    \"caf\\u00e9\": 1.50,\n"
        "    \"env\": {\"A\": \"1e3\", \"B\": 1E+2}\n"
        "}\n";
    // The old text up to "1E+2}" byte for byte, the new members four spaces deep. On one
    // line, the members are added on that line; a blank file counts as {}; blanks before
    // the brace stay when the last member goes; a new member takes the last one's indentation.
    const std::string comum = beto.substr(0, beto.rfind('}') - 1);
    OpcoesInstalar o = opcoes();
    o.linha = true;
    const std::tuple<std::string, std::string, std::string> casos[] = {
        {beto, comum + ",\n    \"hooks\": {\n        \"", beto},
        {" {\"a\": 1.50,\"b\": \"\\u00e9\"}\n",
         " {\"a\": 1.50,\"b\": \"\\u00e9\", \"hooks\": {\"SessionStart\":[{\"hooks\":[",
         " {\"a\": 1.50,\"b\": \"\\u00e9\"}\n"},
        {"\xEF\xBB\xBF{\"a\": 1}", "\xEF\xBB\xBF{\"a\": 1, \"hooks\": {", "\xEF\xBB\xBF{\"a\": 1}"},
        {"  \n   ", "{\n  \"hooks\": {\n    \"SessionStart\": [", "{}\n"},
        {" {}\n", " {\"hooks\":{\"SessionStart\":[", " {}\n"},
        {"{\n  \"a\": 1,\n    \"b\": 2\n}", "{\n  \"a\": 1,\n    \"b\": 2,\n    \"hooks\": {\n      \"",
         "{\n  \"a\": 1,\n    \"b\": 2\n}"},
    };
    for (const auto& [texto, comeco, fim] : casos) {
        SCOPED_TRACE(texto);
        escrever(arquivo_, texto);
        fs::remove(pasta_.raiz() / copia0);
        ASSERT_EQ(instalar(o).status, 0);
        EXPECT_EQ(conteudo(arquivo_).rfind(comeco, 0), 0u) << conteudo(arquivo_);
        EXPECT_EQ(config()["hooks"].size(), 11u);
        EXPECT_EQ(conteudo(pasta_.raiz() / copia0), texto);
        ASSERT_EQ(desinstalar(opcoes()).status, 0);
        EXPECT_EQ(conteudo(arquivo_), fim);
    }
}

// Through a link into a dotfiles folder, where the copy goes too; a status line of the
// person's own stays. Claude Code saves /model between our reading and our rename, once:
// read again.
TEST_F(Instalar, LinkSimbolicoEArquivoQueMudaAntesDaTroca) {
    const fs::path dotfiles = pasta_.raiz() / "dotfiles";
    fs::create_directory(dotfiles);
    escrever(dotfiles / "settings.json", configuracaoDaAna);
    fs::create_symlink("dotfiles/settings.json", arquivo_);
    OpcoesInstalar o = opcoes();
    o.linha = true;
    int vezes = 0;
    o.antesDeTrocar = [&] {
        std::string outro = configuracaoDaAna;
        if (vezes++ == 0) escrever(arquivo_, outro.replace(outro.find("opus"), 4, "haiku"));
    };
    const Resultado r = instalar(o);
    ASSERT_EQ(r.status, 0) << r.erros;
    EXPECT_EQ(vezes, 2);
    EXPECT_TRUE(fs::is_symlink(arquivo_));
    EXPECT_EQ(config()["model"], "haiku");
    EXPECT_EQ(config()["hooks"].size(), 12u);
    EXPECT_EQ(config()["statusLine"], Json::parse(configuracaoDaAna)["statusLine"]);
    EXPECT_NE(r.saida.find("printf '%s' \"$entrada\" | '/opt/kivo/bin/kivo' linha\n"), std::string::npos) << r.saida;
    EXPECT_EQ(kivo::teste::nomesEm(dotfiles), (std::set<std::string>{"settings.json", copia0}));  // one copy only
}

// An empty HOME is no home: the account's own folder is used.
TEST(Comandos, ArquivoPadraoSemHome) {
    const std::string casa = std::getenv("HOME") ? std::getenv("HOME") : "";
    setenv("HOME", "", 1);
    const fs::path arquivo = kivo::app::arquivoPadrao();
    setenv("HOME", casa.c_str(), 1);
    if (std::getenv("CLAUDE_CONFIG_DIR") == nullptr) {
        EXPECT_EQ(arquivo, fs::path(getpwuid(getuid())->pw_dir) / ".claude" / "settings.json");
    }
}

// Homebrew's layout: bin/kivo is a link into a folder named after the version.
TEST(Comandos, CaminhoComoFoiChamado) {
    kivo::teste::PastaTemporaria raiz;
    const fs::path cellar = raiz.raiz() / "Cellar" / "kivo" / "0.1.0" / "bin";
    const fs::path bin = raiz.raiz() / "bin";
    const fs::path sozinho = raiz.raiz() / "sozinho";
    for (const fs::path& p : {cellar, bin, sozinho}) fs::create_directories(p);
    for (const char* nome : {"kivo", "kivo_gancho"}) {
        escrever(cellar / nome, "");
        fs::permissions(cellar / nome, fs::perms::owner_all);
        fs::create_symlink("../Cellar/kivo/0.1.0/bin/" + std::string(nome), bin / nome);
    }
    fs::create_symlink(cellar / "kivo", sozinho / "kivo");  // no kivo_gancho beside it
    const fs::path resolvido = cellar / "kivo";
    const std::tuple<std::string, std::string, fs::path> casos[] = {
        {(bin / "kivo").string(), "", bin / "kivo"},   {(bin / "." / "kivo").string(), "", bin / "kivo"},
        {"kivo", "rel:" + bin.string(), bin / "kivo"}, {"kivo", "", resolvido},
        {(sozinho / "kivo").string(), "", resolvido},
    };
    for (const auto& [argv0, path, esperado] : casos) {
        SCOPED_TRACE(argv0 + " PATH=" + path);
        EXPECT_EQ(kivo::app::executavelInvocado(argv0, path.c_str(), resolvido), esperado);
    }
}

// Only a command that runs exactly one kivo_gancho (or kivo linha with options) is ours.
TEST(Comandos, AspasDoShellEReconhecimento) {
    const std::pair<const char*, const char*> aspas[] = {
        {"/home/ana/meus apps/kivo_gancho", "CLAUDE_PID=$PPID exec '/home/ana/meus apps/kivo_gancho'"},
        {"/tmp/it's/kivo_gancho", "CLAUDE_PID=$PPID exec '/tmp/it'\\''s/kivo_gancho'"},
        {"/opt/a$b/kivo_gancho", "CLAUDE_PID=$PPID exec '/opt/a$b/kivo_gancho'"},
    };
    for (const auto& [caminho, comando] : aspas) {
        SCOPED_TRACE(caminho);
        EXPECT_EQ(kivo::app::comandoPara(caminho), comando);
        EXPECT_TRUE(kivo::app::ehComandoDoGancho(comando));
    }
    for (const char* nosso : {"kivo_gancho", "  /x/kivo_gancho\t", "CLAUDE_PID=$PPID exec /x/kivo_gancho",
                              "\"/x y/kivo_gancho\"", "/x\\ y/kivo_gancho"}) {
        EXPECT_TRUE(kivo::app::ehComandoDoGancho(nosso)) << nosso;
    }
    for (const char* alheio :
         {"CLAUDE_PID=$PPID exec '/x/kivo_gancho' --depurar", "CLAUDE_PID=$PPID exec '/x/kivo_gancho'; rm -rf ~",
          "CLAUDE_PID=$(id) exec /x/kivo_gancho", "/x/kivo_gancho --depurar", "/x/kivo_gancho; rm -rf ~",
          "/x/kivo_gancho_velho", "/x/kivo_gancho.sh", "/x/kivo_gancho/outro", "$HOME/kivo_gancho", "'/x/kivo_gancho",
          "\"/x/kivo_gancho", ""}) {
        EXPECT_FALSE(kivo::app::ehComandoDoGancho(alheio)) << alheio;
    }
    for (const char* nosso : {"'/opt/kivo/bin/kivo' linha", "kivo linha --tmux --largura 100"}) {
        EXPECT_TRUE(kivo::app::ehComandoDaLinha(nosso)) << nosso;
    }
    for (const char* alheio : {"kivo linha; rm -rf ~", "~/.claude/linha.sh", "/opt/kivo/bin/kivo painel",
                               "/opt/kivo_gancho linha", "kivo linha outra-coisa", "kivo"}) {
        EXPECT_FALSE(kivo::app::ehComandoDaLinha(alheio)) << alheio;
    }
}

}  // namespace
