// The record store: file names from ids, reads and writes, updates under the lock (write faults: the hook's tests).
#include "kivo/armazem.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <fstream>

#include "pastas.hpp"
#include "processo.hpp"

namespace fs = std::filesystem;

namespace kivo {
namespace {
using teste::escrever;
using teste::nomesEm;
using Nomes = std::set<std::string>;

Sessao exemplo(std::string id, double t = 100) {
    return Sessao{.id = std::move(id), .cwd = "/p", .estado = Estado::trabalhando, .atualizado = t, .mudouEstadoEm = t};
}

TEST(NomeSeguro, SoLetrasMarcasNumerosESeparadores) {
    const std::string longo = std::string(60, '.') + "\u00e9" + std::string(120, 'b');
    const std::pair<std::string_view, std::string> casos[] = {
        {"fd54bafe-d6c7_4ae4", "fd54bafe-d6c7_4ae4"}, {"A.b/c d", "Abcd"}, {"", "sem-id"}, {"./../", "sem-id"},
        {"s\u00e3o_jos\u00e9", "s\u00e3o_jos\u00e9"}, {"sa\u0303o", "sa\u0303o"}, {"x\U0001F600:y\n\x01", "xy"},
        {"\xff\xfe", "sem-id"}, {"\u0661\u0662\u00bd", "\u0661\u0662\u00bd"}, {longo, "\u00e9" + std::string(99, 'b')},
        {std::string_view("ab-x", 2), "ab"},  // the id ends where its view ends
    };
    for (const auto& [id, esperado] : casos) EXPECT_EQ(Armazem::nomeSeguro(id), esperado) << id;
}

TEST(Armazem, GravarLerListarEApagar) {
    teste::PastaTemporaria t;
    const Armazem a(t.raiz() / "base" / "sessoes");
    EXPECT_FALSE(a.ler("x"));
    EXPECT_TRUE(a.lerTodas().empty());
    EXPECT_FALSE(fs::exists(t.raiz() / "base"));  // reading creates nothing
    a.gravar(exemplo("a.b"));
    EXPECT_EQ(teste::conteudo(a.pasta() / "ab.json"), paraJson(exemplo("a.b")));
    EXPECT_EQ(a.ler("ab"), exemplo("a.b"));
    // Only readable files whose extension is "json" are records.
    for (const char* id : {"dois.JSON", ".json", ".quatro.json"}) escrever(a.pasta() / id, paraJson(exemplo(id)));
    escrever(a.pasta() / "cinco.json", "{\"id\":");
    fs::create_directory(a.pasta() / "sete.json");
    Nomes ids;
    for (const auto& r : a.lerTodas()) ids.insert(r.id);
    EXPECT_EQ(ids, (Nomes{"a.b", ".quatro.json"}));
    a.apagar("a.b"), a.apagar("a.b");
    EXPECT_FALSE(a.ler("ab"));
}

TEST(Armazem, AtualizarSobATrava) {
    teste::PastaTemporaria t;
    const Armazem a(t.raiz() / "base" / "sessoes");
    a.atualizar("s", [](const std::optional<Sessao>& atual) { EXPECT_FALSE(atual); return Acao::ignorar(); });
    EXPECT_EQ(nomesEm(a.pasta()), Nomes{".trava"});
    // The action's record names the file, not the id argument.
    a.atualizar("s", [](const std::optional<Sessao>&) { return Acao::gravar(exemplo("outra")); });
    a.atualizar("outra", [](const std::optional<Sessao>& atual) { EXPECT_TRUE(atual); return Acao::apagar(); });
    EXPECT_FALSE(a.ler("outra"));
    // Failures are swallowed, and the lock is free after every path, also when it was taken on descriptor 0.
    a.gravar(exemplo("a"));
    a.atualizar("a", [](const std::optional<Sessao>&) { return Acao::gravar(exemplo("a", INFINITY)); });
    a.atualizar("s", [](const std::optional<Sessao>&) -> Acao { throw std::runtime_error("x"); });
    close(0);
    a.atualizar("s", [](const std::optional<Sessao>&) { return Acao::ignorar(); });
    EXPECT_EQ(a.ler("a"), exemplo("a"));
    const int fd = open((a.pasta() / ".trava").c_str(), O_RDWR | O_CLOEXEC);
    EXPECT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    close(fd);
}

int avisos = -1;  // a byte per signal handled, written by the handler

// Eight processes add 100 each under the lock: no update is lost, none let in early by a signal.
TEST(Armazem, ProcessosConcorrentesESinalNaEspera) {
    std::ifstream travas("/proc/locks");
    if (!travas) GTEST_SKIP() << "sem /proc/locks: nao ha como ver quem espera pela trava";
    teste::PastaTemporaria t;
    const Armazem a(t.raiz());
    a.gravar(exemplo("contador", 0));
    const int fd = open((t.raiz() / ".trava").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    int cano[2];
    ASSERT_EQ(pipe(cano), 0);
    avisos = cano[1];
    struct sigaction sinal {};
    sinal.sa_handler = [](int) { (void)!write(avisos, "x", 1); };  // no SA_RESTART: flock returns EINTR
    sigaction(SIGUSR1, &sinal, nullptr);
    std::vector<pid_t> filhos;
    for (int i = 0; i < 8; ++i) {
        if (const pid_t p = fork(); p != 0) { filhos.push_back(p); continue; }
        close(fd);  // the lock stays with the parent's descriptor
        for (int k = 0; k < 100; ++k)
            a.atualizar("contador", [](const std::optional<Sessao>& atual) {
                Sessao s = atual.value_or(exemplo("contador", 0));
                s.faseFerramenta = s.faseFerramenta.value_or(0) + 1;
                return Acao::gravar(s);
            });
        _exit(0);
    }
    // The children blocked on the lock, as the kernel lists them ("->" marks a waiter).
    const auto esperando = [&] {
        std::ifstream f("/proc/locks");
        std::size_t n = 0;
        for (std::string l; std::getline(f, l);)
            n += l.find("-> FLOCK") != std::string::npos &&
                 std::any_of(filhos.begin(), filhos.end(),
                             [&](pid_t p) { return l.find(" " + std::to_string(p) + " ") != std::string::npos; });
        return n;
    };
    EXPECT_TRUE(teste::esperarAte([&] { return esperando() == filhos.size(); }));
    for (pid_t p : filhos) kill(p, SIGUSR1);
    char b[8];
    for (std::size_t lidos = 0; lidos < sizeof b;) lidos += std::max<ssize_t>(read(cano[0], b, sizeof b - lidos), 0);
    EXPECT_TRUE(teste::esperarAte(
        [&] { return esperando() == filhos.size() || a.ler("contador") != exemplo("contador", 0); }));
    EXPECT_EQ(a.ler("contador"), exemplo("contador", 0));  // all still waiting for the lock
    close(fd);
    for (pid_t p : filhos) waitpid(p, nullptr, 0);
    EXPECT_EQ(a.ler("contador").value_or(Sessao{}).faseFerramenta, 800);
}
}  // namespace
}  // namespace kivo
