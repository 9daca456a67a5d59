// kivo as a process, the way a user runs it: the command line of each subcommand, a
// session folder holding a FIFO, widths, and the status line fed Claude Code's own
// status-line object.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "kivo/armazem.hpp"
#include "pastas.hpp"
#include "processo.hpp"
#include "seguir.hpp"
#include "texto.hpp"

namespace fs = std::filesystem;
using kivo::Estado;
using kivo::Sessao;
using kivo::teste::Execucao;
using kivo::teste::rodar;

namespace {

// The session of the captured status-line object (kivo/tests/dados).
constexpr const char* estaSessao = "fd54bafe-d6c7-4ae4-af41-29fc9aa77228";

std::vector<std::string> linhas(const std::string& texto) {
    std::vector<std::string> lista;
    std::size_t inicio = 0;
    for (std::size_t fim; (fim = texto.find('\n', inicio)) != std::string::npos; inicio = fim + 1) {
        lista.push_back(texto.substr(inicio, fim - inicio));
    }
    return lista;
}

class Processo : public ::testing::Test {
protected:
    void SetUp() override {
        sessoes_ = pasta_.raiz() / "sessoes";
        const double agora = kivo::app::relogio();
        gravar("loja", "/home/ana/loja-virtual", Estado::atencao, "Quer permiss\u00E3o para rodar um comando", agora);
        gravar(estaSessao, "/home/ana/api-de-pagamentos-com-um-nome-bem-comprido", Estado::atencao,
               "Tem uma pergunta pra voc\u00EA", agora);
        gravar("site", "/home/ana/site", Estado::trabalhando, "Lendo arquivos", agora);
        gravar("antiga", "/home/ana/antiga", Estado::feito, "Feito", agora - 13 * 3600);
    }

    void gravar(const std::string& id, const std::string& cwd, Estado estado, const std::string& detalhe,
                double quando) const {
        Sessao s;
        s.id = id;
        s.cwd = cwd;
        s.estado = estado;
        s.detalhe = detalhe;
        s.atualizado = s.mudouEstadoEm = quando;
        kivo::Armazem(sessoes_).gravar(s);
    }

    // kivo (or kivo_gancho) with this folder as KIVO_DIR, under `timeout`, so that a
    // hang shows as status 124 instead of a test that never ends.
    Execucao kivo(std::vector<std::string> args, const std::string& entrada = "",
                  const std::string& programa = KIVO_EXECUTAVEL) const {
        args.insert(args.begin(), {"/usr/bin/timeout", "10", programa});
        return rodar({args, {{"KIVO_DIR", pasta_.raiz().string()}, {"HOME", pasta_.raiz().string()}, {"PATH", "/usr/bin:/bin"}}},
                     entrada);
    }

    kivo::teste::PastaTemporaria pasta_;
    fs::path sessoes_;
};

TEST_F(Processo, FifoNaPastaNaoPrendeNinguem) {
    ASSERT_EQ(mkfifo((sessoes_ / "x.json").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo((sessoes_ / "fila.json").c_str(), 0600), 0);
    const Execucao painel = kivo({"painel"});
    EXPECT_EQ(painel.status, 0);
    EXPECT_NE(painel.saida.find("loja-virtual"), std::string::npos) << painel.saida;
    EXPECT_NE(painel.saida.find("site"), std::string::npos) << painel.saida;

    // The hook for the session whose record is a FIFO: it must not wait on it while
    // holding the folder's lock, and its record replaces the FIFO.
    const Execucao gancho = kivo({}, R"({"hook_event_name":"SessionStart","session_id":"fila","cwd":"/tmp/f"})",
                                 KIVO_GANCHO);
    EXPECT_EQ(gancho.status, 0);
    struct stat info {};
    ASSERT_EQ(lstat((sessoes_ / "fila.json").c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));

    EXPECT_EQ(kivo({"linha"}).status, 0);
    EXPECT_EQ(kivo({"limpar", "--mostrar"}).status, 0);
}

// Every subcommand's options, one row each: what is accepted, what is refused.
TEST_F(Processo, LinhaDeComando) {
    const std::string arquivo = (pasta_.raiz() / "claude" / "settings.json").string();
    struct Caso {
        std::vector<std::string> args;
        int status;
        const char* naSaida;  // part of standard output ("" for none expected)
        const char* noErro;   // part of standard error ("" when it must be empty)
    };
    const Caso casos[] = {
        {{"painel"}, 0, "loja-virtual \u2014 Quer permiss\u00E3o", ""},
        {{"painel", "--todas"}, 0, "antiga", ""},
        {{"painel", "--largura", "20"}, 0, "    Quer permiss\u00E3o", ""},
        {{"painel", "--largura=0"}, 2, "", "--largura precisa de um n\u00FAmero"},
        {{"painel", "--largura"}, 2, "", "--largura precisa de um valor"},
        {{"painel", "--mostrar"}, 2, "", "op\u00E7\u00E3o desconhecida para painel: --mostrar"},
        {{"painel", "--ajuda"}, 0, "kivo painel --seguir", ""},
        {{"limpar", "--mostrar"}, 0, "Apagaria 1 registro", ""},
        {{"limpar", "--todas"}, 2, "", "op\u00E7\u00E3o desconhecida para limpar: --todas"},
        {{"linha", "--desconhecida"}, 0, "(O.O)!", ""},
        {{"instalar", "--arquivo=" + arquivo, "--gancho", KIVO_GANCHO, "--mostrar"}, 0, "Nada foi gravado", ""},
        {{"instalar", "--arquivo", arquivo, "--gancho"}, 2, "", "--gancho precisa de um valor"},
        {{"desinstalar", "--arquivo", arquivo, "--gancho", KIVO_GANCHO}, 2, "",
         "op\u00E7\u00E3o desconhecida para desinstalar: --gancho"},
        {{"desinstalar", "--linha"}, 2, "", "op\u00E7\u00E3o desconhecida para desinstalar: --linha"},
        {{"instalar", "--arquivo="}, 2, "", "--arquivo precisa de um caminho"},
        {{"olhar"}, 2, "", "comando desconhecido: olhar"},
    };
    for (const Caso& c : casos) {
        std::string rotulo;
        for (const std::string& a : c.args) rotulo += a + " ";
        SCOPED_TRACE(rotulo);
        const Execucao r = kivo(c.args);
        EXPECT_EQ(r.status, c.status) << r.erro;
        EXPECT_NE(r.saida.find(c.naSaida), std::string::npos) << r.saida;
        if (*c.noErro) {
            EXPECT_NE(r.erro.find(c.noErro), std::string::npos) << r.erro;
        } else {
            EXPECT_EQ(r.erro, "");
        }
    }
    EXPECT_FALSE(fs::exists(arquivo));
}

TEST_F(Processo, InstalarComLinhaGravaOsDoisMembros) {
    const fs::path arquivo = pasta_.raiz() / "claude" / "settings.json";
    const Execucao r = kivo({"instalar", "--linha", "--arquivo", arquivo.string(), "--gancho", KIVO_GANCHO});
    ASSERT_EQ(r.status, 0) << r.erro;
    const std::string texto = kivo::teste::conteudo(arquivo);
    EXPECT_NE(texto.find("\"command\": \"CLAUDE_PID=$PPID exec '" KIVO_GANCHO "'\""), std::string::npos) << texto;
    EXPECT_NE(texto.find("\"command\": \"'" KIVO_EXECUTAVEL "' linha\""), std::string::npos) << texto;
    struct stat info {};
    ASSERT_EQ(stat(pasta_.raiz().c_str(), &info), 0);  // KIVO_DIR existed: left as it was
}

TEST_F(Processo, PainelSeguirNumCanoMostraUmaVezEEsperaOSinal) {
    // With --todas it shows the old record, and leaves it; without, it cleans up at once.
    const Execucao todas = rodar({{"/usr/bin/timeout", "-s", "TERM", "1", KIVO_EXECUTAVEL, "painel", "--seguir",
                                   "--todas"},
                                  {{"KIVO_DIR", pasta_.raiz().string()}}});
    EXPECT_NE(todas.saida.find("antiga"), std::string::npos) << todas.saida;
    EXPECT_TRUE(fs::exists(sessoes_ / "antiga.json"));

    const Execucao r = rodar({{"/usr/bin/timeout", "-s", "TERM", "1", KIVO_EXECUTAVEL, "painel", "--seguir"},
                              {{"KIVO_DIR", pasta_.raiz().string()}}});
    EXPECT_FALSE(fs::exists(sessoes_ / "antiga.json"));
    EXPECT_EQ(r.status, 124);  // still running when the signal came
    EXPECT_EQ(r.saida.find("\x1b"), std::string::npos);
    const std::size_t primeira = r.saida.find("loja-virtual");
    ASSERT_NE(primeira, std::string::npos) << r.saida;
    EXPECT_EQ(r.saida.find("loja-virtual", primeira + 1), std::string::npos) << r.saida;
}

TEST_F(Processo, LarguraForcadaEDeCano) {
    for (const int largura : {40, 80, 120}) {
        SCOPED_TRACE(largura);
        const Execucao r = kivo({"painel", "--largura", std::to_string(largura)});
        for (const std::string& l : linhas(r.saida)) EXPECT_LE(kivo::app::larguraDe(l), largura) << l;
        // The status and the age are whole, on some line.
        EXPECT_NE(r.saida.find("Tem uma pergunta pra voc\u00EA"), std::string::npos) << r.saida;
        EXPECT_NE(r.saida.find("agora"), std::string::npos) << r.saida;
    }
    // A pipe without --largura gets whole lines.
    const Execucao cano = kivo({"painel"});
    EXPECT_NE(cano.saida.find("  ! api-de-pagamentos-com-um-nome-bem-comprido \u2014 Tem uma pergunta pra voc\u00EA \u00B7 agora\n"),
              std::string::npos)
        << cano.saida;
}

TEST_F(Processo, LinhaComOObjetoDoClaudeCode) {
    const std::string objeto = kivo::teste::conteudo(fs::path(KIVO_DADOS) / "claude-code-2.1.197-statusline.json");
    ASSERT_NE(objeto.find(estaSessao), std::string::npos);
    struct Caso {
        const char* nome;
        std::vector<std::string> args;
        std::string entrada;
        const char* saida;
    };
    const Caso casos[] = {
        {"esta sess\u00E3o fica de fora", {"linha"}, objeto,
         "(O.O)! \u00B7 loja-virtual: Quer permiss\u00E3o para rodar um comando \u00B7 1 trabalhando\n"},
        {"sem entrada, todas contam; o nome do projeto d\u00E1 lugar", {"linha"}, "",
         "(O.O)! \u00B7 api-de-pagamentos-c\u2026: Tem uma pergunta pra voc\u00EA \u00B7 +1 chamando\n"},
        {"entrada ileg\u00EDvel, 60 colunas", {"linha", "--largura", "60"}, "{\"session_id\": ",
         "(O.O)! \u00B7 api-de-pagamentos-c\u2026: Tem uma pergun\u2026 \u00B7 +1 chamando\n"},
        {"tmux", {"linha", "--tmux"}, objeto,
         "#[fg=yellow,bold](O.O)!#[default] \u00B7 #[fg=yellow,bold]loja-virtual: Quer permiss\u00E3o para rodar um "
         "comando#[default] \u00B7 #[fg=cyan]1 trabalhando#[default]\n"},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.nome);
        const Execucao r = kivo(c.args, c.entrada);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.erro, "");
        EXPECT_EQ(r.saida, c.saida);
    }
}

}  // namespace
