#include "kivo/armazem.hpp"
#include "kivo/caminhos.hpp"

#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

#include "arquivos.hpp"
#include "pastas.hpp"

namespace fs = std::filesystem;

namespace kivo {
namespace {

using teste::PastaTemporaria;
using teste::conteudo;
using teste::escrever;
using teste::nomesEm;

Sessao exemplo(std::string id, double t = 100) {
    return Sessao{.id = std::move(id), .cwd = "/p", .estado = Estado::trabalhando, .atualizado = t,
                  .mudouEstadoEm = t};
}

TEST(NomeSeguro, CodigosMantidos) {
    struct Caso {
        std::string id;
        std::string esperado;
    } casos[] = {
        {"fd54bafe-d6c7-4ae4-af41-29fc9aa77228", "fd54bafe-d6c7-4ae4-af41-29fc9aa77228"},
        {"a.b/c d", "abcd"},
        {"", "sem-id"},
        {"./../", "sem-id"},
        {"s\u00e3o_jos\u00e9", "s\u00e3o_jos\u00e9"},
        {"sa\u0303o", "sa\u0303o"},
        {"x\U0001F600:y\n\x01", "xy"},
        {"\xff\xfe", "sem-id"},
        {"\u0661\u0662\u00bd", "\u0661\u0662\u00bd"},
        {std::string(150, 'a'), std::string(100, 'a')},
        {std::string(60, '.') + "\u00e9" + std::string(120, 'b'), "\u00e9" + std::string(99, 'b')},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.id);
        EXPECT_EQ(Armazem::nomeSeguro(c.id), c.esperado);
    }
}

TEST(Armazem, GravarLerEApagar) {
    PastaTemporaria t;
    const Armazem a(t.raiz() / "base" / "sessoes");
    EXPECT_FALSE(a.ler("x"));
    EXPECT_TRUE(a.lerTodas().empty());
    EXPECT_FALSE(fs::exists(t.raiz() / "base"));  // reading creates nothing

    Sessao s = exemplo("a.b");
    a.gravar(s);
    EXPECT_EQ(nomesEm(a.pasta()), std::set<std::string>{"ab.json"});
    EXPECT_EQ(conteudo(a.pasta() / "ab.json"), paraJson(s));
    EXPECT_EQ(a.ler("ab"), s);  // the stored id is not compared

    Sessao outra = exemplo("ab", 200);
    a.gravar(outra);
    EXPECT_EQ(a.ler("a.b"), outra);
    a.apagar("a.b");
    a.apagar("a.b");
    EXPECT_FALSE(a.ler("ab"));
    EXPECT_TRUE(nomesEm(a.pasta()).empty());
}

TEST(Armazem, LerTodasSoArquivosJson) {
    PastaTemporaria t;
    const Armazem a(t.raiz());
    a.gravar(exemplo("um"));
    escrever(t.raiz() / "dois.JSON", paraJson(exemplo("dois")));
    escrever(t.raiz() / "tres.json.bak", paraJson(exemplo("tres")));
    escrever(t.raiz() / ".json", paraJson(exemplo("quatro")));
    escrever(t.raiz() / ".cinco.json", paraJson(exemplo("cinco")));
    escrever(t.raiz() / "seis.json", "{\"id\":");
    escrever(t.raiz() / ".trava", "");
    fs::create_directory(t.raiz() / "sete.json");
    std::set<std::string> ids;
    for (const auto& s : a.lerTodas()) ids.insert(s.id);
    EXPECT_EQ(ids, (std::set<std::string>{"um", "cinco"}));
}

TEST(Armazem, GravarFalhaSemTocarNoAntigo) {
    PastaTemporaria t;
    escrever(t.raiz() / "arquivo", "x");
    EXPECT_THROW(Armazem(t.raiz() / "arquivo" / "sessoes").gravar(exemplo("a")), std::system_error);

    const Armazem a(t.raiz() / "s");
    const Sessao antiga = exemplo("a");
    a.gravar(antiga);
    Sessao ruim = exemplo("a");
    ruim.atualizado = std::nan("");
    EXPECT_THROW(a.gravar(ruim), std::domain_error);

    auto& ops = arquivos::operacoes();
    ops.escrever = [](int, const void*, std::size_t) -> ssize_t {
        errno = ENOSPC;
        return -1;
    };
    try {
        a.gravar(exemplo("a", 300));
        ADD_FAILURE() << "a full disk must fail";
    } catch (const std::system_error& e) {
        EXPECT_EQ(e.code().value(), ENOSPC);
    }
    ops = arquivos::padrao();
    ops.renomear = [](const char*, const char*) {
        errno = EXDEV;
        return -1;
    };
    EXPECT_THROW(a.gravar(exemplo("a", 400)), std::system_error);
    ops = arquivos::padrao();

    EXPECT_EQ(a.ler("a"), antiga);
    EXPECT_EQ(nomesEm(a.pasta()), std::set<std::string>{"a.json"});  // no temporary file left

    // A record replaced by a folder stays a folder.
    fs::create_directory(a.pasta() / "d.json");
    EXPECT_THROW(a.gravar(exemplo("d")), std::system_error);
    EXPECT_TRUE(fs::is_directory(a.pasta() / "d.json"));
}

TEST(Armazem, AtualizarCriaPastasETrava) {
    PastaTemporaria t;
    const Armazem a(t.raiz() / "base" / "sessoes");
    int chamadas = 0;
    a.atualizar("s", [&](const std::optional<Sessao>& atual) {
        ++chamadas;
        EXPECT_FALSE(atual);
        return Acao::ignorar();
    });
    EXPECT_EQ(chamadas, 1);
    EXPECT_EQ(nomesEm(a.pasta()), std::set<std::string>{".trava"});

    a.atualizar("s", [](const std::optional<Sessao>&) { return Acao::apagar(); });
    // The action's record names the file, not the id argument.
    a.atualizar("s", [](const std::optional<Sessao>&) { return Acao::gravar(exemplo("outra")); });
    EXPECT_TRUE(a.ler("outra"));
    EXPECT_FALSE(a.ler("s"));
    a.atualizar("outra", [](const std::optional<Sessao>& atual) {
        EXPECT_TRUE(atual);
        return Acao::apagar();
    });
    EXPECT_FALSE(a.ler("outra"));

    // The lock is free again after every path, exceptions from f included.
    a.atualizar("s", [](const std::optional<Sessao>&) -> Acao { throw std::runtime_error("x"); });
    const int fd = open((a.pasta() / ".trava").c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    close(fd);
}

TEST(Armazem, AtualizarEngoleFalhas) {
    PastaTemporaria t;
    escrever(t.raiz() / "arquivo", "x");
    int chamadas = 0;
    Armazem(t.raiz() / "arquivo" / "s").atualizar("a", [&](const std::optional<Sessao>& atual) {
        ++chamadas;
        EXPECT_FALSE(atual);
        return Acao::gravar(exemplo("a"));
    });
    EXPECT_EQ(chamadas, 1);

    const Armazem a(t.raiz() / "s");
    a.gravar(exemplo("a"));
    Sessao ruim = exemplo("a");
    ruim.mudouEstadoEm = INFINITY;
    a.atualizar("a", [&](const std::optional<Sessao>&) { return Acao::gravar(ruim); });
    EXPECT_EQ(a.ler("a"), exemplo("a"));
}

TEST(Armazem, ContadorComProcessosConcorrentes) {
    PastaTemporaria t;
    const Armazem a(t.raiz() / "s");
    constexpr int kFilhos = 8;
    constexpr int kVezes = 100;
    std::vector<pid_t> filhos;
    for (int i = 0; i < kFilhos; ++i) {
        const pid_t p = fork();
        if (p == 0) {
            for (int k = 0; k < kVezes; ++k) {
                a.atualizar("contador", [](const std::optional<Sessao>& atual) {
                    Sessao s = atual.value_or(exemplo("contador", 0));
                    s.faseFerramenta = s.faseFerramenta.value_or(0) + 1;
                    return Acao::gravar(s);
                });
            }
            _exit(0);
        }
        filhos.push_back(p);
    }
    for (pid_t p : filhos) {
        int st = 0;
        waitpid(p, &st, 0);
        EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0);
    }
    ASSERT_TRUE(a.ler("contador"));
    EXPECT_EQ(a.ler("contador")->faseFerramenta, kFilhos * kVezes);
    EXPECT_EQ(nomesEm(a.pasta()), (std::set<std::string>{".trava", "contador.json"}));
}

TEST(Caminhos, DoAmbiente) {
    const char* kivo = std::getenv("KIVO_DIR");
    const std::string antigo = kivo ? kivo : "";
    setenv("KIVO_DIR", "rel/dados", 1);
    EXPECT_EQ(Caminhos::base(), fs::path("rel/dados"));
    EXPECT_EQ(Caminhos::sessoes(), fs::path("rel/dados/sessoes"));
    setenv("KIVO_DIR", "~/x", 1);
    EXPECT_EQ(Caminhos::base(), fs::path("~/x"));
    setenv("KIVO_DIR", "", 1);
    setenv("HOME", "/home/ana", 1);
    EXPECT_EQ(Caminhos::base(), fs::path("/home/ana/.kivo"));
    setenv("KIVO_DIR", "\xff", 1);
    EXPECT_EQ(Caminhos::sessoes(), fs::path("/home/ana/.kivo/sessoes"));
    if (kivo)
        setenv("KIVO_DIR", antigo.c_str(), 1);
    else
        unsetenv("KIVO_DIR");
}

}  // namespace
}  // namespace kivo
