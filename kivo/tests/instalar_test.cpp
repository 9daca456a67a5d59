// kivo instalar / desinstalar on real files in a temporary folder.
#include "instalar.hpp"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "pastas.hpp"

namespace fs = std::filesystem;
using kivo::app::desinstalar;
using kivo::app::instalar;
using kivo::app::OpcoesInstalar;
using kivo::app::Resultado;
using Ordenado = nlohmann::ordered_json;

namespace {

constexpr const char* gancho = "/opt/kivo/bin/kivo_gancho";
constexpr std::time_t momento = 1765000000;  // 2025-12-06 05:46:40 UTC

// A settings file as a person keeps it: other settings, a hook of their own for a tool
// event, and kivo_gancho under an event that instalar does not manage.
constexpr const char* configuracaoDaAna = R"json({
  "$schema": "https://json.schemastore.org/claude-code-settings.json",
  "model": "opus",
  "permissions": {
    "allow": [
      "Bash(npm test:*)"
    ]
  },
  "hooks": {
    "PreToolUse": [
      {
        "matcher": "Bash",
        "hooks": [
          {
            "type": "command",
            "command": "/home/ana/bin/guarda.sh"
          }
        ]
      }
    ],
    "SubagentStop": [
      {
        "hooks": [
          {
            "type": "command",
            "command": "/home/ana/bin/kivo_gancho"
          }
        ]
      }
    ]
  },
  "statusLine": {
    "type": "command",
    "command": "~/.claude/linha.sh"
  }
}
)json";

const std::vector<std::string> onzeEventos = {
    "SessionStart", "UserPromptSubmit", "PreToolUse",       "PermissionRequest",
    "PostToolUse",  "PostToolUseFailure", "PermissionDenied", "Notification",
    "Stop",         "StopFailure",      "SessionEnd"};

const nlohmann::json nossoGrupo = nlohmann::json::parse(
    R"({"hooks":[{"type":"command","command":"CLAUDE_PID=$PPID exec '/opt/kivo/bin/kivo_gancho'","timeout":10}]})");
const nlohmann::json nossoGrupoComMatcher = nlohmann::json::parse(
    R"({"matcher":"*","hooks":[{"type":"command","command":"CLAUDE_PID=$PPID exec '/opt/kivo/bin/kivo_gancho'","timeout":10}]})");

bool ehDeFerramenta(const std::string& evento) {
    return evento == "PreToolUse" || evento == "PermissionRequest" || evento == "PostToolUse" ||
           evento == "PostToolUseFailure" || evento == "PermissionDenied";
}

class Instalar : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
        char modelo[] = "/tmp/kivo-instalar-XXXXXX";
        ASSERT_NE(mkdtemp(modelo), nullptr);
        pasta_ = modelo;
        arquivo_ = pasta_ / "settings.json";
    }
    void TearDown() override { fs::remove_all(pasta_); }

    OpcoesInstalar opcoes(bool mostrar = false) const {
        OpcoesInstalar o;
        o.arquivo = arquivo_;
        o.gancho = gancho;
        o.mostrar = mostrar;
        o.agora = momento;
        return o;
    }

    static std::string ler(const fs::path& p) {
        std::ifstream f(p, std::ios::binary);
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    }
    static void escrever(const fs::path& p, const std::string& texto) {
        std::ofstream(p, std::ios::binary) << texto;
    }
    std::vector<std::string> arquivos() const {
        std::vector<std::string> nomes;
        for (const auto& e : fs::directory_iterator(pasta_)) nomes.push_back(e.path().filename().string());
        std::sort(nomes.begin(), nomes.end());
        return nomes;
    }

    fs::path pasta_;
    fs::path arquivo_;
};

TEST_F(Instalar, CriaArquivoEPastasQuandoFaltam) {
    arquivo_ = pasta_ / "nova" / ".claude" / "settings.json";
    const Resultado r = instalar(opcoes());
    ASSERT_EQ(r.status, 0) << r.erros;
    EXPECT_EQ(r.erros, "");
    EXPECT_NE(r.saida.find("n\u00E3o h\u00E1 c\u00F3pia"), std::string::npos) << r.saida;

    const Ordenado config = Ordenado::parse(ler(arquivo_));
    ASSERT_EQ(config.size(), 1u);
    std::vector<std::string> chaves;
    for (const auto& [evento, valor] : config["hooks"].items()) {
        chaves.push_back(evento);
        SCOPED_TRACE(evento);
        ASSERT_EQ(valor.size(), 1u);
        EXPECT_EQ(nlohmann::json::parse(valor[0].dump()),
                  ehDeFerramenta(evento) ? nossoGrupoComMatcher : nossoGrupo);
    }
    EXPECT_EQ(chaves, onzeEventos);
    EXPECT_EQ(std::distance(fs::directory_iterator(arquivo_.parent_path()), fs::directory_iterator()), 1);
}

TEST_F(Instalar, GuardaOutrosGanchosEDesinstalarDevolveOArquivo) {
    escrever(arquivo_, configuracaoDaAna);
    ASSERT_EQ(instalar(opcoes()).status, 0);
    const Ordenado original = Ordenado::parse(configuracaoDaAna);
    const Ordenado hooks = Ordenado::parse(ler(arquivo_))["hooks"];
    EXPECT_EQ(hooks.size(), 12u);  // PreToolUse and SubagentStop, then the ten new ones
    ASSERT_EQ(hooks["PreToolUse"].size(), 2u);
    EXPECT_EQ(hooks["PreToolUse"][0], original["hooks"]["PreToolUse"][0]);
    EXPECT_EQ(nlohmann::json::parse(hooks["PreToolUse"][1].dump()), nossoGrupoComMatcher);
    EXPECT_EQ(hooks["SubagentStop"], original["hooks"]["SubagentStop"]);

    ASSERT_EQ(desinstalar(opcoes()).status, 0);
    EXPECT_EQ(ler(arquivo_), configuracaoDaAna);  // same bytes
}

TEST_F(Instalar, SegundaVezNaoMudaNada) {
    escrever(arquivo_, configuracaoDaAna);
    ASSERT_EQ(instalar(opcoes()).status, 0);
    const std::string depoisDaPrimeira = ler(arquivo_);
    const auto antes = arquivos();
    ASSERT_EQ(antes.size(), 2u);  // settings.json and one copy

    OpcoesInstalar o = opcoes();
    o.agora = momento + 60;  // a copy made now would get a new name
    const Resultado r = instalar(o);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.saida.rfind("Nada a mudar", 0), 0u) << r.saida;
    EXPECT_EQ(ler(arquivo_), depoisDaPrimeira);
    EXPECT_EQ(arquivos(), antes);
}

TEST_F(Instalar, CopiaGuardaOArquivoAnteriorENomeiaPeloMomento) {
    escrever(arquivo_, configuracaoDaAna);
    ASSERT_EQ(chmod(arquivo_.c_str(), 0600), 0);
    const Resultado r = instalar(opcoes());
    ASSERT_EQ(r.status, 0) << r.erros;

    const fs::path copia = pasta_ / "settings.json.kivo-backup-20251206-054640";
    EXPECT_EQ(ler(copia), configuracaoDaAna);
    EXPECT_NE(r.saida.find("C\u00F3pia do arquivo anterior: " + copia.string() + "\n"), std::string::npos)
        << r.saida;
    struct stat s {};
    ASSERT_EQ(stat(arquivo_.c_str(), &s), 0);
    EXPECT_EQ(s.st_mode & 0777, 0600u);  // the new file keeps the old one's permissions
    ASSERT_EQ(stat(copia.c_str(), &s), 0);
    EXPECT_EQ(s.st_mode & 0777, 0600u);

    // A second change in the same second does not overwrite the first copy.
    const std::string instalado = ler(arquivo_);
    ASSERT_EQ(desinstalar(opcoes()).status, 0);
    EXPECT_EQ(ler(copia), configuracaoDaAna);
    EXPECT_EQ(ler(pasta_ / "settings.json.kivo-backup-20251206-054640-2"), instalado);
}

TEST_F(Instalar, MostrarNaoGravaNada) {
    escrever(arquivo_, configuracaoDaAna);
    const Resultado r = instalar(opcoes(true));
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.saida.find("  + SessionStart\n"), std::string::npos) << r.saida;
    EXPECT_NE(r.saida.find("Nada foi gravado"), std::string::npos);
    EXPECT_EQ(ler(arquivo_), configuracaoDaAna);
    EXPECT_EQ(arquivos(), std::vector<std::string>{"settings.json"});

    const Resultado d = desinstalar(opcoes(true));
    EXPECT_EQ(d.status, 0);
    EXPECT_EQ(ler(arquivo_), configuracaoDaAna);

    arquivo_ = pasta_ / "faltando" / "settings.json";
    EXPECT_EQ(instalar(opcoes(true)).status, 0);
    EXPECT_FALSE(fs::exists(pasta_ / "faltando"));
}

// What instalar does to PreToolUse when an entry for kivo_gancho is already there.
TEST_F(Instalar, EntradaNossaJaPresente) {
    struct Caso {
        const char* nome;
        std::string antes;   // the PreToolUse list before
        std::string depois;  // and after
        const char* linha;   // the line instalar prints for PreToolUse, "" for none
    };
    const std::string nossa = R"({"type":"command","command":"CLAUDE_PID=$PPID exec '/opt/kivo/bin/kivo_gancho'","timeout":10})";
    const std::string certa = R"({"matcher":"*","hooks":[)" + nossa + "]}";
    const std::string bash = R"({"matcher":"Bash","hooks":[{"type":"command","command":"/bin/meu"}]})";
    const Caso casos[] = {
        {"igual, nada muda", "[" + certa + "]", "[" + certa + "]", ""},
        {"a forma antiga (s\u00F3 o caminho) \u00E9 trocada onde est\u00E1",
         "[" + bash + R"(,{"matcher":"*","hooks":[{"type":"command","command":"/opt/kivo/bin/kivo_gancho","timeout":10}]},)" + bash + "]",
         "[" + bash + "," + certa + "," + bash + "]",
         "  ~ PreToolUse (substitui /opt/kivo/bin/kivo_gancho)\n"},
        {"outro caminho \u00E9 trocado",
         R"([{"hooks":[{"type":"command","command":"/velho/bin/kivo_gancho","timeout":10}]}])",
         R"([{"hooks":[)" + nossa + "]}]",
         "  ~ PreToolUse (substitui /velho/bin/kivo_gancho)\n"},
        {"grupo dividido com um gancho da pessoa",
         R"([{"matcher":"*","hooks":[{"type":"command","command":"/bin/meu"},{"type":"command","command":"'/velho dir/kivo_gancho'"}]}])",
         R"([{"matcher":"*","hooks":[{"type":"command","command":"/bin/meu"}]},)" + certa + "]",
         "  ~ PreToolUse (substitui '/velho dir/kivo_gancho')\n"},
        {"timeout diferente",
         R"([{"matcher":"*","hooks":[{"type":"command","command":"CLAUDE_PID=$PPID exec '/opt/kivo/bin/kivo_gancho'","timeout":30}]}])",
         "[" + certa + "]", "  ~ PreToolUse (entrada refeita)\n"},
        {"duas vezes vira uma", "[" + certa + "," + certa + "]", "[" + certa + "]",
         "  ~ PreToolUse (entrada refeita)\n"},
        {"s\u00F3 para o Bash n\u00E3o basta",
         R"([{"matcher":"Bash","hooks":[)" + nossa + "]}]", "[" + certa + "]",
         "  ~ PreToolUse (entrada refeita)\n"},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.nome);
        escrever(arquivo_, R"({"hooks":{"PreToolUse":)" + c.antes + "}}");
        const Resultado r = instalar(opcoes());
        ASSERT_EQ(r.status, 0) << r.erros;
        const nlohmann::json config = nlohmann::json::parse(ler(arquivo_));
        EXPECT_EQ(config["hooks"]["PreToolUse"], nlohmann::json::parse(c.depois));
        EXPECT_EQ(config["hooks"].size(), 11u);
        if (*c.linha) {
            EXPECT_NE(r.saida.find(c.linha), std::string::npos) << r.saida;
        } else {
            EXPECT_EQ(r.saida.find("PreToolUse"), std::string::npos) << r.saida;
        }
    }
}

TEST_F(Instalar, ArquivoQueNaoSeEntendeFicaIntacto) {
    struct Caso {
        const char* conteudo;
        int statusDesinstalar;
        const char* trecho;  // part of the message
    };
    const Caso casos[] = {
        {"{", 1, "n\u00E3o \u00E9 um JSON v\u00E1lido (linha 1, coluna 2)"},
        {"{\n  \"model\": \"opus\",\n}\n", 1, "n\u00E3o \u00E9 um JSON v\u00E1lido (linha 3, coluna 1)"},
        {"{\"a\": 1} // fim", 1, "n\u00E3o \u00E9 um JSON v\u00E1lido"},
        {"{\"a\": NaN}", 1, "n\u00E3o \u00E9 um JSON v\u00E1lido"},
        {"{\"a\": \"\xC3\"}", 1, "n\u00E3o \u00E9 um JSON v\u00E1lido"},
        {"[1, 2]", 1, "objeto JSON no n\u00EDvel de cima"},
        {"\"texto\"", 1, "objeto JSON no n\u00EDvel de cima"},
        {"{\"hooks\": []}", 1, "\"hooks\""},
        {"{\"hooks\": {\"Stop\": {}}}", 0, "\"Stop\""},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.conteudo);
        escrever(arquivo_, c.conteudo);
        const Resultado r = instalar(opcoes());
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.saida, "");
        EXPECT_EQ(r.erros.rfind("kivo: " + arquivo_.string(), 0) == 0 || r.erros.rfind("kivo: o ", 0) == 0, true)
            << r.erros;
        EXPECT_NE(r.erros.find(c.trecho), std::string::npos) << r.erros;
        EXPECT_NE(r.erros.find("Nada foi alterado."), std::string::npos);
        EXPECT_EQ(ler(arquivo_), c.conteudo);
        EXPECT_EQ(arquivos(), std::vector<std::string>{"settings.json"});

        const Resultado d = desinstalar(opcoes());
        EXPECT_EQ(d.status, c.statusDesinstalar) << d.erros;
        EXPECT_EQ(ler(arquivo_), c.conteudo);
    }
}

TEST_F(Instalar, ArquivoVazioValeComoObjetoVazio) {
    escrever(arquivo_, "  \n");
    ASSERT_EQ(instalar(opcoes()).status, 0);
    EXPECT_EQ(nlohmann::json::parse(ler(arquivo_))["hooks"].size(), 11u);
    EXPECT_EQ(ler(pasta_ / "settings.json.kivo-backup-20251206-054640"), "  \n");
}

TEST_F(Instalar, DesinstalarTiraSoOQueInstalarPoe) {
    const std::string antes = R"({
  "hooks": {
    "Stop": [
      {
        "hooks": [
          {"type": "command", "command": "/usr/bin/kivo_gancho_extra"},
          {"type": "command", "command": "/opt/kivo/bin/kivo_gancho --depurar"},
          {"type": "command", "command": "/outra/pasta/kivo_gancho", "timeout": 10}
        ]
      },
      {"matcher": "", "hooks": [{"type": "command", "command": "/opt/kivo/bin/kivo_gancho", "timeout": 10}]},
      {"matcher": "Bash", "hooks": []}
    ],
    "SessionEnd": [{"hooks": [{"type": "command", "command": "kivo_gancho"}]}],
    "SubagentStop": [{"hooks": [{"type": "command", "command": "/opt/kivo/bin/kivo_gancho"}]}],
    "Notification": []
  }
})";
    escrever(arquivo_, antes);
    const Resultado r = desinstalar(opcoes());
    ASSERT_EQ(r.status, 0) << r.erros;
    EXPECT_NE(r.saida.find("  - Stop (2 entradas)\n  - SessionEnd\n"), std::string::npos) << r.saida;
    EXPECT_EQ(nlohmann::json::parse(ler(arquivo_)), nlohmann::json::parse(R"({
  "hooks": {
    "Stop": [
      {
        "hooks": [
          {"type": "command", "command": "/usr/bin/kivo_gancho_extra"},
          {"type": "command", "command": "/opt/kivo/bin/kivo_gancho --depurar"}
        ]
      },
      {"matcher": "Bash", "hooks": []}
    ],
    "SubagentStop": [{"hooks": [{"type": "command", "command": "/opt/kivo/bin/kivo_gancho"}]}],
    "Notification": []
  }
})"));

    const std::string depois = ler(arquivo_);
    const Resultado de_novo = desinstalar(opcoes());
    EXPECT_EQ(de_novo.status, 0);
    EXPECT_EQ(de_novo.saida.rfind("Nada a remover", 0), 0u);
    EXPECT_EQ(ler(arquivo_), depois);
}

TEST_F(Instalar, DesinstalarSemArquivoNaoCriaNada) {
    const Resultado r = desinstalar(opcoes());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.saida.rfind("Nada a remover", 0), 0u);
    EXPECT_TRUE(arquivos().empty());
}

TEST_F(Instalar, InstalarEDesinstalarSemArquivoVoltaAoObjetoVazio) {
    ASSERT_EQ(instalar(opcoes()).status, 0);
    ASSERT_EQ(desinstalar(opcoes()).status, 0);
    EXPECT_EQ(ler(arquivo_), "{}\n");
}

TEST_F(Instalar, LinkSimbolicoContinuaLink) {
    fs::create_directory(pasta_ / "dotfiles");
    escrever(pasta_ / "dotfiles" / "settings.json", "{\"model\": \"opus\"}");
    fs::create_symlink("dotfiles/settings.json", arquivo_);
    ASSERT_EQ(instalar(opcoes()).status, 0);
    EXPECT_TRUE(fs::is_symlink(arquivo_));
    const nlohmann::json config = nlohmann::json::parse(ler(pasta_ / "dotfiles" / "settings.json"));
    EXPECT_EQ(config["model"], "opus");
    EXPECT_EQ(config["hooks"].size(), 11u);
    EXPECT_TRUE(fs::exists(pasta_ / "dotfiles" / "settings.json.kivo-backup-20251206-054640"));
}

// A file as people write it: compact objects, escapes, number spellings, a key order
// of their own. Only the members kivo owns may change.
constexpr const char* arquivoDoBeto =
    "{\n"
    "    \"model\": \"opus\", \"permissions\": {\"allow\": [\"Bash(npm test:*)\"], \"deny\": []},\n"
    "    \"caf\\u00e9\": 1.50,\n"
    "    \"env\": {\"A\": \"1e3\", \"B\": 1E+2}\n"
    "}\n";

TEST_F(Instalar, SoOsMembrosDoKivoMudamNoTexto) {
    escrever(arquivo_, arquivoDoBeto);
    OpcoesInstalar o = opcoes();
    o.linha = true;
    o.kivo = "/opt/kivo/bin/kivo";
    ASSERT_EQ(instalar(o).status, 0);
    const std::string depois = ler(arquivo_);
    // Everything before the new members is the old text, byte for byte; the new
    // members follow, four spaces deep like the rest.
    const std::string antes(arquivoDoBeto);
    const std::string comum = antes.substr(0, antes.rfind('}') - 1);  // up to "1E+2}"
    EXPECT_EQ(depois.substr(0, comum.size()), comum);
    EXPECT_EQ(depois.substr(comum.size(), 26), ",\n    \"hooks\": {\n        \"") << depois;
    EXPECT_NE(depois.find("\n    \"statusLine\": {\n        \"type\": \"command\",\n"
                          "        \"command\": \"'/opt/kivo/bin/kivo' linha\"\n    }\n}\n"),
              std::string::npos)
        << depois;
    EXPECT_EQ(Ordenado::parse(depois)["hooks"].size(), 11u);

    ASSERT_EQ(desinstalar(opcoes()).status, 0);
    EXPECT_EQ(ler(arquivo_), arquivoDoBeto);

    // On one line, the members are added on that line.
    escrever(arquivo_, "{\"a\": 1.50, \"b\": \"\\u00e9\"}");
    ASSERT_EQ(instalar(opcoes()).status, 0);
    const std::string linha = ler(arquivo_);
    EXPECT_EQ(linha.rfind("{\"a\": 1.50, \"b\": \"\\u00e9\", \"hooks\": {\"SessionStart\":[{\"hooks\":[", 0), 0u)
        << linha;
    EXPECT_EQ(linha.find('\n'), std::string::npos);
    ASSERT_EQ(desinstalar(opcoes()).status, 0);
    EXPECT_EQ(ler(arquivo_), "{\"a\": 1.50, \"b\": \"\\u00e9\"}");

    // A byte-order mark, which the parser skips, stays in front.
    escrever(arquivo_, "\xEF\xBB\xBF{\"a\": 1}");
    ASSERT_EQ(instalar(opcoes()).status, 0);
    ASSERT_EQ(desinstalar(opcoes()).status, 0);
    EXPECT_EQ(ler(arquivo_), "\xEF\xBB\xBF{\"a\": 1}");
}

TEST_F(Instalar, LinhaDeStatusDaPessoaFicaComoEsta) {
    escrever(arquivo_, configuracaoDaAna);  // has a statusLine of its own
    OpcoesInstalar o = opcoes();
    o.linha = true;
    o.kivo = "/opt/kivo/bin/kivo";
    const Resultado r = instalar(o);
    ASSERT_EQ(r.status, 0) << r.erros;
    EXPECT_EQ(Ordenado::parse(ler(arquivo_))["statusLine"], Ordenado::parse(configuracaoDaAna)["statusLine"]);
    EXPECT_NE(r.saida.find("printf '%s' \"$entrada\" | '/opt/kivo/bin/kivo' linha\n"), std::string::npos) << r.saida;
}

TEST_F(Instalar, ArquivoQueMudaAntesDaTrocaELidoDeNovo) {
    escrever(arquivo_, configuracaoDaAna);
    OpcoesInstalar o = opcoes();
    int vezes = 0;
    o.antesDeTrocar = [&] {
        // Claude Code saves /model between our reading and our rename, once.
        std::string outro = configuracaoDaAna;
        if (vezes++ == 0) escrever(arquivo_, outro.replace(outro.find("opus"), 4, "haiku"));
    };
    const Resultado r = instalar(o);
    ASSERT_EQ(r.status, 0) << r.erros;
    EXPECT_EQ(vezes, 2);
    const Ordenado config = Ordenado::parse(ler(arquivo_));
    EXPECT_EQ(config["model"], "haiku");
    EXPECT_EQ(config["hooks"].size(), 12u);
    // Only the copy of the file that was replaced stays.
    EXPECT_EQ(arquivos(), (std::vector<std::string>{"settings.json", "settings.json.kivo-backup-20251206-054640"}));
}

TEST_F(Instalar, RecusaComMensagemClara) {
    struct Caso {
        const char* nome;
        std::string gancho;
        mode_t modo;
        const char* trecho;
    };
    const Caso casos[] = {
        {"arquivo s\u00F3 de leitura", gancho, 0444, "s\u00F3 de leitura"},
        {"caminho que n\u00E3o \u00E9 UTF-8", "/opt/k\xE9vo/kivo_gancho", 0644, "n\u00E3o \u00E9 UTF-8"},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.nome);
        escrever(arquivo_, configuracaoDaAna);
        ASSERT_EQ(chmod(arquivo_.c_str(), c.modo), 0);
        OpcoesInstalar o = opcoes();
        o.gancho = c.gancho;
        const Resultado r = instalar(o);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.erros.find(c.trecho), std::string::npos) << r.erros;
        EXPECT_EQ(ler(arquivo_), configuracaoDaAna);
        EXPECT_EQ(arquivos(), std::vector<std::string>{"settings.json"});
        chmod(arquivo_.c_str(), 0644);
    }
}

TEST_F(Instalar, PastaDeDadosSoDoUsuario) {
    OpcoesInstalar o = opcoes();
    o.pastaDados = pasta_ / "dados" / ".kivo";
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
    fs::create_directories(cellar);
    fs::create_directories(bin);
    for (const char* nome : {"kivo", "kivo_gancho"}) {
        kivo::teste::escrever(cellar / nome, "");
        fs::permissions(cellar / nome, fs::perms::owner_all);
        fs::create_symlink("../Cellar/kivo/0.1.0/bin/" + std::string(nome), bin / nome);
    }
    const fs::path sozinho = raiz.raiz() / "sozinho";
    fs::create_directories(sozinho);
    fs::create_symlink(cellar / "kivo", sozinho / "kivo");  // no kivo_gancho beside it
    const fs::path resolvido = cellar / "kivo";
    struct Caso {
        std::string argv0;
        std::string path;
        fs::path esperado;
    };
    const Caso casos[] = {
        {(bin / "kivo").string(), "", bin / "kivo"},
        {(bin / "." / "kivo").string(), "", bin / "kivo"},
        {"kivo", "rel:" + bin.string(), bin / "kivo"},
        {"kivo", "", resolvido},
        {(sozinho / "kivo").string(), "", resolvido},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.argv0 + " PATH=" + c.path);
        EXPECT_EQ(kivo::app::executavelInvocado(c.argv0, c.path.c_str(), resolvido), c.esperado);
    }
}

TEST(Comandos, AspasDoShellEReconhecimento) {
    struct Caso {
        const char* caminho;
        const char* comando;
    };
    const Caso casos[] = {
        {"/usr/local/bin/kivo_gancho", "CLAUDE_PID=$PPID exec '/usr/local/bin/kivo_gancho'"},
        {"/home/ana/meus apps/kivo_gancho", "CLAUDE_PID=$PPID exec '/home/ana/meus apps/kivo_gancho'"},
        {"/tmp/it's/kivo_gancho", "CLAUDE_PID=$PPID exec '/tmp/it'\\''s/kivo_gancho'"},
        {"/opt/a$b/kivo_gancho", "CLAUDE_PID=$PPID exec '/opt/a$b/kivo_gancho'"},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.caminho);
        EXPECT_EQ(kivo::app::comandoPara(c.caminho), c.comando);
        EXPECT_TRUE(kivo::app::ehComandoDoGancho(c.comando));
    }

    struct Comando {
        const char* texto;
        bool nosso;
    };
    const Comando comandos[] = {
        {"kivo_gancho", true},
        {"  /x/kivo_gancho\t", true},
        {"CLAUDE_PID=$PPID exec /x/kivo_gancho", true},
        {"CLAUDE_PID=$PPID exec '/x/kivo_gancho' --depurar", false},
        {"CLAUDE_PID=$PPID exec '/x/kivo_gancho'; rm -rf ~", false},
        {"CLAUDE_PID=$(id) exec /x/kivo_gancho", false},
        {"\"/x y/kivo_gancho\"", true},
        {"/x\\ y/kivo_gancho", true},
        {"/x/kivo_gancho --depurar", false},
        {"/x/kivo_gancho; rm -rf ~", false},
        {"/x/kivo_gancho_velho", false},
        {"/x/kivo_gancho.sh", false},
        {"/x/kivo_gancho/outro", false},
        {"$HOME/kivo_gancho", false},
        {"'/x/kivo_gancho", false},
        {"", false},
    };
    for (const Comando& c : comandos) {
        SCOPED_TRACE(c.texto);
        EXPECT_EQ(kivo::app::ehComandoDoGancho(c.texto), c.nosso);
    }
    const Comando linhas[] = {
        {"'/opt/kivo/bin/kivo' linha", true},  {"kivo linha --tmux --largura 100", true},
        {"kivo linha; rm -rf ~", false},       {"~/.claude/linha.sh", false},
        {"/opt/kivo/bin/kivo painel", false},  {"/opt/kivo_gancho linha", false},
        {"kivo linha outra-coisa", false},     {"kivo", false},
    };
    for (const Comando& c : linhas) {
        SCOPED_TRACE(c.texto);
        EXPECT_EQ(kivo::app::ehComandoDaLinha(c.texto), c.nosso);
    }
}

}  // namespace
