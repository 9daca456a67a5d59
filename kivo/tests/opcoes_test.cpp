// The option reader shared by kivo and kivo_web, and starting a child process.
#include "base/opcoes.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <string>
#include <vector>

#include "base/processo.hpp"

using kivo::app::Opcao;
using kivo::app::Opcoes;

namespace {
struct Caso {
    std::vector<std::string_view> args;
    std::string erro;  // empty: read whole
    std::optional<std::string> largura = {};
    bool seguir = false, ajuda = false;
};

TEST(Opcoes, FormasEErros) {
    const Opcao conhecidas[] = {{"--seguir"}, {"--largura", true},
                                {"--porta", true, "--porta precisa de um n\u00FAmero",
                                 [](std::string_view v) -> std::optional<std::string> {
                                     if (kivo::app::inteiro(v, 1, 65535)) return std::nullopt;
                                     return "ruim: " + std::string(v);
                                 }}};
    const Caso casos[] = {
        {.args = {"--largura", "7", "-h", "--seguir"}, .erro = "", .largura = "7", .seguir = true, .ajuda = true},
        {.args = {"--largura=", "--largura=9"}, .erro = "", .largura = "9"},
        {.args = {"--largura", "--ajuda"}, .erro = "", .largura = "--ajuda"},
        {.args = {"--seguir=1"}, .erro = "op\u00E7\u00E3o desconhecida para cmd: --seguir=1"},
        {.args = {"--largur=3"}, .erro = "op\u00E7\u00E3o desconhecida para cmd: --largur=3"},
        {.args = {"--seguir", "--largura"}, .erro = "--largura precisa de um valor", .seguir = true},
        {.args = {"--porta"}, .erro = "--porta precisa de um n\u00FAmero"},
        {.args = {"--porta=0", "--porta=80"}, .erro = "ruim: 0"},  // checked as read, not after
        {.args = {"--porta", "80", "x"}, .erro = "op\u00E7\u00E3o desconhecida para cmd: x"}};
    for (const Caso& c : casos) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        const Opcoes o("cmd", c.args, conhecidas);
        EXPECT_EQ(o.erro, c.erro);
        EXPECT_EQ(o.ok(), c.erro.empty());
        EXPECT_EQ(o.valor("--largura"), c.largura);
        EXPECT_EQ(o.tem("--seguir"), c.seguir);
        EXPECT_EQ(o.ajudaPedida, c.ajuda);
    }
    EXPECT_EQ(kivo::app::inteiro("65535", 1, 65535), 65535);
    for (const std::string_view ruim : {"65536", "0", "", "+5", "5x", " 5", "99999999999"})
        EXPECT_EQ(kivo::app::inteiro(ruim, 1, 65535), std::nullopt) << ruim;
}

int esperar(pid_t filho) {
    int status = -1;
    while (waitpid(filho, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Arguments reach the program as they are; an isolated child writes to /dev/null and leads its own process group.
TEST(ProcessoFilho, ArgumentosGrupoESaida) {
    const auto eco = kivo::app::iniciarFilho(
        "sh", {"-c", "test \"$1\" = 'a b;$x' && test \"$(readlink /proc/$$/fd/1)\" = /dev/null", "sh", "a b;$x"},
        {.isolado = true});
    ASSERT_TRUE(eco.has_value());
    EXPECT_EQ(esperar(*eco), 0);
    EXPECT_TRUE(kivo::app::filhoTerminou(*eco));  // already reaped: not ours any more
    const auto dorme = kivo::app::iniciarFilho("sleep", {"30"}, {.isolado = true});
    ASSERT_TRUE(dorme.has_value());
    EXPECT_EQ(getpgid(*dorme), *dorme);
    EXPECT_FALSE(kivo::app::filhoTerminou(*dorme));
    kill(*dorme, SIGKILL);
    EXPECT_EQ(esperar(*dorme), -1);
    EXPECT_EQ(kivo::app::iniciarFilho("/nada/kivo-inexistente", {}), std::nullopt);
}
}  // namespace
