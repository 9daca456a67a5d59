// kivo instalar / desinstalar on real files in a temporary folder.
#include "instalar/instalar.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "instalar/verificar.hpp"
#include "kivo/armazem.hpp"
#include "kivo/caminhos.hpp"
#include "pastas.hpp"

namespace fs = std::filesystem;
using kivo::app::desinstalar;
using kivo::app::instalar;
using kivo::app::OpcoesInstalar;
using kivo::app::Resultado;
using kivo::teste::conteudo;
using kivo::teste::escrever;
using Json = nlohmann::ordered_json;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

namespace {
struct Ambiente {  // a variable set (nullptr: unset) for a scope, then put back
    Ambiente(const char* n, const char* valor) : nome(n) {
        if (const char* v = std::getenv(n)) antes = v;
        valor ? setenv(n, valor, 1) : unsetenv(n);
    }
    ~Ambiente() { antes ? setenv(nome, antes->c_str(), 1) : unsetenv(nome); }
    const char* nome;
    std::optional<std::string> antes;
};

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
  "statusLine": {"type": "command", "command": "~/.claude/linha.sh"}})").dump(2) + "\n";

class Instalar : public ::testing::Test {
protected:
    Instalar() { tzset(); }
    ~Instalar() override { tzset(); }
    OpcoesInstalar opcoes(bool mostrar = false) const {
        return {.arquivo = arquivo_, .gancho = "/opt/kivo/bin/kivo_gancho", .mostrar = mostrar, .agora = momento,
                .kivo = "/opt/kivo/bin/kivo"};
    }
    std::set<std::string> arquivos() const { return kivo::teste::nomesEm(pasta_.raiz()); }
    Json config() const { return Json::parse(conteudo(arquivo_)); }
    Ambiente tz_{"TZ", "UTC"};
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
    o.pastaDados = pasta_.raiz() / "nova" / ".kivo";
    const Resultado r = instalar(o);
    ASSERT_EQ(r.status, 0) << r.erros;
    EXPECT_THAT(r.saida, AllOf(StartsWith("Criei a pasta dos registros, " + o.pastaDados.string() + ", s\u00F3 para "
                                          "voc\u00EA (modo 700).\nCriei " + arquivo_.string() + " e registrei CLAUDE_PID"),
                               HasSubstr("n\u00E3o h\u00E1 c\u00F3pia")));
    EXPECT_EQ(fs::status(o.pastaDados).permissions(), fs::perms::owner_all);
    ASSERT_EQ(chmod(o.pastaDados.c_str(), 0755), 0);
    EXPECT_THAT(instalar(o).saida, AllOf(HasSubstr("modo 755"), HasSubstr("chmod 700 " + o.pastaDados.string())));
    EXPECT_EQ(config()["hooks"].size(), 11u);
    EXPECT_EQ(config()["hooks"]["PreToolUse"], Json::parse("[" + certa + "]"));  // a tool event
    EXPECT_EQ(config()["hooks"]["Stop"], Json::parse(R"([{"hooks":[)" + nossa + "]}]"));
    EXPECT_EQ(kivo::teste::nomesEm(arquivo_.parent_path()), std::set<std::string>{"settings.json"});
    ASSERT_EQ(desinstalar(opcoes()).status, 0);
    EXPECT_EQ(conteudo(arquivo_), "{}\n");
    escrever(arquivo_, "  \n ");  // a blank file counts as {}
    ASSERT_EQ(instalar(opcoes()).status, 0);
    EXPECT_THAT(conteudo(arquivo_), StartsWith("{\n  \"hooks\": {\n    \"SessionStart\": ["));
}

// Install keeps the person's hooks; a second run changes nothing; uninstall gives the
// same bytes back; every change leaves a copy named by the moment, with the old mode.
TEST_F(Instalar, GuardaOsGanchosDaPessoaECopiaOAnterior) {
    escrever(arquivo_, configuracaoDaAna);
    ASSERT_EQ(chmod(arquivo_.c_str(), 0600), 0);
    EXPECT_THAT(instalar(opcoes(true)).saida,
                AllOf(HasSubstr("  + SessionStart\n"), HasSubstr("fica com a entrada " + nossa + "\n"),
                      Not(HasSubstr("\"PreToolUse\": ["))));

    const Resultado r = instalar(opcoes());
    ASSERT_EQ(r.status, 0) << r.erros;
    EXPECT_THAT(r.saida, AllOf(StartsWith("Registrei CLAUDE_PID=$PPID exec '"),
                               HasSubstr("C\u00F3pia do arquivo anterior: " + (pasta_.raiz() / copia0).string() + "\n")));
    const Json original = Json::parse(configuracaoDaAna)["hooks"];
    const Json hooks = config()["hooks"];
    EXPECT_EQ(hooks.size(), 12u);  // PreToolUse and SubagentStop, then the ten new ones
    EXPECT_EQ(nlohmann::json(hooks["PreToolUse"]),
              nlohmann::json::parse("[" + original["PreToolUse"][0].dump() + "," + certa + "]"));
    EXPECT_EQ(hooks["SubagentStop"], original["SubagentStop"]);
    const fs::perms soDono = fs::perms::owner_read | fs::perms::owner_write;
    for (const fs::path& p : {arquivo_, pasta_.raiz() / copia0}) EXPECT_EQ(fs::status(p).permissions(), soDono) << p;
    const std::string instalado = conteudo(arquivo_);
    OpcoesInstalar o = opcoes();
    o.agora = momento + 60;  // a copy made now would get a new name
    EXPECT_THAT(instalar(o).saida, StartsWith("Nada a mudar"));
    EXPECT_THAT(desinstalar(opcoes(true)).saida, StartsWith("Removeria o kivo de "));
    EXPECT_EQ(conteudo(arquivo_), instalado);
    EXPECT_EQ(arquivos(), (std::set<std::string>{"settings.json", copia0}));
    // Same second: the first copy stays, the second gets a suffix.
    ASSERT_EQ(desinstalar(opcoes()).status, 0);
    EXPECT_EQ(conteudo(arquivo_), configuracaoDaAna);
    EXPECT_EQ(conteudo(pasta_.raiz() / copia0), configuracaoDaAna);
    EXPECT_EQ(conteudo(pasta_.raiz() / (copia0 + "-2")), instalado);
    const std::string c0 = (pasta_.raiz() / copia0).string();
    EXPECT_THAT(desinstalar(opcoes()).saida, AllOf(StartsWith("Nada a remover"), HasSubstr("Ficaram as 2 c\u00F3pias que o kivo "
        "fez do arquivo:\n  " + c0 + "\n  " + c0 + "-2\nSe n\u00E3o precisar mais delas: rm '" + c0 + "' '" + c0 + "-2'\n")));
    EXPECT_EQ(arquivos().size(), 3u);
}

// What instalar does to PreToolUse when an entry for kivo_gancho is already there.
TEST_F(Instalar, EntradaNossaJaPresente) {
    const std::string meu = R"({"type":"command","command":"/bin/meu"})";
    const std::string bash = R"({"matcher":"Bash","hooks":[)" + meu + "]}";
    const std::string velha = R"({"type":"command","command":"/opt/kivo/bin/kivo_gancho","timeout":10})",
                      refeita = "  ~ PreToolUse (entrada refeita)\n";
    struct Caso { std::string antes, depois, linha; };  // linha: what is printed for PreToolUse
    const Caso casos[] = {
        // The old form (only the path) is replaced where it is.
        {.antes = "[" + bash + R"(,{"matcher":"*","hooks":[)" + velha + "]}," + bash + "]",
         .depois = "[" + bash + "," + certa + "," + bash + "]",
         .linha = "  ~ PreToolUse (substitui /opt/kivo/bin/kivo_gancho)\n"},
        {.antes = R"([{"hooks":[{"type":"command","command":"/velho/bin/kivo_gancho","timeout":10}]}])",
         .depois = R"([{"hooks":[)" + nossa + "]}]", .linha = "  ~ PreToolUse (substitui /velho/bin/kivo_gancho)\n"},
        {.antes = R"([{"hooks":[{"type":"command","command":"/a/kivo_gancho"},{"type":"command","command":"/b/kivo_gancho"}]}])",
         .depois = "[" + certa + "]", .linha = "  ~ PreToolUse (substitui /a/kivo_gancho e mais 1)\n"},
        // A group shared with a hook of the person's is split.
        {.antes = R"([{"matcher":"*","hooks":[)" + meu + R"(,{"type":"command","command":"'/velho dir/kivo_gancho'"}]}])",
         .depois = R"([{"matcher":"*","hooks":[)" + meu + "]}," + certa + "]",
         .linha = "  ~ PreToolUse (substitui '/velho dir/kivo_gancho')\n"},
        {.antes = "[" + certa.substr(0, certa.size() - 5) + "30}]}]", .depois = "[" + certa + "]", .linha = refeita},
        {.antes = "[" + certa + "," + certa + "]", .depois = "[" + certa + "]", .linha = refeita},
        {.antes = R"([{"matcher":"Bash","hooks":[)" + nossa + "]}]", .depois = "[" + certa + "]", .linha = refeita}};
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.antes);
        escrever(arquivo_, R"({"hooks":{"PreToolUse":)" + c.antes + "}}");
        const Resultado r = instalar(opcoes());
        ASSERT_EQ(r.status, 0) << r.erros;
        EXPECT_EQ(nlohmann::json(config()["hooks"]["PreToolUse"]), nlohmann::json::parse(c.depois));
        EXPECT_EQ(config()["hooks"].size(), 11u);
        EXPECT_THAT(r.saida, HasSubstr(c.linha));
    }
}

// Files it cannot understand, or may not change, stay as they are, with a clear message.
TEST_F(Instalar, RecusaEDeixaIntacto) {
    const std::string invalido = "n\u00E3o \u00E9 um JSON v\u00E1lido";
    struct Caso {
        std::string texto, trecho;  // the file, part of instalar's message
        int statusDesinstalar = 1; mode_t modo = 0644; const char* gancho = "/opt/kivo/bin/kivo_gancho";
    };
    const Caso casos[] = {
        {.texto = "{", .trecho = invalido + " (linha 1, coluna 2)"},
        {.texto = "{\n  \"model\": \"opus\",\n}\n", .trecho = invalido + " (linha 3, coluna 1)"},
        {.texto = "{\"a\": 1} // fim", .trecho = invalido},
        {.texto = "[1, 2]", .trecho = "objeto JSON no n\u00EDvel de cima"},
        {.texto = "{\"hooks\": []}", .trecho = "\"hooks\""},
        {.texto = "{\"hooks\": {\"Stop\": {}}}", .trecho = "\"Stop\"", .statusDesinstalar = 0},
        {.texto = configuracaoDaAna, .trecho = "s\u00F3 de leitura", .statusDesinstalar = 0, .modo = 0444},
        {.texto = configuracaoDaAna, .trecho = "n\u00E3o \u00E9 UTF-8", .statusDesinstalar = 0,
         .gancho = "/opt/k\xE9vo/kivo_gancho"}};
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.texto + " " + c.trecho);
        escrever(arquivo_, c.texto);
        ASSERT_EQ(chmod(arquivo_.c_str(), c.modo), 0);
        OpcoesInstalar o = opcoes();
        o.gancho = c.gancho;
        const Resultado r = instalar(o);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.saida, "");
        EXPECT_THAT(r.erros, AllOf(StartsWith("kivo: "), HasSubstr(c.trecho)));
        EXPECT_EQ(desinstalar(opcoes()).status, c.statusDesinstalar);
        EXPECT_EQ(conteudo(arquivo_), c.texto);
        EXPECT_EQ(arquivos(), std::set<std::string>{"settings.json"});
        chmod(arquivo_.c_str(), 0644);
    }
}

// SessionEnd goes, Notification stays empty.
TEST_F(Instalar, DesinstalarTiraSoOQueInstalarPoe) {
    escrever(arquivo_, R"({"hooks": {"Stop": [
    {"hooks": [{"type": "command", "command": "/usr/bin/kivo_gancho_extra"},
               {"type": "command", "command": "/opt/kivo/bin/kivo_gancho --depurar"},
               {"type": "command", "command": "/outra/pasta/kivo_gancho", "timeout": 10}]},
    {"matcher": "", "hooks": [{"type": "command", "command": "/opt/kivo/bin/kivo_gancho", "timeout": 10}]},
    {"matcher": "Bash", "hooks": []}], "SessionEnd": [{"hooks": [{"type": "command", "command": "kivo_gancho"}]}],
  "SubagentStop": [{"hooks": [{"type": "command", "command": "/opt/kivo/bin/kivo_gancho"}]}], "Notification": []}})");
    const Resultado r = desinstalar(opcoes());
    ASSERT_EQ(r.status, 0) << r.erros;
    EXPECT_THAT(r.saida, HasSubstr("  - Stop (2 entradas)\n  - SessionEnd\n"));
    EXPECT_EQ(config()["hooks"], Json::parse(R"({"Stop": [
    {"hooks": [{"type": "command", "command": "/usr/bin/kivo_gancho_extra"},
        {"type": "command", "command": "/opt/kivo/bin/kivo_gancho --depurar"}]}, {"matcher": "Bash", "hooks": []}],
  "SubagentStop": [{"hooks": [{"type": "command", "command": "/opt/kivo/bin/kivo_gancho"}]}], "Notification": []})"));
}

// Only the members kivo owns change in the file's text (how: json_edicao_test), and desinstalar gives the bytes back.
TEST_F(Instalar, SoOsMembrosDoKivoMudamNoTexto) {
    const std::string beto = "{\n    \"model\": \"opus\", \"env\": {\"A\": \"1e3\", \"B\": 1E+2}\n}\n";
    escrever(arquivo_, beto);
    OpcoesInstalar o = opcoes();
    o.linha = true;
    ASSERT_EQ(instalar(o).status, 0);
    EXPECT_THAT(conteudo(arquivo_), AllOf(StartsWith(beto.substr(0, beto.size() - 3) + ",\n    \"hooks\": {\n        \""),
                                          HasSubstr("\n    },\n    \"statusLine\": {\n        \"type\": \"command\",")));
    ASSERT_EQ(desinstalar(opcoes()).status, 0);
    EXPECT_EQ(conteudo(arquivo_), beto);
}

// Through a link into a dotfiles folder, where the copy goes too; a status line of the person's own stays. Claude Code
// saves /model between our reading and our rename, once: read again.
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
    EXPECT_THAT(r.saida, AllOf(HasSubstr(" em " + arquivo_.string() + " (\u2192 " + (dotfiles / "settings.json").string() +
                                         "):\n"), HasSubstr("printf '%s' \"$entrada\" | '/opt/kivo/bin/kivo' linha\n")));
    EXPECT_EQ(kivo::teste::nomesEm(dotfiles), (std::set<std::string>{"settings.json", copia0}));  // one copy only
    // Changed before every replacement: given up after five, each copy made on the way removed.
    o.antesDeTrocar = [&, t = conteudo(arquivo_)]() mutable { escrever(arquivo_, t += " "); };
    EXPECT_THAT(desinstalar(o).erros, HasSubstr(" mudou 5 vezes enquanto eu o gravava"));
    EXPECT_EQ(kivo::teste::nomesEm(dotfiles), (std::set<std::string>{"settings.json", copia0}));
}

// CLAUDE_CONFIG_DIR first; else the home folder the store uses too (an empty or
// non-UTF-8 HOME is no home: the account's own folder).
TEST(Comandos, ArquivoPadrao) {
    const passwd* conta = getpwuid(getuid());
    if (conta == nullptr || conta->pw_dir == nullptr) GTEST_SKIP() << "this account has no password entry";
    const fs::path daConta = fs::path(conta->pw_dir) / ".claude" / "settings.json";
    struct Caso { const char *claudeConfigDir, *home; fs::path esperado; };
    const Caso casos[] = {
        {.claudeConfigDir = "/cfg", .home = "/casa/ana", .esperado = "/cfg/settings.json"},
        {.claudeConfigDir = "", .home = "/casa/ana", .esperado = "/casa/ana/.claude/settings.json"},
        {.claudeConfigDir = nullptr, .home = "", .esperado = daConta},
        {.claudeConfigDir = nullptr, .home = "/casa/\xE9", .esperado = daConta}};
    const Ambiente semKivoDir("KIVO_DIR", nullptr);
    for (const Caso& c : casos) {
        const Ambiente config("CLAUDE_CONFIG_DIR", c.claudeConfigDir), casa("HOME", c.home);
        EXPECT_EQ(kivo::app::arquivoPadrao(), c.esperado) << c.home;
        const fs::path doArmazem = kivo::Caminhos::base().parent_path() / ".claude/settings.json";
        if (!c.claudeConfigDir) { EXPECT_EQ(doArmazem, c.esperado); }
    }
}

// Homebrew's layout: bin/kivo is a link into a folder named after the version.
TEST(Comandos, CaminhoComoFoiChamado) {
    kivo::teste::PastaTemporaria raiz;
    const fs::path r = raiz.raiz(), cellar = r / "Cellar/kivo/0.1.0/bin", bin = r / "bin", sozinho = r / "sozinho";
    for (const fs::path& p : {cellar, bin, sozinho}) fs::create_directories(p);
    for (const char* nome : {"kivo", "kivo_gancho"}) {
        escrever(cellar / nome, "");
        fs::permissions(cellar / nome, fs::perms::owner_all);
        fs::create_symlink("../Cellar/kivo/0.1.0/bin/" + std::string(nome), bin / nome);
    }
    fs::create_symlink(cellar / "kivo", sozinho / "kivo");  // no kivo_gancho beside it
    const fs::path resolvido = cellar / "kivo";
    struct Caso { std::string argv0, path; fs::path esperado; };
    const Caso casos[] = {
        {.argv0 = (bin / "kivo").string(), .esperado = bin / "kivo"},
        {.argv0 = (bin / "." / "kivo").string(), .esperado = bin / "kivo"},
        {.argv0 = "kivo", .path = "rel:" + bin.string(), .esperado = bin / "kivo"},
        {.argv0 = "kivo", .esperado = resolvido},
        {.argv0 = (sozinho / "kivo").string(), .esperado = resolvido}};
    for (const Caso& c : casos)
        EXPECT_EQ(kivo::app::executavelInvocado(c.argv0, c.path.c_str(), resolvido), c.esperado) << c.argv0 << c.path;
}

// The paths in single quotes, and only a command that runs exactly one kivo_gancho (or
// kivo linha with options) is ours.
TEST(Comandos, AspasDoShellEReconhecimento) {
    EXPECT_EQ(kivo::app::comandoPara("/tmp/it's/kivo_gancho"), "CLAUDE_PID=$PPID exec '/tmp/it'\\''s/kivo_gancho'");
    struct Grupo { std::vector<const char*> comandos; bool doGancho = false, daLinha = false; };
    const Grupo grupos[] = {
        {.comandos = {"CLAUDE_PID=$PPID exec '/tmp/it'\\''s/kivo_gancho'", "CLAUDE_PID=$PPID exec '/opt/a$b/kivo_gancho'",
                      "  /x/kivo_gancho\t", "CLAUDE_PID=$PPID exec /x/kivo_gancho", "\"/x y/kivo_gancho\"",
                      "/x\\ y/kivo_gancho"}, .doGancho = true},
        {.comandos = {"'/opt/kivo/bin/kivo' linha", "kivo linha --tmux --largura 100"}, .daLinha = true},
        {.comandos = {"CLAUDE_PID=$PPID exec '/x/kivo_gancho'; rm -rf ~", "CLAUDE_PID=$(id) exec /x/kivo_gancho",
                      "/x/kivo_gancho/outro", "$HOME/kivo_gancho", "'/x/kivo_gancho", "\"/x/kivo_gancho", "",
                      "kivo linha; rm -rf ~", "/opt/kivo/bin/kivo painel", "/opt/kivo_gancho linha",
                      "kivo linha outra-coisa", "kivo"}}};
    for (const Grupo& g : grupos)
        for (const char* comando : g.comandos) {
            EXPECT_EQ(kivo::app::ehComandoDoGancho(comando), g.doGancho) << comando;
            EXPECT_EQ(kivo::app::ehComandoDaLinha(comando), g.daLinha) << comando;
        }
}
}  // namespace

// kivo verificar, one link per line: the whole report when all is in place, then one
// broken link per row (its line, and whether the essentials failed).
TEST_F(Instalar, VerificarCadaElo) {
    const fs::path bin = pasta_.raiz() / "bin", base = pasta_.raiz() / "kivo", gancho = bin / "kivo_gancho";
    for (const auto& [nome, corpo] : {std::pair{"kivo_gancho", "cat"}, {"tmux", ""}, {"notify-send", ""},
                                      {"3/kivo_gancho", "exit 3"}, {"9/kivo_gancho", "kill -9 $$"}}) {
        fs::create_directories((bin / nome).parent_path());
        escrever(bin / nome, "#!/bin/sh\n" + std::string(corpo) + "\n");
        fs::permissions(bin / nome, fs::perms::owner_all);
    }
    OpcoesInstalar o = opcoes();
    o.gancho = gancho, o.linha = true, o.pastaDados = base;
    ASSERT_EQ(instalar(o).status, 0);
    kivo::Armazem(base / "sessoes").gravar({.id = "a", .cwd = "/home/ana/loja", .atualizado = momento - 130});
    const std::string pronto = conteudo(arquivo_), b = bin.string(), tirar = "rode `kivo instalar`";
    const kivo::app::OpcoesVerificar certo{.arquivo = arquivo_, .ganchoAoLado = gancho, .base = base,
                                           .agora = momento, .path = b.c_str(), .sessaoGrafica = true};
    EXPECT_EQ(kivo::app::verificar(certo).saida,
              "\u2713 Configura\u00E7\u00F5es do Claude Code: " + arquivo_.string() + "\n\u2713 Gancho: registrado nos 11 "
              "eventos, " + b + "/kivo_gancho (o que est\u00E1 ao lado deste kivo), e roda\n\u2713 Linha de status: "
              "'/opt/kivo/bin/kivo' linha\n\u2713 Pasta dos registros: " + base.string() + " (s\u00F3 sua)\n\u2713 "
              "\u00DAltimo evento: h\u00E1 2 min (loja)\n\u2713 tmux: " + b + "/tmux\n\u2713 Notifica\u00E7\u00F5es: " + b +
              "/notify-send\nO essencial est\u00E1 no lugar.\n");
    const auto trocar = [&](const std::string& de, const std::string& para, std::string t = {}) {
        for (t = pronto; t.find(de) != std::string::npos;) t.replace(t.find(de), de.size(), para);
        return t;
    };
    const auto outro = [&](const char* pasta) { return trocar(b + "/kivo_gancho", b + pasta + "/kivo_gancho"); };
    struct Caso {  // the settings file's text ("": as installed), a change to `certo`, the status, the line
        const char* nome; std::string config = {}; std::function<void(kivo::app::OpcoesVerificar&)> mudar = {};
        int status = 0; std::string linha;
    };
    const Caso casos[] = {
        {.nome = "outro gancho", .mudar = [](auto& v) { v.ganchoAoLado = "/x/kivo_gancho"; },
         .linha = "/kivo_gancho, e roda; n\u00E3o \u00E9 o que est\u00E1 ao lado deste kivo (`kivo instalar` troca por ele)\n"},
        {.nome = "pelo PATH", .config = trocar("'" + b + "/kivo_gancho'", "kivo_gancho"),
         .linha = "\u2713 Gancho: registrado nos 11 eventos, kivo_gancho (o que"},
        {.nome = "sai com 3", .config = outro("/3"), .status = 1,
         .linha = "\u2717 Gancho: " + b + "/3/kivo_gancho saiu com status 3 \u2014 reinstale o kivo e " + tirar + "\n"},
        {.nome = "morto", .config = outro("/9"), .status = 1, .linha = "/9/kivo_gancho parou por um sinal"},
        {.nome = "sumiu", .config = outro("/0"), .status = 1,
         .linha = "\u2717 Gancho: " + b + "/0/kivo_gancho n\u00E3o existe \u2014 " + tirar + " para registrar o deste kivo\n"},
        {.nome = "falta um", .config = trocar(R"("Stop": [)", R"("X": [)"), .status = 1,
         .linha = "\u2717 Gancho: falta em 1 de 11 eventos (Stop) \u2014 " + tirar + "\n"},
        {.nome = "JSON ruim", .config = "{", .status = 1, .linha = "\u2717 Configura\u00E7\u00F5es do Claude Code: "},
        {.nome = "linha sua", .config = trocar("'/opt/kivo/bin/kivo' linha", "minha"), .linha = "uma sua, sem o kivo"},
        {.nome = "sem linha", .config = trocar("statusLine", "outra"),
         .linha = "\u2717 Linha de status: nenhuma (opcional) \u2014 `kivo instalar --linha` p\u00F5e a do kivo\n"},
        {.nome = "sem eventos", .mudar = [&](auto& v) { v.base = pasta_.raiz() / "vazia"; },
         .linha = "\u2717 Nenhum evento ainda \u2014 abra uma sess\u00E3o do Claude Code\n"},
        {.nome = "sem tela", .mudar = [](auto& v) { v.sessaoGrafica = false; },
         .linha = "\u2717 Notifica\u00E7\u00F5es: " + b + "/notify-send, mas sem sess\u00E3o gr\u00E1fica"},
        {.nome = "sem programas", .mudar = [](auto& v) { v.path = "/nada"; },
         .linha = "\u2717 tmux: n\u00E3o achei no PATH (opcional: para ir at\u00E9 um agente e para a barra do tmux) \u2014 "
                  "instale o tmux\n\u2717 Notifica\u00E7\u00F5es: n\u00E3o achei o notify-send no PATH"},
        {.nome = "pasta aberta", .mudar = [&](auto&) { chmod(base.c_str(), 0750); },
         .linha = "\u2717 Pasta dos registros: " + base.string() + " pode ser lida por outras contas (modo 750) \u2014 chmod"}};
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.nome);
        escrever(arquivo_, c.config.empty() ? pronto : c.config);
        kivo::app::OpcoesVerificar v = certo;
        if (c.mudar) c.mudar(v);
        const Resultado r = kivo::app::verificar(v);
        EXPECT_EQ(r.status, c.status);
        EXPECT_THAT(r.saida, AllOf(HasSubstr(c.linha), ::testing::EndsWith(c.status ? "acima.\n" : "no lugar.\n")));
    }
}
