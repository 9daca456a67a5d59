// File system faults under the hook: it exits 0, prints nothing, leaves no temporary file, and
// a record it cannot replace stays as it was. Real faults where possible (mounts in a namespace
// of this process's own, so none outlives it) against kivo_gancho; else, and for the planted
// link (the temporary name is random), the same decision in this process, through the file layer.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <utility>

#if defined(__linux__)
#include <sched.h>
#include <sys/mount.h>
#endif

#include "arquivos.hpp"
#include "json.hpp"
#include "kivo/armazem.hpp"
#include "kivo/regras.hpp"
#include "pastas.hpp"
#include "processo.hpp"

namespace fs = std::filesystem;

namespace kivo {
namespace {
const std::string kInicio = R"({"hook_event_name":"UserPromptSubmit","session_id":"s1","cwd":"/home/ana/loja"})";
const std::string kMudanca = R"({"hook_event_name":"Stop","session_id":"s1","last_assistant_message":"## Pronto"})";

// A link planted at the exact path of the temporary file, just before it is created: `vezes`
// creations to spoil, `plantados` spoiled.
struct Plantio { std::string alvo; int vezes = 0, plantados = 0; } plantio;

int abrirPlantando(const char* caminho, int flags, mode_t modo) {
    if ((flags & O_CREAT) && std::string_view(caminho).ends_with(".tmp") && plantio.plantados < plantio.vezes &&
        symlink(plantio.alvo.c_str(), caminho) == 0)
        ++plantio.plantados;
    return arquivos::padrao().abrir(caminho, flags, modo);
}
ssize_t interrompido(int fd, const void* dados, std::size_t) {  // EINTR once, then a byte at a time
    static bool primeira = true;
    if (std::exchange(primeira, false)) return errno = EINTR, -1;
    return write(fd, dados, 1);
}
constexpr auto entreDiscos = [](const char*, const char*) { return errno = EXDEV, -1; };

enum class Registro { antigo, novo, nenhum };

class Falhas : public ::testing::Test {
public:
    fs::path pasta() const { return base_ / "sessoes"; }
    void TearDown() override {
        arquivos::operacoes() = arquivos::padrao();
        std::error_code e;
        fs::permissions(pasta(), fs::perms::owner_all, fs::perm_options::add, e);
#if defined(__linux__)
        if (std::exchange(montado_, false)) umount2(pasta().c_str(), MNT_DETACH);
#endif
    }
    // Runs kivo_gancho, or, with the fault injected, its decision in this process.
    void decidir(const std::string& entrada, bool aqui) const {
        if (aqui) {
            const auto evento = EventoGancho::deJson(json::documento(entrada).value_or(nullptr));
            const std::chrono::duration<double> agora = std::chrono::system_clock::now().time_since_epoch();
            return Armazem(pasta()).atualizar(evento->sessaoId, [&](const std::optional<Sessao>& atual) {
                return aplicar(*evento, atual, Contexto{.agora = agora.count()});
            });
        }
        const auto r = teste::rodar({{KIVO_GANCHO}, {{"KIVO_DIR", base_.string()}}}, entrada);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.saida + r.erro, "");
    }
    // A read-only bind mount of the session folder (root ignores permission bits), or a
    // 64 KiB tmpfs over it; false where mounts cannot be made.
    bool montar(bool tmpfs) {
#if defined(__linux__)
        static const bool privado =
            unshare(CLONE_NEWNS) == 0 && mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
        const std::string p = pasta().string();
        if (!privado || (tmpfs ? mount("tmpfs", p.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=64k")
                               : mount(p.c_str(), p.c_str(), nullptr, MS_BIND, nullptr)) != 0)
            return false;
        montado_ = true;
        return tmpfs || mount(nullptr, p.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
#else
        return (void)tmpfs, false;
#endif
    }
    // The faults (see the table below); each returns whether it is injected here.
    bool somenteLeitura() {
        if (geteuid() != 0) return fs::permissions(pasta(), fs::perms::owner_read | fs::perms::owner_exec), false;
        if (montar(false)) return false;
        arquivos::operacoes().abrir = [](const char* caminho, int flags, mode_t modo) {
            if (flags & (O_CREAT | O_WRONLY | O_RDWR)) return errno = EROFS, -1;
            return arquivos::padrao().abrir(caminho, flags, modo);
        };
        arquivos::operacoes().renomear = [](const char*, const char*) { return errno = EROFS, -1; };
        return true;
    }
    bool discoCheio() {
        const std::string antigo = teste::conteudo(pasta() / "s1.json");
        if (!montar(true)) {
            arquivos::operacoes().escrever = [](int, const void*, size_t) -> ssize_t { return errno = ENOSPC, -1; };
            return true;
        }
        teste::escrever(pasta() / "s1.json", antigo);  // the tmpfs hides the folder's files
        teste::escrever(pasta() / ".trava", "");
        const int fd = open((pasta() / "enchimento").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        const std::string bloco(4096, 'x');
        while (write(fd, bloco.data(), bloco.size()) > 0 || write(fd, "x", 1) > 0) {}  // to the last byte
        close(fd);
        return false;
    }
    // A file where a folder goes, or the other way round.
    bool trocar(const fs::path& alvo, bool porPasta) {
        fs::remove_all(alvo);
        if (porPasta) fs::create_directories(alvo);
        intacto_ = porPasta ? alvo / "intacto" : alvo;
        teste::escrever(intacto_, "intocado");
        return false;
    }
    bool plantar(bool alvoExiste, int vezes) {
        intacto_ = raiz_ / "alvo";
        if (alvoExiste) teste::escrever(intacto_, "intocado");
        plantio = {intacto_.string(), vezes, 0};
        arquivos::operacoes().abrir = &abrirPlantando;
        return true;
    }
    teste::PastaTemporaria temporaria_;
    fs::path raiz_ = temporaria_.raiz(), base_ = raiz_ / "dados", intacto_;  // a file planted by the fault
    bool montado_ = false;
};

TEST_F(Falhas, CadaFalhaDeixaTudoComoEstava) {
    // Each row sets its fault up after a first record was written.
    using F = Falhas;
    struct Grupo { Registro registro; std::vector<std::pair<const char*, std::function<bool(F&)>>> falhas; };
    const Grupo grupos[] = {
        {.registro = Registro::antigo, .falhas = {{"pasta somente leitura", &F::somenteLeitura},
                    {"disco cheio", &F::discoCheio},
                    {"rename: EXDEV", [](F&) { return arquivos::operacoes().renomear = entreDiscos, true; }},
                    {"link a cada tentativa", [](F& f) { return f.plantar(true, 1000); }}}},
        {.registro = Registro::novo,
         .falhas = {{"EINTR, aos pedaços", [](F&) { return arquivos::operacoes().escrever = &interrompido, true; }},
                    {"pasta no lugar da trava", [](F& f) { return f.trocar(f.pasta() / ".trava", true); }},
                    {"link para um arquivo, uma vez", [](F& f) { return f.plantar(true, 1); }},
                    {"link pendente, uma vez", [](F& f) { return f.plantar(false, 1); }}}},
        // The last row: the folder is left with its record broken.
        {.registro = Registro::nenhum,
         .falhas = {{"arquivo no lugar da pasta de registros", [](F& f) { return f.trocar(f.pasta(), false); }},
                    {"arquivo no lugar da pasta de dados", [](F& f) { return f.trocar(f.base_, false); }},
                    {"pasta no lugar do registro", [](F& f) { return f.trocar(f.pasta() / "s1.json", true); }}}}};
    for (const auto& [registro, falhas] : grupos) {
        for (const auto& [nome, preparar] : falhas) {
            SCOPED_TRACE(nome);
            TearDown();
            for (const auto& p : {base_, raiz_ / "alvo"}) fs::remove_all(p);
            plantio = {}, intacto_ = raiz_ / "nada";
            decidir(kInicio, false);
            const std::string antigo = teste::conteudo(pasta() / "s1.json");
            ASSERT_THAT(antigo, ::testing::HasSubstr("\"estado\":\"trabalhando\""));
            const bool aqui = preparar(*this), existia = fs::exists(intacto_);
            decidir(kMudanca, aqui);
            arquivos::operacoes() = arquivos::padrao();
            const auto s = Armazem(pasta()).ler("s1");
            EXPECT_EQ(s.has_value(), registro != Registro::nenhum);
            EXPECT_EQ(s && s->estado == Estado::feito, registro == Registro::novo);
            if (registro == Registro::antigo) { EXPECT_EQ(teste::conteudo(pasta() / "s1.json"), antigo); }
            EXPECT_EQ(fs::exists(intacto_) ? teste::conteudo(intacto_) : "ausente", existia ? "intocado" : "ausente");
            int links = 0;  // the planted ones; no temporary file may be left
            for (const auto& item : teste::nomesEm(pasta())) {
                links += fs::is_symlink(pasta() / item);
                EXPECT_TRUE(fs::is_symlink(pasta() / item) || !item.ends_with(".tmp")) << item;
            }
            EXPECT_EQ(links, plantio.plantados);
            std::printf("[ figures  ] %s: %s\n", nome, aqui ? "in-process, injected" : "kivo_gancho on the real fault");
        }
    }
    // After the last row: a folder whose record is broken still keeps other sessions.
    decidir(R"({"hook_event_name":"Stop","session_id":"s2"})", false);
    EXPECT_TRUE(Armazem(pasta()).ler("s2"));
}
}  // namespace
}  // namespace kivo
