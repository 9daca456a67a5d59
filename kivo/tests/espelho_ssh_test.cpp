// `kivo espelhar` through a real OpenSSH: an sshd of the test's own on 127.0.0.1 (its
// host key, an authorized key, a config of its own), reached with the user's ssh and
// a config file of the test's (KIVO_SSH="ssh -F ..."). The far end runs in a PID
// namespace of its own where it can, so a pid checked here would give the wrong
// answer. Skipped, with the reason, where sshd cannot start.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <string>

#include "apresentacao/apresentacao.hpp"
#include "apresentacao/espelho.hpp"
#include "kivo/armazem.hpp"
#include "pastas.hpp"
#include "processo.hpp"

namespace fs = std::filesystem;
using ::testing::HasSubstr;

namespace {

int portaLivre() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t n = sizeof a;
    int porta = 0;
    if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr*>(&a), &n) == 0) {
        porta = ntohs(a.sin_port);
    }
    close(s);
    return porta;
}

int sh(const std::string& comando) {
    return kivo::teste::rodar({{"/bin/sh", "-c", comando}, {{"PATH", "/usr/sbin:/usr/bin:/sbin:/bin"}}}).status;
}

class EspelharPeloSsh : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists("/usr/sbin/sshd")) GTEST_SKIP() << "sem /usr/sbin/sshd (openssh-server)";
        if (getuid() != 0) GTEST_SKIP() << "o sshd de teste precisa de root (separa\u00E7\u00E3o de privil\u00E9gios)";
        porta_ = portaLivre();
        const std::string d = dir_.string();
        fs::create_directories(remoto_ / "sessoes");
        fs::create_directories("/run/sshd");
        ASSERT_EQ(sh("ssh-keygen -q -t ed25519 -N '' -f " + d + "/chave_do_servidor && ssh-keygen -q -t ed25519 -N '' -f " +
                     d + "/chave && cp " + d + "/chave.pub " + d + "/autorizadas && chmod 600 " + d + "/autorizadas"),
                  0);
        kivo::teste::escrever(dir_ / "sshd_config",
                              "Port " + std::to_string(porta_) + "\nListenAddress 127.0.0.1\nHostKey " + d +
                                  "/chave_do_servidor\nAuthorizedKeysFile " + d +
                                  "/autorizadas\nPidFile " + d + "/sshd.pid\nStrictModes no\nUsePAM no\n"
                                  "PasswordAuthentication no\nKbdInteractiveAuthentication no\n"
                                  "PermitRootLogin prohibit-password\nLogLevel ERROR\n");
        kivo::teste::escrever(dir_ / "known_hosts",
                              "[127.0.0.1]:" + std::to_string(porta_) + " " +
                                  kivo::teste::conteudo(dir_ / "chave_do_servidor.pub"));
        kivo::teste::escrever(dir_ / "ssh_config",
                              "Host maquina-de-teste\n  HostName 127.0.0.1\n  Port " + std::to_string(porta_) +
                                  "\n  User root\n  IdentityFile " + d + "/chave\n  IdentitiesOnly yes\n"
                                  "  UserKnownHostsFile " + d + "/known_hosts\n  StrictHostKeyChecking yes\n"
                                  "  ConnectTimeout 5\n");
        // kivo over there, with its own data folder; in a PID namespace of its own when
        // this machine allows one.
        namespaceProprio_ = sh("unshare --pid --fork --mount-proc true") == 0;
        kivo::teste::escrever(remotoKivo_, std::string("#!/bin/sh\n") + "export KIVO_DIR='" + remoto_.string() + "'\n" +
                                               (namespaceProprio_ ? "exec unshare --pid --fork --mount-proc " : "exec ") +
                                               "'" KIVO_EXECUTAVEL "' \"$@\"\n");
        fs::permissions(remotoKivo_, fs::perms::owner_all);
        ASSERT_TRUE(iniciarSshd()) << "o sshd de teste n\u00E3o abriu a porta " << porta_;
    }
    void TearDown() override { pararSshd(); }

    bool iniciarSshd() {
        if (sh("/usr/sbin/sshd -f " + (dir_ / "sshd_config").string()) != 0) return false;
        return kivo::teste::esperarAte([&] { return sh("ssh -F " + (dir_ / "ssh_config").string() +
                                                       " -o BatchMode=yes maquina-de-teste true") == 0; },
                                       std::chrono::seconds(10));
    }
    // The listener and every connection it took (its children).
    void pararSshd() {
        std::string pid = kivo::teste::conteudo(dir_ / "sshd.pid");
        pid = pid.substr(0, pid.find('\n'));
        if (!pid.empty()) sh("pkill -KILL -P " + pid + "; kill -KILL " + pid);
        fs::remove(dir_ / "sshd.pid");
    }

    kivo::teste::Processo espelhar() {
        return kivo::teste::iniciar({{KIVO_EXECUTAVEL, "espelhar", "--kivo-remoto", remotoKivo_.string(), "maquina-de-teste"},
                                     {{"KIVO_DIR", (dir_ / "local").string()}, {"HOME", dir_.string()},
                                      {"PATH", "/usr/bin:/bin"}, {"KIVO_SSH", "ssh -F " + (dir_ / "ssh_config").string()}},
                                     true});
    }
    std::optional<kivo::app::Maquina> maquina() const {
        for (auto& m : kivo::app::lerMaquinas(dir_ / "local" / "espelhos")) return m;
        return std::nullopt;
    }
    bool esperar(const std::function<bool(const kivo::app::Maquina&)>& condicao, int segundos = 15) const {
        return kivo::teste::esperarAte([&] {
            const auto m = maquina();
            return m && condicao(*m);
        }, std::chrono::seconds(segundos));
    }

    kivo::teste::PastaTemporaria pasta_;
    fs::path dir_ = pasta_.raiz();
    fs::path remoto_ = dir_ / "remoto";
    fs::path remotoKivo_ = dir_ / "kivo-remoto";
    int porta_ = 0;
    bool namespaceProprio_ = false;
};

TEST_F(EspelharPeloSsh, EventosDeLaChegamAquiEQuemCaiVoltaInteiro) {
    kivo::Armazem armazem(remoto_ / "sessoes");
    const double agora = kivo::app::relogio();
    // Alive here (this test), not over there when it has a PID namespace of its own;
    // pid 1 over there is its own first process.
    armazem.gravar({.id = "daqui", .cwd = "/srv/daqui", .estado = kivo::Estado::trabalhando, .atualizado = agora,
                    .mudouEstadoEm = agora, .pid = getpid()});
    armazem.gravar({.id = "dela", .cwd = "/srv/dela", .estado = kivo::Estado::trabalhando, .atualizado = agora,
                    .mudouEstadoEm = agora, .pid = 1});
    kivo::teste::Processo p = espelhar();
    ASSERT_TRUE(esperar([](const auto& m) { return m.conectado && m.sessoes.size() == 2; }))
        << (maquina() ? maquina()->aviso : "sem arquivo");
    if (namespaceProprio_) {
        EXPECT_EQ(maquina()->vivos, std::set<std::int32_t>{1});
    }

    // A hook event over there.
    const auto r = kivo::teste::rodar({{KIVO_GANCHO}, {{"KIVO_DIR", remoto_.string()}, {"PATH", "/usr/bin:/bin"}}},
                                      R"({"hook_event_name":"Notification","session_id":"dela",)"
                                      R"("message":"Claude needs your permission to use Bash"})");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(esperar([](const auto& m) {
        for (const auto& s : m.sessoes) {
            if (s.id == "dela") return s.estado == kivo::Estado::atencao;
        }
        return false;
    }));

    // The server goes away: said at once, with ssh's own words.
    pararSshd();
    EXPECT_TRUE(esperar([](const auto& m) { return !m.conectado && !m.aviso.empty(); }));
    armazem.apagar("daqui");  // while it is away
    ASSERT_TRUE(iniciarSshd());
    EXPECT_TRUE(esperar([](const auto& m) { return m.conectado && m.sessoes.size() == 1; }, 30))
        << (maquina() ? maquina()->aviso : "");
    kill(p.pid, SIGTERM);
    const auto fim = kivo::teste::terminar(p, "");
    EXPECT_EQ(fim.status, 0);
    EXPECT_THAT(fim.erro, HasSubstr("maquina-de-teste: sem contato ("));
}

}  // namespace
