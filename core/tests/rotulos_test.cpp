#include "kivo/rotulos.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "rotulos_interno.hpp"

namespace kivo {
namespace {

using std::nullopt;
using Opt = std::optional<std::string>;

TEST(Trabalho, TabelaEServidores) {
    const struct {
        Opt ferramenta;
        std::string esperado;
    } casos[] = {
        {nullopt, "Trabalhando"},
        {"", "Trabalhando"},
        {"bash", "Trabalhando"},
        {"Bash", "Rodando um comando"},
        {"Read", "Lendo arquivos"},
        {"NotebookEdit", "Editando código"},
        {"Glob", "Procurando no código"},
        {"Task", "Chamou um ajudante"},
        {"ToolSearch", "Separando ferramentas"},
        {"mcp__terminal__run", "Usando o terminal"},
        {"mcp__my-server_x__t", "Usando my server x"},
        {"mcp__Claude_Browser__abrir", "Usando o navegador"},
        {"mcp__0123abcd-9f__t", "Usando um conector"},
        {"mcp__0123ABCD-9f__t", "Usando 0123ABCD 9f"},
        {"mcp__ccd_x__t", "Usando o app"},
        {"mcp__", "Trabalhando"},
        {"mcp____t", "Trabalhando"},
        {"Desconhecida", "Trabalhando"},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.ferramenta.value_or("(ausente)"));
        EXPECT_EQ(Rotulos::trabalho(c.ferramenta), c.esperado);
    }
}

TEST(Pedido, TabelaEServidores) {
    const struct {
        Opt ferramenta;
        std::string esperado;
    } casos[] = {
        {nullopt, "continuar"},
        {"", "continuar"},
        {"Bash", "rodar um comando"},
        {"Read", "ler um arquivo"},
        {"Grep", "usar Grep"},
        {"mcp__terminal__run", "usar o terminal"},
        {"mcp__", "usar mcp__"},
        {"mcp____t", "usar mcp____t"},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.ferramenta.value_or("(ausente)"));
        EXPECT_EQ(Rotulos::pedido(c.ferramenta), c.esperado);
    }
}

TEST(Resumo, AmostraDoStop) {
    EXPECT_EQ(Rotulos::resumo("## Resumo\n\nCorrigi o **bug**"), Opt("Resumo"));
    EXPECT_EQ(Rotulos::resumo(nullopt), nullopt);
    EXPECT_EQ(Rotulos::resumo(" \n**\n"), nullopt);
}

}  // namespace
}  // namespace kivo
