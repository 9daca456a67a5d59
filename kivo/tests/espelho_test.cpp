// Other machines' sessions: what a mirror file or a stream line may hold (untrusted),
// and `kivo espelhar` as a process against stand-ins for ssh: the real `kivo
// transmitir` over a pipe, and hostile or old far ends.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <string>
#include <vector>

#include "apresentacao/apresentacao.hpp"
#include "apresentacao/espelho.hpp"
#include "espelho/espelhar.hpp"
#include "kivo/armazem.hpp"
#include "pastas.hpp"
#include "processo.hpp"

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

std::string registro(const std::string& id, int pid = 0, const std::string& cwd = "/srv/api") {
    kivo::Sessao s{.id = id, .cwd = cwd, .estado = kivo::Estado::trabalhando, .atualizado = 1000, .mudouEstadoEm = 990};
    if (pid) s.pid = pid;
    return kivo::paraJson(s);
}

std::vector<std::string> ids(const std::vector<kivo::Sessao>& sessoes) {
    std::vector<std::string> r;
    for (const auto& s : sessoes) r.push_back(s.id);
    return r;
}

struct CasoConjunto {
    const char* nome;
    std::string texto;
    bool aceito;
    std::vector<std::string> ids;
    std::set<std::int32_t> vivos;
};

TEST(Espelho, OQueUmaOutraMaquinaMandaEhLidoComoNaoConfiavel) {
    const std::string a = registro("a", 7), b = registro("b", 8);
    const CasoConjunto casos[] = {
        {.nome = "normal", .texto = "{\"sessoes\":[" + a + "," + b + "],\"vivos\":[7]}", .aceito = true,
         .ids = {"a", "b"}, .vivos = {7}},
        {.nome = "id com barra e com pontos", .texto = "{\"sessoes\":[" + registro("../x") + "," + registro("a/b") +
                                                      "," + registro("..") + "," + a + "],\"vivos\":[]}",
         .aceito = true, .ids = {"a"}},
        {.nome = "o mesmo id duas vezes", .texto = "{\"sessoes\":[" + a + "," + registro("a", 9) + "],\"vivos\":[9]}",
         .aceito = true, .ids = {"a"}},
        {.nome = "pid vivo sem registro, fora do alcance, texto", .texto =
             "{\"sessoes\":[" + a + "],\"vivos\":[1,4294967303,\"7\",-1]}", .aceito = true, .ids = {"a"}},
        {.nome = "registro que n\u00E3o decodifica", .texto = "{\"sessoes\":[{\"id\":\"x\"},3,\"y\"," + a + "]}",
         .aceito = true, .ids = {"a"}},
        {.nome = "sem sess\u00F5es", .texto = "{\"agora\":5}", .aceito = false},
        {.nome = "n\u00E3o \u00E9 um objeto", .texto = "[1,2]", .aceito = false},
        {.nome = "JSON cortado", .texto = "{\"sessoes\":[" + a, .aceito = false},
    };
    for (const CasoConjunto& c : casos) {
        SCOPED_TRACE(c.nome);
        const auto lido = kivo::app::lerConjunto(c.texto);
        ASSERT_EQ(lido.has_value(), c.aceito);
        if (!lido) continue;
        EXPECT_EQ(ids(lido->sessoes), c.ids);
        EXPECT_EQ(lido->vivos, c.vivos);
    }
}

TEST(Espelho, TextosLongosChegamCortadosEOArquivoDaMaquinaEhPrivado) {
    kivo::teste::PastaTemporaria pasta;
    const fs::path espelhos = pasta.raiz() / "dados" / "espelhos";
    kivo::Sessao longa{.id = "longa", .cwd = "/srv/" + std::string(100000, 'x') + "/api-pagamentos",
                       .titulo = std::string(100000, 'y'), .atualizado = 5, .mudouEstadoEm = 5, .pid = 42};
    kivo::app::Maquina m{.nome = "gpu-box", .contato = 100, .conectado = true, .sessoes = {longa}, .vivos = {42, 43}};
    ASSERT_TRUE(kivo::app::gravarMaquina(espelhos, m));
    struct stat info {};
    ASSERT_EQ(stat(espelhos.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    ASSERT_EQ(stat((espelhos / "gpu-box.json").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0077, 0u);
    const auto maquinas = kivo::app::lerMaquinas(espelhos);
    ASSERT_EQ(maquinas.size(), 1u);
    const kivo::app::Maquina& lida = maquinas[0];
    EXPECT_EQ(lida.nome, "gpu-box");
    EXPECT_EQ(lida.vivos, std::set<std::int32_t>{42});
    ASSERT_EQ(lida.sessoes.size(), 1u);
    EXPECT_LE(lida.sessoes[0].cwd.size(), kivo::app::kTextoExibido + 3);
    EXPECT_EQ(lida.sessoes[0].projeto(), "api-pagamentos");
    EXPECT_LE(lida.sessoes[0].titulo->size(), kivo::app::kTextoExibido + 3);
    EXPECT_TRUE(kivo::app::vivoNaMaquina(lida)(42));
    EXPECT_FALSE(kivo::app::vivoNaMaquina(lida)(getpid()));  // never a local check
    EXPECT_FALSE(kivo::app::semContato(lida, 100 + kivo::app::kSilencioMaximo));
    EXPECT_TRUE(kivo::app::semContato(lida, 101 + kivo::app::kSilencioMaximo));
    kivo::app::apagarMaquina(espelhos, "gpu-box");
    EXPECT_TRUE(kivo::app::lerMaquinas(espelhos).empty());
}

TEST(Espelho, ALinhaDeComandoDoSsh) {
    kivo::app::OpcoesEspelhar o;
    o.ssh = kivo::app::comandoSsh("  ssh  -F /tmp/outra ");
    o.remoto = "/opt/o'kivo";
    EXPECT_THAT(kivo::app::linhaDeComando(o, "-oProxyCommand=x"),
                ElementsAre("ssh", "-F", "/tmp/outra", "-o", "BatchMode=yes", "-o", "ServerAliveInterval=15", "-o",
                            "ServerAliveCountMax=3", "-T", "--", "-oProxyCommand=x", "'/opt/o'\\''kivo' transmitir"));
    EXPECT_THAT(kivo::app::comandoSsh(nullptr), ElementsAre("ssh"));
    EXPECT_THAT(kivo::app::comandoSsh(" "), ElementsAre("ssh"));
}

// `kivo espelhar` against a stand-in for ssh: it drops the options up to "--" and the
// machine's name, and runs what the far end would, here.
class Espelhar : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(remoto_ / "sessoes");
        kivo::teste::escrever(pasta_.raiz() / "ssh",
                              "#!/bin/sh\n"
                              "while [ \"$1\" != -- ]; do shift; done\n"
                              "shift; shift\n"
                              "echo \"$*\" >> \"$CONEXOES\"\n"
                              "if [ -n \"$REMOTO\" ]; then exec sh -c \"$REMOTO\"; fi\n"
                              "PATH=\"$KIVO_BIN:$PATH\" KIVO_DIR=\"$KIVO_REMOTO\" exec sh -c \"$*\"\n");
        fs::permissions(pasta_.raiz() / "ssh", fs::perms::owner_all);
    }
    kivo::teste::Processo iniciar(const std::string& remoto = "", std::vector<std::string> args = {"gpu-box"}) {
        args.insert(args.begin(), {KIVO_EXECUTAVEL, "espelhar"});
        return kivo::teste::iniciar(
            {args,
             {{"KIVO_DIR", (pasta_.raiz() / "local").string()}, {"HOME", pasta_.raiz().string()},
              {"PATH", "/usr/bin:/bin"}, {"KIVO_SSH", (pasta_.raiz() / "ssh").string()},
              {"KIVO_BIN", fs::path(KIVO_EXECUTAVEL).parent_path().string()}, {"KIVO_REMOTO", remoto_.string()},
              {"CONEXOES", (pasta_.raiz() / "conexoes").string()}, {"REMOTO", remoto}},
             true});
    }
    std::optional<kivo::app::Maquina> maquina() const {
        for (auto& m : kivo::app::lerMaquinas(pasta_.raiz() / "local" / "espelhos")) return m;
        return std::nullopt;
    }
    bool esperar(const std::function<bool(const kivo::app::Maquina&)>& condicao) const {
        return kivo::teste::esperarAte([&] {
            const auto m = maquina();
            return m && condicao(*m);
        }, std::chrono::seconds(10));
    }
    static std::string parar(kivo::teste::Processo p) {
        kill(p.pid, SIGTERM);
        const kivo::teste::Execucao fim = kivo::teste::terminar(p, "");
        EXPECT_EQ(fim.status, 0);
        return fim.erro;
    }
    kivo::teste::PastaTemporaria pasta_;
    fs::path remoto_ = pasta_.raiz() / "remoto";
};

TEST_F(Espelhar, SegueAsMudancasDeLaEAoPararDizQueParou) {
    kivo::Armazem armazem(remoto_ / "sessoes");
    const double agora = kivo::app::relogio();
    armazem.gravar({.id = "a", .cwd = "/srv/api", .estado = kivo::Estado::trabalhando, .atualizado = agora,
                    .mudouEstadoEm = agora, .pid = getpid()});
    armazem.gravar({.id = "b", .cwd = "/srv/web", .estado = kivo::Estado::feito, .atualizado = agora,
                    .mudouEstadoEm = agora, .pid = 0x7ffffff0});
    const kivo::teste::Processo p = iniciar();
    ASSERT_TRUE(esperar([](const auto& m) { return m.conectado && m.sessoes.size() == 2; }));
    // Liveness as over there (here, that machine is this one): b's pid does not run.
    EXPECT_EQ(maquina()->vivos, std::set<std::int32_t>{getpid()});
    armazem.apagar("b");
    armazem.gravar({.id = "c", .cwd = "/srv/c", .estado = kivo::Estado::atencao, .atualizado = agora,
                    .mudouEstadoEm = agora});
    EXPECT_TRUE(esperar([](const auto& m) {
        std::vector<std::string> r;
        for (const auto& s : m.sessoes) r.push_back(s.id);
        std::sort(r.begin(), r.end());
        return r == std::vector<std::string>{"a", "c"};
    }));
    const std::string erros = parar(p);
    EXPECT_THAT(erros, HasSubstr("gpu-box: 2 sess\u00F5es"));
    const auto m = maquina();
    ASSERT_TRUE(m);
    EXPECT_FALSE(m->conectado);
    EXPECT_EQ(m->aviso, "kivo espelhar parou");
}

TEST_F(Espelhar, ORelogioDeLaDuasHorasAtrasadoEhCorrigido) {
    const double agora = kivo::app::relogio();
    const double la = agora - 7200;
    const std::string linha = "{\"agora\":" + std::to_string(la) + ",\"sessoes\":[" +
                              kivo::paraJson({.id = "a", .cwd = "/srv/api", .estado = kivo::Estado::trabalhando,
                                              .atualizado = la - 60, .mudouEstadoEm = la - 60}) +
                              "],\"vivos\":[]}";
    const kivo::teste::Processo p =
        iniciar("echo '{\"kivo\":\"espelho\",\"versao\":1}'; echo '" + linha + "'; sleep 30");
    ASSERT_TRUE(esperar([](const auto& m) { return m.sessoes.size() == 1; }));
    const kivo::Sessao s = maquina()->sessoes[0];
    EXPECT_NEAR(s.atualizado, agora - 60, 5);
    EXPECT_NEAR(s.mudouEstadoEm, agora - 60, 5);
    parar(p);
}

struct CasoHostil {
    const char* nome;
    std::string remoto;  // what the far end runs
    std::string aviso;   // part of what the views are told
};

TEST_F(Espelhar, OutraPontaHostilOuAntigaDaUmaMensagemENadaMais) {
    const std::string cabecalho = "echo '{\"kivo\":\"espelho\",\"versao\":1}'; ";
    const CasoHostil casos[] = {
        {.nome = "linha sem fim", .remoto = cabecalho + "head -c 6000000 /dev/zero | tr '\\0' x; sleep 30",
         .aviso = "linha de mais de 4 MiB"},
        {.nome = "outra coisa", .remoto = "echo Bem-vindo ao servidor; sleep 30", .aviso = "n\u00E3o \u00E9 o kivo"},
        {.nome = "vers\u00E3o nova", .remoto = "echo '{\"kivo\":\"espelho\",\"versao\":2}'; sleep 30",
         .aviso = "vers\u00E3o 2 do espelho"},
        {.nome = "kivo antigo", .remoto = "echo 'kivo: comando desconhecido: transmitir' >&2; exit 2",
         .aviso = "n\u00E3o conhece \"transmitir\""},
        {.nome = "sem kivo l\u00E1", .remoto = "exit 127", .aviso = "n\u00E3o achei kivo"},
        {.nome = "ssh n\u00E3o conecta",
         .remoto = "echo 'ssh: connect to host gpu-box port 22: Connection refused' >&2; exit 255",
         .aviso = "ssh: connect to host gpu-box port 22: Connection refused"},
        {.nome = "linha que n\u00E3o \u00E9 JSON", .remoto = cabecalho + "echo '{\"agora\":'; sleep 30",
         .aviso = "n\u00E3o entendi"},
    };
    for (const CasoHostil& c : casos) {
        SCOPED_TRACE(c.nome);
        const kivo::teste::Processo p = iniciar(c.remoto);
        EXPECT_TRUE(esperar([&](const auto& m) { return m.aviso.find(c.aviso) != std::string::npos; }))
            << (maquina() ? maquina()->aviso : "");
        const auto m = maquina();
        ASSERT_TRUE(m);
        EXPECT_FALSE(m->conectado);
        EXPECT_TRUE(m->sessoes.empty());
        EXPECT_THAT(parar(p), HasSubstr("gpu-box: sem contato ("));
    }
}

TEST_F(Espelhar, QuemCaiEhProcuradoDeNovoEVoltaInteiro) {
    const double agora = kivo::app::relogio();
    kivo::Armazem armazem(remoto_ / "sessoes");
    armazem.gravar({.id = "a", .cwd = "/srv/api", .estado = kivo::Estado::atencao, .atualizado = agora,
                    .mudouEstadoEm = agora});
    // The far end ends after its first lines, as a dropped connection does.
    const kivo::teste::Processo p =
        iniciar("PATH=\"$KIVO_BIN:$PATH\" KIVO_DIR=\"$KIVO_REMOTO\" timeout 0.5 kivo transmitir");
    ASSERT_TRUE(esperar([](const auto& m) { return m.sessoes.size() == 1; }));
    ASSERT_TRUE(esperar([](const auto& m) { return !m.conectado; }));
    EXPECT_EQ(maquina()->sessoes.size(), 1u) << "kept, marked out of contact";
    armazem.apagar("a");  // while it was away
    EXPECT_TRUE(esperar([](const auto& m) { return m.conectado && m.sessoes.empty(); }));
    const std::string erros = parar(p);
    EXPECT_THAT(erros, HasSubstr("nova tentativa em 1 s"));
    const std::string conexoes = kivo::teste::conteudo(pasta_.raiz() / "conexoes");
    EXPECT_GE(std::count(conexoes.begin(), conexoes.end(), '\n'), 2) << conexoes;
}

}  // namespace

namespace {

// Beside this machine's records: labelled, liveness as over there, out of contact
// never working.
TEST(Espelho, ComoAsVistasMostramAsSessoesDeOutraMaquina) {
    const double agora = 1765000000;
    const kivo::Sessao a{.id = "a", .cwd = "/srv/api-pagamentos", .estado = kivo::Estado::trabalhando,
                         .atualizado = agora, .mudouEstadoEm = agora, .pid = 10};
    kivo::Sessao b = a, c = a;
    b.id = "b", b.pid = 11, b.estado = kivo::Estado::atencao;
    c.id = "c", c.pid.reset();
    const kivo::app::Maquina perto{.nome = "gpu/box", .contato = agora - 5, .conectado = true, .sessoes = {a, b, c},
                                   .vivos = {10}};
    kivo::app::Maquina longe = perto;
    longe.nome = "dev", longe.contato = agora - 180;
    const auto e = kivo::app::espelhadas({perto, longe}, agora);
    ASSERT_EQ(e.sessoes.size(), 6u);
    EXPECT_EQ(e.sessoes[0].id, "a@gpu/box");
    EXPECT_EQ(e.sessoes[0].projeto(), "gpu-box \u00B7 api-pagamentos");
    EXPECT_EQ(e.sessoes[0].pid, std::nullopt);                          // runs over there
    EXPECT_EQ(e.sessoes[1].pid, kivo::app::kPidEncerrado);             // ended over there
    EXPECT_FALSE(kivo::app::processoExiste(kivo::app::kPidEncerrado));  // nor here
    EXPECT_EQ(e.sessoes[2].pid, std::nullopt);
    EXPECT_EQ(e.sessoes[0].estado, kivo::Estado::trabalhando);
    EXPECT_EQ(e.sessoes[3].estado, kivo::Estado::ocioso);  // out of contact: not working
    EXPECT_EQ(e.sessoes[4].estado, kivo::Estado::atencao);
    const kivo::app::Remota& r = e.remotas.at("a@dev");
    EXPECT_EQ(r.id, "a");
    EXPECT_TRUE(r.semContato);
    EXPECT_FALSE(e.remotas.at("a@gpu/box").semContato);
    EXPECT_EQ(kivo::app::semContatoCom(r, agora), "sem contato com dev h\u00E1 3 min");
}

}  // namespace

// What every view shows of a mirror: the machine in the name, its own liveness, the
// machine out of contact said as such; `kivo ir` runs over there through ssh.
TEST_F(Espelhar, AsVistasDaquiMostramAsOutrasMaquinas) {
    const double agora = kivo::app::relogio();
    const fs::path espelhos = pasta_.raiz() / "local" / "espelhos";
    const auto sessao = [&](const char* id, const char* projeto, kivo::Estado estado) {
        return kivo::Sessao{.id = id, .cwd = std::string("/srv/") + projeto, .estado = estado,
                            .detalhe = "Quer permiss\u00E3o", .atualizado = agora - 30, .mudouEstadoEm = agora - 30,
                            .pid = 77};
    };
    ASSERT_TRUE(kivo::app::gravarMaquina(espelhos, {.nome = "gpu-box", .contato = agora, .conectado = true,
                                                    .sessoes = {sessao("a1b2c3d4", "api", kivo::Estado::atencao)},
                                                    .vivos = {77}}));
    ASSERT_TRUE(kivo::app::gravarMaquina(espelhos, {.nome = "dev", .contato = agora - 200, .conectado = false,
                                                    .aviso = "ssh: connect to host dev port 22: Connection refused",
                                                    .sessoes = {sessao("e5f6", "web", kivo::Estado::trabalhando)},
                                                    .vivos = {77}}));
    const std::map<std::string, std::string> ambiente = {
        {"KIVO_DIR", (pasta_.raiz() / "local").string()}, {"HOME", pasta_.raiz().string()}, {"PATH", "/usr/bin:/bin"},
        {"KIVO_SSH", (pasta_.raiz() / "ssh").string()}, {"CONEXOES", (pasta_.raiz() / "conexoes").string()},
        {"REMOTO", "echo 'Fui para api: tmux, sess\u00E3o \u201Cum\u201D, janela 0, painel 1.'"}};
    const auto painel = kivo::teste::rodar({{KIVO_EXECUTAVEL, "painel", "--largura", "100"}, ambiente});
    EXPECT_THAT(painel.saida, HasSubstr("gpu-box \u00B7 api \u2014 Quer permiss\u00E3o"));
    EXPECT_THAT(painel.saida, HasSubstr("dev \u00B7 web\n    sem contato com dev h\u00E1 3 min: ssh: connect to host dev port 22"));
    EXPECT_THAT(painel.saida, Not(HasSubstr("processo encerrado")));
    EXPECT_THAT(painel.saida, HasSubstr("precisa de voc\u00EA"));  // the mood spans machines
    const auto linha = kivo::teste::rodar({{KIVO_EXECUTAVEL, "linha"}, ambiente});
    EXPECT_THAT(linha.saida, HasSubstr("gpu-box \u00B7 api"));
    const auto ir = kivo::teste::rodar({{KIVO_EXECUTAVEL, "ir", "a1b2c3d4@gpu-box"}, ambiente});
    EXPECT_EQ(ir.status, 0) << ir.erro;
    EXPECT_THAT(kivo::teste::conteudo(pasta_.raiz() / "conexoes"), HasSubstr("'kivo' ir 'a1b2c3d4'"));
}

// One command does it: the panel starts the mirror, a remote agent that needs you is
// news here, and the mirror ends with the panel.
TEST_F(Espelhar, PainelSeguirComMaquinaAvisaDoQueAconteceLa) {
    const kivo::teste::Processo p = kivo::teste::iniciar(
        {{KIVO_EXECUTAVEL, "painel", "--seguir", "--maquina", "gpu-box"},
         {{"KIVO_DIR", (pasta_.raiz() / "local").string()}, {"HOME", pasta_.raiz().string()},
          {"PATH", "/usr/bin:/bin"}, {"KIVO_SSH", (pasta_.raiz() / "ssh").string()},
          {"KIVO_BIN", fs::path(KIVO_EXECUTAVEL).parent_path().string()}, {"KIVO_REMOTO", remoto_.string()},
          {"CONEXOES", (pasta_.raiz() / "conexoes").string()}},
         true});
    ASSERT_TRUE(esperar([](const auto& m) { return m.conectado; }));
    const std::string chamou = R"({"hook_event_name":"Notification","session_id":"s1","cwd":"/srv/api",)"
                               R"("message":"Claude needs your permission to use Bash"})";
    kivo::teste::rodar({{KIVO_GANCHO}, {{"KIVO_DIR", remoto_.string()}, {"PATH", "/usr/bin:/bin"}}}, chamou);
    std::string saida;
    EXPECT_TRUE(kivo::teste::lerAte(p.saida, saida, "gpu-box \u00B7 api precisa de voc\u00EA")) << saida;
    kill(p.pid, SIGTERM);
    EXPECT_EQ(kivo::teste::terminar(p, "").status, 0);
    EXPECT_TRUE(esperar([](const auto& m) { return m.aviso == "kivo espelhar parou"; }));
}
