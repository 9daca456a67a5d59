// What the views read of the records: a record of 50 MB costs a view no more memory
// than a small one, and it still shows.
#include "apresentacao/registros.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <ctime>
#include <fstream>

#include "pastas.hpp"
#include "processo.hpp"

namespace fs = std::filesystem;
using ::testing::HasSubstr;

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitizado = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
constexpr bool kSanitizado = true;
#else
constexpr bool kSanitizado = false;
#endif
#else
constexpr bool kSanitizado = false;
#endif

// A 50 MB record, valid JSON: a 10 MB cwd, and a title and a detail of 20 MB each.
void gravarEnorme(const fs::path& arquivo) {
    const std::string dez(10 << 20, 'x');
    std::ofstream f(arquivo, std::ios::binary);
    const std::string agora = std::to_string(time(nullptr));  // in view
    f << R"({"atualizado":)" << agora << R"(,"cwd":"\/home\/ana\/)" << dez << R"(\/projeto-enorme","detalhe":")" << dez
      << dez << R"(","estado":"trabalhando","id":"enorme","mudouEstadoEm":)" << agora << R"(,"titulo":")" << dez << dez
      << "\"}";
}

TEST(RegistroEnorme, VistasFicamAbaixoDe32MiB) {
    if (kSanitizado) GTEST_SKIP() << "a sanitizer's own memory hides what the view holds";
    kivo::teste::PastaTemporaria t;
    fs::create_directories(t.raiz() / "sessoes");
    gravarEnorme(t.raiz() / "sessoes" / "enorme.json");
    ASSERT_GT(fs::file_size(t.raiz() / "sessoes" / "enorme.json"), 50u << 20);
    const std::string statusLine = kivo::teste::conteudo(fs::path(KIVO_DADOS) / "claude-code-2.1.197-statusline.json");
    struct Caso {
        const char* comando;
        std::string entrada;
        const char* naSaida;
    };
    for (const Caso& c : {Caso{.comando = "painel", .naSaida = "projeto-enorme \u00B7 xxx"},
                          Caso{.comando = "linha", .entrada = statusLine, .naSaida = "1 trabalhando"}}) {
        SCOPED_TRACE(c.comando);
        kivo::teste::Processo p = kivo::teste::iniciar(
            {.argv = {KIVO_EXECUTAVEL, c.comando}, .ambiente = {{"KIVO_DIR", t.raiz().string()}, {"HOME", t.raiz().string()}}});
        ASSERT_GT(p.pid, 0);
        if (write(p.entrada, c.entrada.data(), c.entrada.size()) != static_cast<ssize_t>(c.entrada.size())) {
            ADD_FAILURE() << "the input was not taken";
        }
        close(p.entrada);
        const std::string saida = kivo::teste::lerAteOFim(p.saida);
        kivo::teste::lerAteOFim(p.erro);
        int status = 0;
        rusage uso{};
        ASSERT_EQ(wait4(p.pid, &status, 0, &uso), p.pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        EXPECT_THAT(saida.substr(0, 4096), HasSubstr(c.naSaida));
        EXPECT_LT(saida.size(), 256u << 10);
        EXPECT_LT(uso.ru_maxrss, 32 << 10) << "peak RSS in KiB";
    }
}

}  // namespace
