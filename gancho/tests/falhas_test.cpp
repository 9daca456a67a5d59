// Faults of the file system under the hook: a read-only session folder, a file where
// the folder should be, a full file system, a lock file that cannot be opened, a record
// replaced by a folder, a link planted where the temporary file goes. Whatever
// happens, the hook exits 0, prints nothing, and a record it cannot replace stays as
// it was.
//
// Where the fault can be made real it is, and kivo_gancho runs against it. Mounts
// (a read-only bind mount, a small tmpfs) need root: they are made in a mount
// namespace of this test process's own, so none outlives it. Where that is not
// possible, and for the planted link (the temporary name is random), the same
// decision runs in this process with the failure injected through the file layer.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <time.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>

#include "arquivos.hpp"
#include "entrada_gancho.hpp"
#include "kivo/armazem.hpp"
#include "kivo/contexto.hpp"
#include "kivo/regras.hpp"
#include "pastas.hpp"
#include "processo.hpp"

namespace fs = std::filesystem;

namespace kivo {
namespace {

const std::string kInicio =
    R"({"hook_event_name":"UserPromptSubmit","session_id":"s1","cwd":"/home/ana/loja","prompt":"oi"})";
const std::string kMudanca =
    R"({"hook_event_name":"Stop","session_id":"s1","cwd":"/home/ana/loja","last_assistant_message":"## Pronto\nok"})";

using teste::conteudo;
using teste::escrever;
using teste::nomesEm;

// A mount namespace of this process's own, with nothing propagated out of it. False
// when not allowed (not root, or no CAP_SYS_ADMIN in a container).
bool namespacePrivado() {
    static const bool ok = unshare(CLONE_NEWNS) == 0 &&
                           mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    return ok;
}

// What kivo_gancho does with its input, in this process: read the event from a
// descriptor, apply the rules under the store's lock. Returns what it wrote to
// standard output and error.
std::string decidirAqui(const std::string& entrada, const fs::path& pasta) {
    const int fd = memfd_create("entrada", MFD_CLOEXEC);
    if (fd < 0 || write(fd, entrada.data(), entrada.size()) != static_cast<ssize_t>(entrada.size()) ||
        lseek(fd, 0, SEEK_SET) != 0)
        return "(no memfd)";
    std::fflush(stdout);
    std::fflush(stderr);
    const int saida = memfd_create("saida", MFD_CLOEXEC);
    const int out = dup(STDOUT_FILENO), err = dup(STDERR_FILENO);
    dup2(saida, STDOUT_FILENO);
    dup2(saida, STDERR_FILENO);
    timespec agora{};
    clock_gettime(CLOCK_REALTIME, &agora);
    if (const auto evento = gancho::lerEvento(fd)) {
        const Contexto contexto = Contexto::doAmbiente(
            {}, static_cast<double>(agora.tv_sec) + static_cast<double>(agora.tv_nsec) / 1e9);
        Armazem(pasta).atualizar(evento->sessaoId, [&](const std::optional<Sessao>& atual) {
            return aplicar(*evento, atual, contexto);
        });
    }
    std::fflush(stdout);
    std::fflush(stderr);
    dup2(out, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
    close(out);
    close(err);
    close(fd);
    std::string escrito(static_cast<std::size_t>(lseek(saida, 0, SEEK_END)), '\0');
    if (pread(saida, escrito.data(), escrito.size(), 0) < 0) escrito = "(unreadable)";
    close(saida);
    return escrito;
}

class Falhas : public ::testing::Test {
protected:
    void SetUp() override {
        raiz_ = temporaria_.raiz();
        base_ = raiz_ / "dados";
    }
    void TearDown() override {
        arquivos::operacoes() = arquivos::padrao();
        for (auto it = montados_.rbegin(); it != montados_.rend(); ++it) umount2(it->c_str(), MNT_DETACH);
        std::error_code e;
        if (fs::exists(pasta(), e)) fs::permissions(pasta(), fs::perms::owner_all, fs::perm_options::add, e);
    }

    fs::path pasta() const { return base_ / "sessoes"; }
    fs::path registro() const { return pasta() / "s1.json"; }

    // Runs kivo_gancho; it must exit 0 and print nothing.
    void rodar(const std::string& entrada) const {
        const auto r = teste::rodar({{KIVO_GANCHO}, {{"KIVO_DIR", base_.string()}, {"HOME", raiz_.string()}}}, entrada);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.saida, "");
        EXPECT_EQ(r.erro, "");
    }
    // The record the next steps try to replace; returns its bytes.
    std::string registroAntigo() const {
        rodar(kInicio);
        const std::string bytes = conteudo(registro());
        EXPECT_NE(bytes.find("\"trabalhando\""), std::string::npos) << bytes;
        return bytes;
    }
    bool montar(const char* origem, const fs::path& alvo, const char* tipo, unsigned long flags,
                const char* opcoes) {
        if (!namespacePrivado() || mount(origem, alvo.c_str(), tipo, flags, opcoes) != 0) return false;
        montados_.push_back(alvo);
        return true;
    }

    teste::PastaTemporaria temporaria_;
    fs::path raiz_, base_;
    std::vector<fs::path> montados_;
};

TEST_F(Falhas, PastaSomenteLeitura) {
    const std::string antigo = registroAntigo();
    bool real = false;
    if (geteuid() != 0) {
        fs::permissions(pasta(), fs::perms::owner_read | fs::perms::owner_exec);
        real = true;
    } else if (montar(pasta().c_str(), pasta(), nullptr, MS_BIND, nullptr)) {
        // Root ignores permission bits, but not a read-only mount.
        real = mount(nullptr, pasta().c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
    }
    if (real) {
        ASSERT_NE(access(pasta().c_str(), W_OK), 0) << "the folder is still writable";
        rodar(kMudanca);
    } else {
        // No way to make the folder read-only here: every write fails as it would.
        auto& ops = arquivos::operacoes();
        ops.abrir = [](const char* caminho, int flags, mode_t modo) -> int {
            if (flags & (O_CREAT | O_WRONLY | O_RDWR)) {
                errno = EROFS;
                return -1;
            }
            return arquivos::padrao().abrir(caminho, flags, modo);
        };
        ops.renomear = [](const char*, const char*) {
            errno = EROFS;
            return -1;
        };
        EXPECT_EQ(decidirAqui(kMudanca, pasta()), "");
    }
    EXPECT_EQ(conteudo(registro()), antigo);
    EXPECT_EQ(nomesEm(pasta()), (std::set<std::string>{".trava", "s1.json"}));
    std::printf("[ figures  ] read-only folder: %s\n", real ? "kivo_gancho on the real folder" : "in-process, injected");
}

TEST_F(Falhas, ArquivoNoLugarDaPasta) {
    struct Caso {
        const char* nome;
        fs::path arquivo;
    } casos[] = {
        {"a file named sessoes", pasta()},
        {"a file as the data folder", base_},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.nome);
        fs::remove_all(base_);
        fs::create_directories(c.arquivo.parent_path());
        escrever(c.arquivo, "nao sou uma pasta");
        rodar(kMudanca);
        EXPECT_TRUE(fs::is_regular_file(c.arquivo));
        EXPECT_EQ(conteudo(c.arquivo), "nao sou uma pasta");
        EXPECT_EQ(nomesEm(c.arquivo.parent_path()), std::set<std::string>{c.arquivo.filename().string()});
    }
}

TEST_F(Falhas, DiscoCheio) {
    fs::create_directories(pasta());
    const bool real = montar("tmpfs", pasta(), "tmpfs", MS_NOSUID | MS_NODEV, "size=64k");
    const std::string antigo = registroAntigo();
    if (real) {
        // Fill what is left, to the last byte.
        const int fd = open((pasta() / "enchimento").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        ASSERT_GE(fd, 0);
        const std::string bloco(4096, 'x');
        while (write(fd, bloco.data(), bloco.size()) > 0) {
        }
        while (write(fd, "x", 1) > 0) {
        }
        EXPECT_EQ(errno, ENOSPC);
        close(fd);
        rodar(kMudanca);
    } else {
        arquivos::operacoes().escrever = [](int, const void*, std::size_t) -> ssize_t {
            errno = ENOSPC;
            return -1;
        };
        EXPECT_EQ(decidirAqui(kMudanca, pasta()), "");
    }
    EXPECT_EQ(conteudo(registro()), antigo);
    std::set<std::string> esperados{".trava", "s1.json"};
    if (real) esperados.insert("enchimento");
    EXPECT_EQ(nomesEm(pasta()), esperados);  // the temporary file was removed
    std::printf("[ figures  ] full file system: %s\n", real ? "kivo_gancho on a full 64 KiB tmpfs" : "in-process, injected ENOSPC");
}

// The update goes on without the lock (nobody else is updating here), so the record
// is replaced.
TEST_F(Falhas, TravaQueNaoAbre) {
    const std::string antigo = registroAntigo();
    fs::remove(pasta() / ".trava");
    fs::create_directory(pasta() / ".trava");
    rodar(kMudanca);
    EXPECT_TRUE(fs::is_directory(pasta() / ".trava"));
    const auto s = Armazem(pasta()).ler("s1");
    ASSERT_TRUE(s) << conteudo(registro());
    EXPECT_EQ(s->estado, Estado::feito);
    EXPECT_EQ(s->detalhe, "Pronto");
    EXPECT_EQ(nomesEm(pasta()), (std::set<std::string>{".trava", "s1.json"}));
}

TEST_F(Falhas, RegistroVirouPasta) {
    fs::create_directories(registro());
    escrever(registro() / "dentro", "x");
    rodar(kMudanca);
    EXPECT_TRUE(fs::is_directory(registro()));
    EXPECT_EQ(nomesEm(registro()), std::set<std::string>{"dentro"});
    EXPECT_EQ(nomesEm(pasta()), (std::set<std::string>{".trava", "s1.json"}));  // no temporary file left
    // Other sessions of the folder are still kept.
    rodar(R"({"hook_event_name":"Stop","session_id":"s2","last_assistant_message":"feito"})");
    ASSERT_TRUE(Armazem(pasta()).ler("s2"));
}

// A link planted at the exact path of the temporary file, just before it is created.
struct Plantio {
    std::string alvo;
    int vezes = 0;  // how many creations to spoil
    int plantados = 0;
};
Plantio plantio;

int abrirPlantando(const char* caminho, int flags, mode_t modo) {
    if ((flags & O_CREAT) && std::string_view(caminho).ends_with(".tmp") && plantio.plantados < plantio.vezes) {
        if (symlink(plantio.alvo.c_str(), caminho) == 0) ++plantio.plantados;
    }
    return arquivos::padrao().abrir(caminho, flags, modo);
}

TEST_F(Falhas, LinkNoLugarDoTemporario) {
    struct Caso {
        const char* nome;
        bool alvoExiste;
        int vezes;
        bool gravado;  // whether the record is replaced in the end
    } casos[] = {
        {"link to an existing file, once", true, 1, true},
        {"dangling link, once", false, 1, true},
        {"link on every attempt", true, 1000, false},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.nome);
        fs::remove_all(base_);
        const std::string antigo = registroAntigo();
        const fs::path alvo = raiz_ / "alvo";
        fs::remove(alvo);
        if (c.alvoExiste) escrever(alvo, "intocado");
        plantio = {alvo.string(), c.vezes, 0};
        arquivos::operacoes().abrir = &abrirPlantando;
        EXPECT_EQ(decidirAqui(kMudanca, pasta()), "");
        arquivos::operacoes() = arquivos::padrao();

        EXPECT_GE(plantio.plantados, 1);
        if (c.alvoExiste)
            EXPECT_EQ(conteudo(alvo), "intocado");
        else
            EXPECT_FALSE(fs::exists(fs::symlink_status(alvo)));
        if (c.gravado) {
            const auto s = Armazem(pasta()).ler("s1");
            ASSERT_TRUE(s);
            EXPECT_EQ(s->estado, Estado::feito);
        } else {
            EXPECT_EQ(conteudo(registro()), antigo);
        }
        // Only the planted links are left besides the lock and the record; none is read.
        int links = 0;
        for (const auto& e : fs::directory_iterator(pasta())) {
            const std::string nome = e.path().filename().string();
            if (nome == ".trava" || nome == "s1.json") continue;
            EXPECT_TRUE(e.is_symlink()) << nome;
            ++links;
        }
        EXPECT_EQ(links, plantio.plantados);
        EXPECT_EQ(Armazem(pasta()).lerTodas().size(), 1u);
    }
}

}  // namespace
}  // namespace kivo
