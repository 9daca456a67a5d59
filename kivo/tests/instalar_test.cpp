// kivo instalar / desinstalar on real files in a temporary folder.
#include "instalar.hpp"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>

#include <filesystem>
#include <set>
#include <string>

#include <nlohmann/json.hpp>

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
const std::string nossa = R"({"type":"command","command":"CLAUDE_PID=$PPID exec '/opt/kivo/bin/kivo_gancho'","timeout":10})";
const std::string certa = R"({"matcher":"*","hooks":[)" + nossa + "]}";

// A settings file as a person keeps it: other settings, a hook of their own for a tool
// event, and kivo_gancho under an event that instalar does not manage.
const std::string configuracaoDaAna = Json::parse(R"({"model": "opus", "hooks": {
    "PreToolUse": [{"matcher": "Bash", "hooks": [{"type": "command", "command": "/home/ana/bin/guarda.sh"}]}],
    "SubagentStop": [{"hooks": [{"type": "command", "command": "/home/ana/bin/kivo_gancho"}]}]},
  "statusLine": {"type": "command", "command": "~/.claude/linha.sh"}})").dump(2) + "\n";  // two spaces deep

class Instalar : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
    }

    OpcoesInstalar opcoes(bool mostrar = false) const {
        OpcoesInstalar o;
        o.arquivo = arquivo_;
        o.gancho = "/opt/kivo/bin/kivo_gancho";
        o.mostrar = mostrar;
        o.agora = momento;
        return o;
    }
    std::set<std::string> arquivos() const { return kivo::teste::nomesEm(pasta_.raiz()); }
    Json config() const { return Json::parse(conteudo(arquivo_)); }

    kivo::teste::PastaTemporaria pasta_;
    fs::path arquivo_ = pasta_.raiz() / "settings.json";
};

TEST_F(Instalar, CriaArquivoEPastasQuandoFaltam) {
    arquivo_ = pasta_.raiz() / "nova" / ".claude" / "settings.json";
    const Resultado r = instalar(opcoes());
    ASSERT_EQ(r.status, 0) << r.erros;
    EXPECT_EQ(r.erros, "");
    EXPECT_NE(r.saida.find("n\u00E3o h\u00E1 c\u00F3pia"), std::string::npos) << r.saida;
    const Json c = config();
    ASSERT_EQ(c.size(), 1u);
    std::string eventos;
    for (const auto& [evento, valor] : c["hooks"].items()) {
        SCOPED_TRACE(evento);
        eventos += evento + " ";
        const bool ferramenta = evento.find("Tool") != std::string::npos || evento.find("Permission") == 0;
        ASSERT_EQ(valor.size(), 1u);
        EXPECT_EQ(nlohmann::json(valor[0]),
                  nlohmann::json::parse(ferramenta ? certa : R"({"hooks":[)" + nossa + "]}"));
    }
    EXPECT_EQ(eventos,
              "SessionStart UserPromptSubmit PreToolUse PermissionRequest PostToolUse PostToolUseFailure "
              "PermissionDenied Notification Stop StopFailure SessionEnd ");
    EXPECT_EQ(kivo::teste::nomesEm(arquivo_.parent_path()), std::set<std::string>{"settings.json"});

    ASSERT_EQ(desinstalar(opcoes()).status, 0);
    EXPECT_EQ(conteudo(arquivo_), "{}\n");
}

// Install keeps the person's hooks; a second run changes nothing; uninstall gives the
// same bytes back; every change leaves a copy named by the moment, with the old mode.
TEST_F(Instalar, GuardaOsGanchosDaPessoaECopiaOAnterior) {
    escrever(arquivo_, configuracaoDaAna);
    ASSERT_EQ(chmod(arquivo_.c_str(), 0600), 0);
    const Resultado r = instalar(opcoes());
    ASSERT_EQ(r.status, 0) << r.erros;
    EXPECT_EQ(r.saida.rfind("Registrei CLAUDE_PID=$PPID exec '", 0), 0u) << r.saida;
    const Json original = Json::parse(configuracaoDaAna)["hooks"];
    const Json hooks = config()["hooks"];
    EXPECT_EQ(hooks.size(), 12u);  // PreToolUse and SubagentStop, then the ten new ones
    ASSERT_EQ(hooks["PreToolUse"].size(), 2u);
    EXPECT_EQ(hooks["PreToolUse"][0], original["PreToolUse"][0]);
    EXPECT_EQ(nlohmann::json(hooks["PreToolUse"][1]), nlohmann::json::parse(certa));
    EXPECT_EQ(hooks["SubagentStop"], original["SubagentStop"]);
    EXPECT_EQ(conteudo(pasta_.raiz() / copia0), configuracaoDaAna);
    EXPECT_NE(r.saida.find("C\u00F3pia do arquivo anterior: " + (pasta_.raiz() / copia0).string() + "\n"),
              std::string::npos) << r.saida;
    for (const fs::path& p : {arquivo_, pasta_.raiz() / copia0}) {
        struct stat s {};
        ASSERT_EQ(stat(p.c_str(), &s), 0);
        EXPECT_EQ(s.st_mode & 0777, 0600u) << p;
    }

    const std::string instalado = conteudo(arquivo_);
    OpcoesInstalar o = opcoes();
    o.agora = momento + 60;  // a copy made now would get a new name
    const Resultado deNovo = instalar(o);
    EXPECT_EQ(deNovo.saida.rfind("Nada a mudar", 0), 0u) << deNovo.saida;
    EXPECT_EQ(conteudo(arquivo_), instalado);
    EXPECT_EQ(arquivos(), (std::set<std::string>{"settings.json", copia0}));

    EXPECT_EQ(desinstalar(opcoes(true)).saida.rfind("Removeria o kivo de ", 0), 0u);
    EXPECT_EQ(conteudo(arquivo_), instalado);
    // Same second: the first copy stays, the second gets a suffix.
    ASSERT_EQ(desinstalar(opcoes()).status, 0);
    EXPECT_EQ(conteudo(arquivo_), configuracaoDaAna);
    EXPECT_EQ(conteudo(pasta_.raiz() / copia0), configuracaoDaAna);
    EXPECT_EQ(conteudo(pasta_.raiz() / (copia0 + "-2")), instalado);
    const Resultado nada = desinstalar(opcoes());
    EXPECT_EQ(nada.saida.rfind("Nada a remover", 0), 0u) << nada.saida;
    EXPECT_EQ(arquivos().size(), 3u);
}

TEST_F(Instalar, MostrarNaoGravaNada) {
    escrever(arquivo_, configuracaoDaAna);
    const Resultado r = instalar(opcoes(true));
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.saida.find("  + SessionStart\n"), std::string::npos) << r.saida;
    EXPECT_NE(r.saida.find("Nada foi gravado"), std::string::npos);
    EXPECT_EQ(desinstalar(opcoes(true)).status, 0);
    EXPECT_EQ(conteudo(arquivo_), configuracaoDaAna);
    EXPECT_EQ(arquivos(), std::set<std::string>{"settings.json"});
    arquivo_ = pasta_.raiz() / "faltando" / "settings.json";
    EXPECT_EQ(instalar(opcoes(true)).status, 0);
    EXPECT_EQ(desinstalar(opcoes()).status, 0);
    EXPECT_EQ(arquivos(), std::set<std::string>{"settings.json"});
}

// What instalar does to PreToolUse when an entry for kivo_gancho is already there.
TEST_F(Instalar, EntradaNossaJaPresente) {
    struct Caso {
        const char* nome;
        std::string antes;   // the PreToolUse list before
        std::string depois;  // and after
        const char* linha;   // the line instalar prints for PreToolUse, "" for none
    };
    const std::string bash = R"({"matcher":"Bash","hooks":[{"type":"command","command":"/bin/meu"}]})";
    const std::string refeita = "  ~ PreToolUse (entrada refeita)\n";
    const Caso casos[] = {
        {"igual, nada muda", "[" + certa + "]", "[" + certa + "]", ""},
        {"a forma antiga (s\u00F3 o caminho) \u00E9 trocada onde est\u00E1",
         "[" + bash + R"(,{"matcher":"*","hooks":[{"type":"command","command":"/opt/kivo/bin/kivo_gancho","timeout":10}]},)" + bash + "]",
         "[" + bash + "," + certa + "," + bash + "]", "  ~ PreToolUse (substitui /opt/kivo/bin/kivo_gancho)\n"},
        {"outro caminho \u00E9 trocado", R"([{"hooks":[{"type":"command","command":"/velho/bin/kivo_gancho","timeout":10}]}])",
         R"([{"hooks":[)" + nossa + "]}]", "  ~ PreToolUse (substitui /velho/bin/kivo_gancho)\n"},
        {"grupo dividido com um gancho da pessoa",
         R"([{"matcher":"*","hooks":[{"type":"command","command":"/bin/meu"},{"type":"command","command":"'/velho dir/kivo_gancho'"}]}])",
         R"([{"matcher":"*","hooks":[{"type":"command","command":"/bin/meu"}]},)" + certa + "]",
         "  ~ PreToolUse (substitui '/velho dir/kivo_gancho')\n"},
        {"timeout diferente",
         R"([{"matcher":"*","hooks":[{"type":"command","command":"CLAUDE_PID=$PPID exec '/opt/kivo/bin/kivo_gancho'","timeout":30}]}])",
         "[" + certa + "]", refeita.c_str()},
        {"duas vezes vira uma", "[" + certa + "," + certa + "]", "[" + certa + "]", refeita.c_str()},
        {"s\u00F3 para o Bash n\u00E3o basta", R"([{"matcher":"Bash","hooks":[)" + nossa + "]}]", "[" + certa + "]",
         refeita.c_str()},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.nome);
        escrever(arquivo_, R"({"hooks":{"PreToolUse":)" + c.antes + "}}");
        const Resultado r = instalar(opcoes());
        ASSERT_EQ(r.status, 0) << r.erros;
        EXPECT_EQ(nlohmann::json(config()["hooks"]["PreToolUse"]), nlohmann::json::parse(c.depois));
        EXPECT_EQ(config()["hooks"].size(), 11u);
        EXPECT_EQ(r.saida.find(*c.linha ? c.linha : "PreToolUse") != std::string::npos, *c.linha != '\0') << r.saida;
    }
}

// Files it cannot understand, or may not change, stay as they are, with a clear message.
TEST_F(Instalar, RecusaEDeixaIntacto) {
    struct Caso {
        std::string conteudo;
        int statusDesinstalar;
        const char* trecho;  // part of the message
        mode_t modo = 0644;
        std::string gancho = "/opt/kivo/bin/kivo_gancho";
    };
    const std::string invalido = "n\u00E3o \u00E9 um JSON v\u00E1lido";
    const Caso casos[] = {
        {"{", 1, "n\u00E3o \u00E9 um JSON v\u00E1lido (linha 1, coluna 2)"},
        {"{\n  \"model\": \"opus\",\n}\n", 1, "n\u00E3o \u00E9 um JSON v\u00E1lido (linha 3, coluna 1)"},
        {"{\"a\": 1} // fim", 1, invalido.c_str()},
        {"{\"a\": NaN}", 1, invalido.c_str()},
        {"{\"a\": \"\xC3\"}", 1, invalido.c_str()},
        {"[1, 2]", 1, "objeto JSON no n\u00EDvel de cima"},
        {"\"texto\"", 1, "objeto JSON no n\u00EDvel de cima"},
        {"{\"hooks\": []}", 1, "\"hooks\""},
        {"{\"hooks\": {\"Stop\": {}}}", 0, "\"Stop\""},
        {configuracaoDaAna, 0, "s\u00F3 de leitura", 0444},
        {configuracaoDaAna, 0, "n\u00E3o \u00E9 UTF-8", 0644, "/opt/k\xE9vo/kivo_gancho"},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.conteudo + " " + c.trecho);
        escrever(arquivo_, c.conteudo);
        ASSERT_EQ(chmod(arquivo_.c_str(), c.modo), 0);
        OpcoesInstalar o = opcoes();
        o.gancho = c.gancho;
        const Resultado r = instalar(o);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.saida, "");
        EXPECT_EQ(r.erros.rfind("kivo: ", 0), 0u) << r.erros;
        EXPECT_NE(r.erros.find(c.trecho), std::string::npos) << r.erros;
        EXPECT_EQ(conteudo(arquivo_), c.conteudo);
        EXPECT_EQ(arquivos(), std::set<std::string>{"settings.json"});
        EXPECT_EQ(desinstalar(opcoes()).status, c.statusDesinstalar);
        EXPECT_EQ(conteudo(arquivo_), c.conteudo);
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
    const Json hooks = config()["hooks"];
    EXPECT_EQ(hooks.size(), 3u);  // SessionEnd went, Notification stays empty
    EXPECT_EQ(hooks["Notification"], Json::array());
    EXPECT_EQ(hooks["SubagentStop"][0]["hooks"].size(), 1u);
    ASSERT_EQ(hooks["Stop"].size(), 2u);
    EXPECT_EQ(hooks["Stop"][0]["hooks"].size(), 2u);
    EXPECT_EQ(hooks["Stop"][0]["hooks"][1]["command"], "/opt/kivo/bin/kivo_gancho --depurar");
    EXPECT_EQ(hooks["Stop"][1]["matcher"], "Bash");
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
    escrever(arquivo_, beto);
    OpcoesInstalar o = opcoes();
    o.linha = true;
    o.kivo = "/opt/kivo/bin/kivo";
    ASSERT_EQ(instalar(o).status, 0);
    const std::string depois = conteudo(arquivo_);
    // The old text up to "1E+2}", byte for byte; the new members four spaces deep.
    const std::string comum = beto.substr(0, beto.rfind('}') - 1);
    EXPECT_EQ(depois.substr(0, comum.size() + 26), comum + ",\n    \"hooks\": {\n        \"") << depois;
    EXPECT_NE(depois.find("\n    \"statusLine\": {\n        \"type\": \"command\",\n"
                          "        \"command\": \"'/opt/kivo/bin/kivo' linha\"\n    }\n}\n"),
              std::string::npos) << depois;
    ASSERT_EQ(desinstalar(opcoes()).status, 0);
    EXPECT_EQ(conteudo(arquivo_), beto);

    // On one line, the members are added on that line.
    escrever(arquivo_, " {\"a\": 1.50,\"b\": \"\\u00e9\"}\n");
    ASSERT_EQ(instalar(opcoes()).status, 0);
    const std::string linha = conteudo(arquivo_);
    EXPECT_EQ(linha.rfind(" {\"a\": 1.50,\"b\": \"\\u00e9\", \"hooks\": {\"SessionStart\":[{\"hooks\":[", 0), 0u) << linha;
    EXPECT_EQ(linha.find('\n'), linha.size() - 1);
    ASSERT_EQ(desinstalar(opcoes()).status, 0);
    EXPECT_EQ(conteudo(arquivo_), " {\"a\": 1.50,\"b\": \"\\u00e9\"}\n");

    for (const std::string texto : {"\xEF\xBB\xBF{\"a\": 1}", "  \n"}) {  // blank counts as {}
        SCOPED_TRACE(texto);
        escrever(arquivo_, texto);
        fs::remove(pasta_.raiz() / copia0);
        ASSERT_EQ(instalar(opcoes()).status, 0);
        EXPECT_EQ(config()["hooks"].size(), 11u);
        EXPECT_EQ(conteudo(pasta_.raiz() / copia0), texto);
        ASSERT_EQ(desinstalar(opcoes()).status, 0);
        EXPECT_EQ(conteudo(arquivo_), texto[0] == ' ' ? "{}\n" : texto);
    }
    // Blanks before the brace stay when the last member goes.
    escrever(arquivo_, " {}\n");
    ASSERT_EQ(instalar(opcoes()).status, 0);
    ASSERT_EQ(desinstalar(opcoes()).status, 0);
    EXPECT_EQ(conteudo(arquivo_), " {}\n");
}

TEST_F(Instalar, LinkSimbolicoELinhaDaPessoa) {
    fs::create_directory(pasta_.raiz() / "dotfiles");
    escrever(pasta_.raiz() / "dotfiles" / "settings.json", configuracaoDaAna);  // its own statusLine
    fs::create_symlink("dotfiles/settings.json", arquivo_);
    OpcoesInstalar o = opcoes();
    o.linha = true;
    o.kivo = "/opt/kivo/bin/kivo";
    const Resultado r = instalar(o);
    ASSERT_EQ(r.status, 0) << r.erros;
    EXPECT_TRUE(fs::is_symlink(arquivo_));
    const Json c = Json::parse(conteudo(pasta_.raiz() / "dotfiles" / "settings.json"));
    EXPECT_EQ(c["hooks"].size(), 12u);
    EXPECT_EQ(c["statusLine"], Json::parse(configuracaoDaAna)["statusLine"]);
    EXPECT_NE(r.saida.find("printf '%s' \"$entrada\" | '/opt/kivo/bin/kivo' linha\n"), std::string::npos) << r.saida;
    EXPECT_TRUE(fs::exists(pasta_.raiz() / "dotfiles" / copia0));
}

// Claude Code saves /model between our reading and our rename, once: read again.
TEST_F(Instalar, ArquivoQueMudaAntesDaTrocaELidoDeNovo) {
    escrever(arquivo_, configuracaoDaAna);
    OpcoesInstalar o = opcoes();
    int vezes = 0;
    o.antesDeTrocar = [&] {
        std::string outro = configuracaoDaAna;
        if (vezes++ == 0) escrever(arquivo_, outro.replace(outro.find("opus"), 4, "haiku"));
    };
    ASSERT_EQ(instalar(o).status, 0);
    EXPECT_EQ(vezes, 2);
    EXPECT_EQ(config()["model"], "haiku");
    EXPECT_EQ(config()["hooks"].size(), 12u);
    EXPECT_EQ(arquivos(), (std::set<std::string>{"settings.json", copia0}));  // only the replaced file's copy
}

TEST_F(Instalar, PastaDeDadosSoDoUsuario) {
    OpcoesInstalar o = opcoes();
    o.pastaDados = pasta_.raiz() / "dados" / ".kivo";
    const Resultado criada = instalar(o);
    ASSERT_EQ(criada.status, 0) << criada.erros;
    struct stat info {};
    ASSERT_EQ(stat(o.pastaDados.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_NE(criada.saida.find("(modo 700)"), std::string::npos) << criada.saida;
    ASSERT_EQ(chmod(o.pastaDados.c_str(), 0755), 0);
    const Resultado aberta = instalar(o);
    EXPECT_NE(aberta.saida.find("modo 755"), std::string::npos) << aberta.saida;
    EXPECT_NE(aberta.saida.find("chmod 700 " + o.pastaDados.string()), std::string::npos);
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
    const std::pair<std::string, std::string> viaBin[] = {
        {(bin / "kivo").string(), ""}, {(bin / "." / "kivo").string(), ""}, {"kivo", "rel:" + bin.string()}};
    for (const auto& [argv0, path] : viaBin) {
        SCOPED_TRACE(argv0 + " PATH=" + path);
        EXPECT_EQ(kivo::app::executavelInvocado(argv0, path.c_str(), resolvido), bin / "kivo");
    }
    EXPECT_EQ(kivo::app::executavelInvocado("kivo", "", resolvido), resolvido);
    EXPECT_EQ(kivo::app::executavelInvocado((sozinho / "kivo").string(), "", resolvido), resolvido);
}

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
    const std::pair<const char*, bool> ganchos[] = {
        {"kivo_gancho", true}, {"  /x/kivo_gancho\t", true}, {"CLAUDE_PID=$PPID exec /x/kivo_gancho", true},
        {"\"/x y/kivo_gancho\"", true}, {"/x\\ y/kivo_gancho", true},
        {"CLAUDE_PID=$PPID exec '/x/kivo_gancho' --depurar", false},
        {"CLAUDE_PID=$PPID exec '/x/kivo_gancho'; rm -rf ~", false}, {"CLAUDE_PID=$(id) exec /x/kivo_gancho", false},
        {"/x/kivo_gancho --depurar", false}, {"/x/kivo_gancho; rm -rf ~", false}, {"/x/kivo_gancho_velho", false},
        {"/x/kivo_gancho.sh", false}, {"/x/kivo_gancho/outro", false}, {"$HOME/kivo_gancho", false},
        {"'/x/kivo_gancho", false}, {"", false},
    };
    for (const auto& [texto, nosso] : ganchos) {
        SCOPED_TRACE(texto);
        EXPECT_EQ(kivo::app::ehComandoDoGancho(texto), nosso);
    }
    const std::pair<const char*, bool> linhas[] = {
        {"'/opt/kivo/bin/kivo' linha", true}, {"kivo linha --tmux --largura 100", true},
        {"kivo linha; rm -rf ~", false}, {"~/.claude/linha.sh", false}, {"/opt/kivo/bin/kivo painel", false},
        {"/opt/kivo_gancho linha", false}, {"kivo linha outra-coisa", false}, {"kivo", false},
    };
    for (const auto& [texto, nosso] : linhas) {
        SCOPED_TRACE(texto);
        EXPECT_EQ(kivo::app::ehComandoDaLinha(texto), nosso);
    }
}

}  // namespace
