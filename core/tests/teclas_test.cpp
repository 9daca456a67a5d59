#include "kivo/teclas.hpp"

#include <gtest/gtest.h>

#include <set>

namespace kivo {
namespace {

using std::nullopt;
using Opt = std::optional<std::string>;

// The links callers rely on, and a few codes of the macOS layout: one name per code,
// every modifier key has a code and a mask shared with its other side, every alias
// names a left-hand modifier key.
TEST(Teclas, TabelasLigadas) {
    const auto& virtuais = Teclas::virtuais();
    const auto& marcas = Teclas::marcas();
    EXPECT_EQ(virtuais.size(), 103u);
    EXPECT_EQ(marcas.size(), 8u);
    EXPECT_EQ(Teclas::modificadores().size(), 10u);
    std::set<std::uint16_t> codigos;
    for (const auto& [nome, codigo] : virtuais) {
        SCOPED_TRACE(nome);
        EXPECT_LE(codigo, 126);
        EXPECT_TRUE(codigos.insert(codigo).second) << "two names for one code";
    }
    for (const auto& [nome, codigo] : {std::pair<const char*, int>{"KeyA", 0}, {"KeyS", 1}, {"Digit1", 18},
                                       {"Enter", 36}, {"Space", 49}, {"Escape", 53}, {"F1", 122}, {"ArrowUp", 126}})
        EXPECT_EQ(virtuais.at(nome), codigo) << nome;
    for (const auto& [nome, mascara] : marcas) {
        SCOPED_TRACE(nome);
        EXPECT_TRUE(virtuais.contains(nome));
        const bool esquerda = nome.ends_with("Left");
        const std::string outro = nome.substr(0, nome.size() - (esquerda ? 4 : 5)) + (esquerda ? "Right" : "Left");
        EXPECT_EQ(marcas.at(outro), mascara);
    }
    EXPECT_EQ(marcas.at("ShiftLeft"), 0x20000u);
    EXPECT_EQ(marcas.at("MetaRight"), 0x100000u);
    for (const auto& [apelido, tecla] : Teclas::modificadores()) {
        SCOPED_TRACE(apelido);
        EXPECT_TRUE(marcas.contains(tecla));
        EXPECT_TRUE(tecla.ends_with("Left"));
        EXPECT_EQ(Teclas::codigo(apelido), nullopt);  // codigo() never gives a modifier
    }
    EXPECT_EQ(Teclas::modificadores().at("cmd"), "MetaLeft");
    EXPECT_EQ(Teclas::modificadores().at("option"), "AltLeft");
}

TEST(Teclas, CodigoDeTextoLivre) {
    const std::pair<std::string, Opt> casos[] = {
        {"", nullopt}, {" \t \u00a0\u3000", nullopt}, {" A ", "KeyA"}, {"z", "KeyZ"}, {"\t9\u2003", "Digit9"},
        {"0", "Digit0"}, {"a\n", nullopt}, {"\u00e7", nullopt}, {"A\u0301", "KeyA\u0301"}, {"7\u20e3", "Digit7\u20e3"},
        {"ab", nullopt}, {"\u0663", nullopt}, {"\u212a", "KeyK"},  // full lower-casing: the Kelvin sign is k
        {"\u0130", "KeyI\u0307"}, {"f1", "F1"}, {" F10\t", "F10"}, {"f12", "F12"}, {"F13", nullopt}, {"f01", nullopt},
        {"f1\n", "F1\n"},  // "$" matches before a final line break
        {"RETURN", "Enter"}, {"Esquerda", "ArrowLeft"}, {"ESPAC\u0327O", "Space"}, {"\\", "Backslash"},
        {"DEL", "Delete"}, {"Numpad1", nullopt}, {"a\xff", nullopt},
    };
    for (const auto& [texto, esperado] : casos) EXPECT_EQ(Teclas::codigo(texto), esperado) << texto;
    for (int a = 0x21; a < 0x7f; ++a) {  // ASCII text always gives a key that exists
        const auto c = Teclas::codigo(std::string(1, static_cast<char>(a)));
        EXPECT_TRUE(!c || Teclas::virtuais().contains(*c)) << a;
    }
}

TEST(Teclas, ProtegidoPorPalavraInteira) {
    for (const char* sim : {"Terminal", "iTerm2", "Windows PowerShell", "Acesso \u00c0s Chaves", "KeePassXC", "CMD.EXE",
                            "Prompt de Comando", "1Password 7", "Visual Studio Code \u2014 terminal", "\xff terminal \xfe"})
        EXPECT_TRUE(Teclas::protegido(sim)) << sim;
    for (const char* nao : {"Notas", "", "terminals", "iTerm3", "cmdxexe", "terminal\u00e9",
                            "acesso a\u0300s chaves",  // decomposed à is not the pattern's U+00E0
                            "Senha"})
        EXPECT_FALSE(Teclas::protegido(nao)) << nao;
}

}  // namespace
}  // namespace kivo
