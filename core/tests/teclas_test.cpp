// Key names for the remote keyboard: the macOS tables, free text to a key code, windows where typing is refused.
#include "kivo/teclas.hpp"

#include <gtest/gtest.h>

#include <set>

namespace kivo {
namespace {
using std::nullopt;
using Opt = std::optional<std::string>;

// One name per code; both sides of a modifier share a mask; aliases name left-hand keys.
TEST(Teclas, TabelasLigadas) {
    const auto& virtuais = Teclas::virtuais();
    const auto& marcas = Teclas::marcas();
    std::set<std::uint16_t> codigos;
    for (const auto& [nome, codigo] : virtuais) EXPECT_TRUE(codigo <= 126 && codigos.insert(codigo).second) << nome;
    for (const auto& [nome, mascara] : marcas) {
        const bool esquerda = nome.ends_with("Left");
        const std::string outro = nome.substr(0, nome.size() - (esquerda ? 4 : 5)) + (esquerda ? "Right" : "Left");
        EXPECT_TRUE(virtuais.contains(nome) && marcas.at(outro) == mascara) << nome;
    }
    for (const auto& [apelido, tecla] : Teclas::modificadores()) {
        EXPECT_TRUE(marcas.contains(tecla) && tecla.ends_with("Left")) << apelido;
        EXPECT_EQ(Teclas::codigo(apelido), nullopt) << apelido;  // codigo() never gives a modifier
    }
}

TEST(Teclas, CodigoDeTextoLivre) {
    const std::pair<std::string, Opt> casos[] = {
        {"", nullopt}, {" \t \u00a0\u3000", nullopt}, {" A ", "KeyA"}, {"z", "KeyZ"}, {"\t9\u2003", "Digit9"},
        {"0", "Digit0"}, {"a\n", nullopt}, {"\u00e7", nullopt}, {"A\u0301", "KeyA\u0301"}, {"7\u20e3", "Digit7\u20e3"},
        {"ab", nullopt}, {"\u0663", nullopt}, {"\u212a", "KeyK"},  // full lower-casing: the Kelvin sign is k
        {"\u0130", "KeyI\u0307"}, {" F10\t", "F10"}, {"f12", "F12"}, {"F13", nullopt}, {"f01", nullopt},
        {"f1\n", "F1\n"},  // "$" matches before a final line break
        {"RETURN", "Enter"}, {"ESPAC\u0327O", "Space"}, {"DEL", "Delete"}, {"a\xff", nullopt}};
    for (const auto& [texto, esperado] : casos) EXPECT_EQ(Teclas::codigo(texto), esperado) << texto;
}

TEST(Teclas, ProtegidoPorPalavraInteira) {
    for (const char* sim : {"Terminal", "iTerm2", "Windows PowerShell", "Acesso \u00c0s Chaves", "KeePassXC", "CMD.EXE",
                            "1Password 7", "Visual Studio Code \u2014 terminal", "\xff terminal \xfe"})
        EXPECT_TRUE(Teclas::protegido(sim)) << sim;
    for (const char* nao : {"Notas", "", "terminals", "iTerm3", "cmdxexe", "terminal\u00e9",
                            "acesso a\u0300s chaves"})  // decomposed à is not the pattern's U+00E0
        EXPECT_FALSE(Teclas::protegido(nao)) << nao;
}
}  // namespace
}  // namespace kivo
