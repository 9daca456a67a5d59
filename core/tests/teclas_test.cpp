#include "kivo/teclas.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kivo {
namespace {

struct Virtual {
    const char* nome;
    std::uint16_t codigo;
};

// The Carbon keyboard constants, four per row as macOS numbers them.
constexpr Virtual kVirtuais[] = {
    {"KeyA", 0},           {"KeyS", 1},            {"KeyD", 2},           {"KeyF", 3},
    {"KeyH", 4},           {"KeyG", 5},            {"KeyZ", 6},           {"KeyX", 7},
    {"KeyC", 8},           {"KeyV", 9},            {"IntlBackslash", 10}, {"KeyB", 11},
    {"KeyQ", 12},          {"KeyW", 13},           {"KeyE", 14},          {"KeyR", 15},
    {"KeyY", 16},          {"KeyT", 17},           {"Digit1", 18},        {"Digit2", 19},
    {"Digit3", 20},        {"Digit4", 21},         {"Digit6", 22},        {"Digit5", 23},
    {"Equal", 24},         {"Digit9", 25},         {"Digit7", 26},        {"Minus", 27},
    {"Digit8", 28},        {"Digit0", 29},         {"BracketRight", 30},  {"KeyO", 31},
    {"KeyU", 32},          {"BracketLeft", 33},    {"KeyI", 34},          {"KeyP", 35},
    {"Enter", 36},         {"KeyL", 37},           {"KeyJ", 38},          {"Quote", 39},
    {"KeyK", 40},          {"Semicolon", 41},      {"Backslash", 42},     {"Comma", 43},
    {"Slash", 44},         {"KeyN", 45},           {"KeyM", 46},          {"Period", 47},
    {"Tab", 48},           {"Space", 49},          {"Backquote", 50},     {"Backspace", 51},
    {"Escape", 53},        {"MetaRight", 54},      {"MetaLeft", 55},      {"ShiftLeft", 56},
    {"CapsLock", 57},      {"AltLeft", 58},        {"ControlLeft", 59},   {"ShiftRight", 60},
    {"AltRight", 61},      {"ControlRight", 62},   {"NumpadDecimal", 65}, {"NumpadMultiply", 67},
    {"NumpadAdd", 69},     {"NumLock", 71},        {"NumpadDivide", 75},  {"NumpadEnter", 76},
    {"NumpadSubtract", 78}, {"NumpadEqual", 81},   {"Numpad0", 82},       {"Numpad1", 83},
    {"Numpad2", 84},       {"Numpad3", 85},        {"Numpad4", 86},       {"Numpad5", 87},
    {"Numpad6", 88},       {"Numpad7", 89},        {"Numpad8", 91},       {"Numpad9", 92},
    {"F5", 96},            {"F6", 97},             {"F7", 98},            {"F3", 99},
    {"F8", 100},           {"F9", 101},            {"F11", 103},          {"F10", 109},
    {"F12", 111},          {"Insert", 114},        {"Home", 115},         {"PageUp", 116},
    {"Delete", 117},       {"F4", 118},            {"End", 119},          {"F2", 120},
    {"PageDown", 121},     {"F1", 122},            {"ArrowLeft", 123},    {"ArrowRight", 124},
    {"ArrowDown", 125},    {"ArrowUp", 126},       {"ContextMenu", 110},
};

TEST(TeclasVirtuais, TemExatamenteAsTeclasDoMac) {
    const auto& tabela = Teclas::virtuais();
    EXPECT_EQ(tabela.size(), 103u);
    for (const auto& [nome, codigo] : kVirtuais) {
        SCOPED_TRACE(nome);
        const auto it = tabela.find(nome);
        ASSERT_NE(it, tabela.end());
        EXPECT_EQ(it->second, codigo);
    }
}

TEST(TeclasVirtuais, CodigosSemNomeFicamDeFora) {
    std::vector<bool> usado(128, false);
    for (const auto& [nome, codigo] : Teclas::virtuais()) {
        SCOPED_TRACE(nome);
        ASSERT_LE(codigo, 126);
        EXPECT_FALSE(usado[codigo]) << "two names for one code";
        usado[codigo] = true;
    }
    for (int sem : {52, 63, 64, 66, 68, 70, 72, 73, 74, 77, 79, 80, 90, 93, 94, 95, 102, 104,
                    105, 106, 107, 108, 112, 113}) {
        SCOPED_TRACE(sem);
        EXPECT_FALSE(usado[sem]);
    }
    EXPECT_FALSE(Teclas::virtuais().contains("F13"));
    EXPECT_FALSE(Teclas::virtuais().contains("keya"));  // keys are case-sensitive
}

TEST(TeclasMarcas, EsquerdaEDireitaDividemAMascara) {
    const struct {
        const char* nome;
        std::uint64_t mascara;
    } casos[] = {
        {"ShiftLeft", 0x20000},   {"ShiftRight", 0x20000}, {"ControlLeft", 0x40000},
        {"ControlRight", 0x40000}, {"AltLeft", 0x80000},   {"AltRight", 0x80000},
        {"MetaLeft", 0x100000},   {"MetaRight", 0x100000},
    };
    const auto& tabela = Teclas::marcas();
    EXPECT_EQ(tabela.size(), 8u);
    for (const auto& c : casos) {
        SCOPED_TRACE(c.nome);
        ASSERT_TRUE(tabela.contains(c.nome));
        EXPECT_EQ(tabela.at(c.nome), c.mascara);
        EXPECT_TRUE(Teclas::virtuais().contains(c.nome));
    }
}

TEST(TeclasModificadores, ApelidosLevamATeclaDaEsquerda) {
    const struct {
        const char* apelido;
        const char* tecla;
    } casos[] = {
        {"cmd", "MetaLeft"},     {"command", "MetaLeft"}, {"win", "MetaLeft"},
        {"meta", "MetaLeft"},    {"ctrl", "ControlLeft"}, {"control", "ControlLeft"},
        {"alt", "AltLeft"},      {"option", "AltLeft"},   {"opt", "AltLeft"},
        {"shift", "ShiftLeft"},
    };
    const auto& tabela = Teclas::modificadores();
    EXPECT_EQ(tabela.size(), 10u);
    for (const auto& c : casos) {
        SCOPED_TRACE(c.apelido);
        ASSERT_TRUE(tabela.contains(c.apelido));
        EXPECT_EQ(tabela.at(c.apelido), c.tecla);
        EXPECT_TRUE(Teclas::marcas().contains(c.tecla));
        EXPECT_TRUE(Teclas::virtuais().contains(c.tecla));
        // codigo() never consults this table.
        EXPECT_EQ(Teclas::codigo(c.apelido), std::nullopt);
    }
}

// Every alias of the private table, seen through codigo().
TEST(TeclasCodigo, TodosOsApelidos) {
    const struct {
        const char* apelido;
        const char* tecla;
    } casos[] = {
        {"enter", "Enter"},         {"return", "Enter"},         {"tab", "Tab"},
        {"esc", "Escape"},          {"escape", "Escape"},        {"space", "Space"},
        {"espaco", "Space"},        {"espa\u00e7o", "Space"},    {"backspace", "Backspace"},
        {"delete", "Delete"},       {"del", "Delete"},           {"home", "Home"},
        {"end", "End"},             {"pageup", "PageUp"},        {"pagedown", "PageDown"},
        {"up", "ArrowUp"},          {"cima", "ArrowUp"},         {"arrowup", "ArrowUp"},
        {"down", "ArrowDown"},      {"baixo", "ArrowDown"},      {"arrowdown", "ArrowDown"},
        {"left", "ArrowLeft"},      {"esquerda", "ArrowLeft"},   {"arrowleft", "ArrowLeft"},
        {"right", "ArrowRight"},    {"direita", "ArrowRight"},   {"arrowright", "ArrowRight"},
        {",", "Comma"},             {".", "Period"},             {"/", "Slash"},
        {"-", "Minus"},             {"=", "Equal"},              {";", "Semicolon"},
        {"'", "Quote"},             {"[", "BracketLeft"},        {"]", "BracketRight"},
        {"`", "Backquote"},         {"\\", "Backslash"},
    };
    static_assert(std::size(casos) == 38);
    for (const auto& c : casos) {
        SCOPED_TRACE(c.apelido);
        EXPECT_EQ(Teclas::codigo(c.apelido), c.tecla);
        EXPECT_TRUE(Teclas::virtuais().contains(c.tecla));
    }
}

TEST(TeclasCodigo, PassosEmOrdem) {
    const struct {
        const char* rotulo;
        std::string texto;
        std::optional<std::string> esperado;
    } casos[] = {
        // Trimming: Zs and tab only.
        {"vazio", "", std::nullopt},
        {"so brancos", " \t \u00a0\u3000", std::nullopt},
        {"A entre espacos", " A ", "KeyA"},
        {"z", "z", "KeyZ"},
        {"0", "0", "Digit0"},
        {"9 com tab", "\t9", "Digit9"},
        {"espaco sem quebra", "\u00a0q\u2003", "KeyQ"},
        {"quebra de linha fica", "a\n", std::nullopt},
        {"enter com quebra", "enter\n", std::nullopt},
        // Letters and digits: only ASCII, decided by the first scalar of one character.
        {"c cedilha", "\u00e7", std::nullopt},
        {"e agudo", "\u00e9", std::nullopt},
        {"a com acento combinado", "a\u0301", "KeyA\u0301"},
        {"A com acento combinado", "A\u0301", "KeyA\u0301"},
        {"7 com marca", "7\u20e3", "Digit7\u20e3"},
        {"dois caracteres", "ab", std::nullopt},
        {"digito arabe", "\u0663", std::nullopt},
        {"digito largo", "\uff11", std::nullopt},
        // Full lower-casing: the Kelvin sign becomes k, the dotted I becomes i + U+0307.
        {"sinal kelvin", "\u212a", "KeyK"},
        {"I com ponto", "\u0130", "KeyI\u0307"},
        // Function keys.
        {"F1", "F1", "F1"},
        {"f1", "f1", "F1"},
        {"F10 com brancos", " F10\t", "F10"},
        {"f12", "f12", "F12"},
        {"F13", "F13", std::nullopt},
        {"f0", "f0", std::nullopt},
        {"f01", "f01", std::nullopt},
        {"f", "f", "KeyF"},
        {"f1 seguido de quebra", "f1\n", "F1\n"},  // "$" matches before a final line break
        // Aliases, in any case and in either Unicode form.
        {"ENTER", "ENTER", "Enter"},
        {"Return", "Return", "Enter"},
        {"Espaco com cedilha", "Espa\u00e7o", "Space"},
        {"ESPACO", "ESPACO", "Space"},
        {"espaco decomposto", "ESPAC\u0327O", "Space"},
        {"virgula", ",", "Comma"},
        {"barra invertida", "\\", "Backslash"},
        {"del nao e backspace", "DEL", "Delete"},
        // Names written out and keys without an alias.
        {"KeyA", "KeyA", std::nullopt},
        {"ArrowUp", "ArrowUp", "ArrowUp"},  // lower-cased, it is the alias "arrowup"
        {"Numpad1", "Numpad1", std::nullopt},
        {"capslock", "capslock", std::nullopt},
        {"insert", "insert", std::nullopt},
        {"cmd", "cmd", std::nullopt},
        {"shift", "shift", std::nullopt},
        {"utf8 invalido", "\xff", std::nullopt},
        {"utf8 invalido depois de a", "a\xff", std::nullopt},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.rotulo);
        EXPECT_EQ(Teclas::codigo(c.texto), c.esperado);
    }
}

TEST(TeclasCodigo, TextoAsciiDaSempreUmaTeclaConhecida) {
    for (int a = 0x21; a < 0x7f; ++a) {
        const std::string t(1, static_cast<char>(a));
        SCOPED_TRACE(t);
        if (const auto c = Teclas::codigo(t)) {
            EXPECT_TRUE(Teclas::virtuais().contains(*c));
        }
    }
    for (int n = 1; n <= 12; ++n) {
        std::string t = "f";
        t += std::to_string(n);
        SCOPED_TRACE(t);
        const auto c = Teclas::codigo(t);
        ASSERT_TRUE(c);
        EXPECT_TRUE(Teclas::virtuais().contains(*c));
    }
}

TEST(TeclasProtegido, TerminaisShellsECofres) {
    const struct {
        std::string texto;
        bool esperado;
    } casos[] = {
        {"Terminal", true},
        {"iTerm", true},
        {"iTerm2", true},
        {"Windows PowerShell", true},
        {"Acesso \u00c0s Chaves", true},
        {"acesso \u00e0s chaves", true},
        {"1Password 7", true},
        {"KeePassXC", true},
        {"keepass", true},
        {"cmd.exe", true},
        {"CMD.EXE", true},
        {"Prompt de Comando", true},
        {"Keychain Access", true},
        {"Senhas", true},
        {"Passwords", true},
        {"Ghostty", true},
        {"WezTerm", true},
        {"Alacritty", true},
        {"kitty", true},
        {"Hyper", true},
        {"pwsh", true},
        {"Bitwarden", true},
        {"LastPass", true},
        {"Dashlane", true},
        {"Warp", true},
        {"Visual Studio Code \u2014 terminal", true},
        {"(terminal)", true},
        {"Notas", false},
        {"", false},
        {"terminals", false},
        {"Terminals", false},
        {"iTerm3", false},
        {"cmdxexe", false},        // the dot is literal
        {"Warped", false},
        {"aterminal", false},
        {"terminal\u00e9", false},  // é is a word character: no boundary
        {"\u00e9terminal", false},
        {"acesso as chaves", false},
        {"acesso a\u0300s chaves", false},  // decomposed à is not the pattern's U+00E0
        {"Senha", false},
        {"\xff terminal \xfe", true},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.texto);
        EXPECT_EQ(Teclas::protegido(c.texto), c.esperado);
    }
}

}  // namespace
}  // namespace kivo
