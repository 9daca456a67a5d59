#include "kivo/teclas.hpp"

#include <utility>

#include "unicode.hpp"

namespace kivo::Teclas {
namespace {

// Key aliases a person may type (lower case, English and Portuguese) to key names.
// Only codigo() reads it.
const std::unordered_map<std::string, std::string>& nomes() {
    static const std::unordered_map<std::string, std::string> tabela{
        {"enter", "Enter"},
        {"return", "Enter"},
        {"tab", "Tab"},
        {"esc", "Escape"},
        {"escape", "Escape"},
        {"space", "Space"},
        {"espaco", "Space"},
        {"espa\u00e7o", "Space"},
        {"backspace", "Backspace"},
        {"delete", "Delete"},
        {"del", "Delete"},  // forward delete, not Backspace
        {"home", "Home"},
        {"end", "End"},
        {"pageup", "PageUp"},
        {"pagedown", "PageDown"},
        {"up", "ArrowUp"},
        {"cima", "ArrowUp"},
        {"arrowup", "ArrowUp"},
        {"down", "ArrowDown"},
        {"baixo", "ArrowDown"},
        {"arrowdown", "ArrowDown"},
        {"left", "ArrowLeft"},
        {"esquerda", "ArrowLeft"},
        {"arrowleft", "ArrowLeft"},
        {"right", "ArrowRight"},
        {"direita", "ArrowRight"},
        {"arrowright", "ArrowRight"},
        {",", "Comma"},
        {".", "Period"},
        {"/", "Slash"},
        {"-", "Minus"},
        {"=", "Equal"},
        {";", "Semicolon"},
        {"'", "Quote"},
        {"[", "BracketLeft"},
        {"]", "BracketRight"},
        {"`", "Backquote"},
        {"\\", "Backslash"},
    };
    return tabela;
}

// Terminals, command shells and password managers. 223 bytes; "à" is U+00E0.
constexpr char kPadraoProtegido[] =
    "\\b(terminal|iterm2?|warp|ghostty|wezterm|alacritty|kitty|hyper|powershell|pwsh|"
    "cmd\\.exe|prompt de comando|command prompt|1password|bitwarden|lastpass|dashlane|"
    "keepass\\w*|keychain access|acesso \u00e0s chaves|senhas|passwords)\\b";
static_assert(sizeof kPadraoProtegido - 1 == 223);

}  // namespace

// Carbon virtual key codes (kVK_*): the numbering follows the ANSI keyboard's
// physical layout, not the alphabet.
const std::unordered_map<std::string, std::uint16_t>& virtuais() {
    static const std::unordered_map<std::string, std::uint16_t> tabela{
        {"KeyA", 0},
        {"KeyS", 1},
        {"KeyD", 2},
        {"KeyF", 3},
        {"KeyH", 4},
        {"KeyG", 5},
        {"KeyZ", 6},
        {"KeyX", 7},
        {"KeyC", 8},
        {"KeyV", 9},
        {"IntlBackslash", 10},  // the ISO section key
        {"KeyB", 11},
        {"KeyQ", 12},
        {"KeyW", 13},
        {"KeyE", 14},
        {"KeyR", 15},
        {"KeyY", 16},
        {"KeyT", 17},
        {"Digit1", 18},
        {"Digit2", 19},
        {"Digit3", 20},
        {"Digit4", 21},
        {"Digit6", 22},
        {"Digit5", 23},
        {"Equal", 24},
        {"Digit9", 25},
        {"Digit7", 26},
        {"Minus", 27},
        {"Digit8", 28},
        {"Digit0", 29},
        {"BracketRight", 30},
        {"KeyO", 31},
        {"KeyU", 32},
        {"BracketLeft", 33},
        {"KeyI", 34},
        {"KeyP", 35},
        {"Enter", 36},
        {"KeyL", 37},
        {"KeyJ", 38},
        {"Quote", 39},
        {"KeyK", 40},
        {"Semicolon", 41},
        {"Backslash", 42},
        {"Comma", 43},
        {"Slash", 44},
        {"KeyN", 45},
        {"KeyM", 46},
        {"Period", 47},
        {"Tab", 48},
        {"Space", 49},
        {"Backquote", 50},
        {"Backspace", 51},  // the key macOS labels Delete
        {"Escape", 53},
        {"MetaRight", 54},
        {"MetaLeft", 55},
        {"ShiftLeft", 56},
        {"CapsLock", 57},
        {"AltLeft", 58},
        {"ControlLeft", 59},
        {"ShiftRight", 60},
        {"AltRight", 61},
        {"ControlRight", 62},
        {"NumpadDecimal", 65},
        {"NumpadMultiply", 67},
        {"NumpadAdd", 69},
        {"NumLock", 71},  // the keypad Clear key
        {"NumpadDivide", 75},
        {"NumpadEnter", 76},
        {"NumpadSubtract", 78},
        {"NumpadEqual", 81},
        {"Numpad0", 82},
        {"Numpad1", 83},
        {"Numpad2", 84},
        {"Numpad3", 85},
        {"Numpad4", 86},
        {"Numpad5", 87},
        {"Numpad6", 88},
        {"Numpad7", 89},
        {"Numpad8", 91},
        {"Numpad9", 92},
        {"F5", 96},
        {"F6", 97},
        {"F7", 98},
        {"F3", 99},
        {"F8", 100},
        {"F9", 101},
        {"F11", 103},
        {"F10", 109},
        {"F12", 111},
        {"Insert", 114},  // the Help key position
        {"Home", 115},
        {"PageUp", 116},
        {"Delete", 117},  // forward delete
        {"F4", 118},
        {"End", 119},
        {"F2", 120},
        {"PageDown", 121},
        {"F1", 122},
        {"ArrowLeft", 123},
        {"ArrowRight", 124},
        {"ArrowDown", 125},
        {"ArrowUp", 126},
        {"ContextMenu", 110},
    };
    return tabela;
}

// NSEvent modifier-flag masks; left and right keys share one mask.
const std::unordered_map<std::string, std::uint64_t>& marcas() {
    static const std::unordered_map<std::string, std::uint64_t> tabela{
        {"ShiftLeft", 0x20000},   {"ShiftRight", 0x20000},  {"ControlLeft", 0x40000},
        {"ControlRight", 0x40000}, {"AltLeft", 0x80000},     {"AltRight", 0x80000},
        {"MetaLeft", 0x100000},   {"MetaRight", 0x100000},
    };
    return tabela;
}

// Aliases always name the left-hand key.
const std::unordered_map<std::string, std::string>& modificadores() {
    static const std::unordered_map<std::string, std::string> tabela{
        {"cmd", "MetaLeft"},     {"command", "MetaLeft"}, {"win", "MetaLeft"},
        {"meta", "MetaLeft"},    {"ctrl", "ControlLeft"}, {"control", "ControlLeft"},
        {"alt", "AltLeft"},      {"option", "AltLeft"},   {"opt", "AltLeft"},
        {"shift", "ShiftLeft"},
    };
    return tabela;
}

std::optional<std::string> codigo(std::string_view texto) {
    // Line breaks are not trimmed: only Zs and the tab.
    const std::string t = texto::minusculas(texto::aparar(texto, texto::Conjunto::espaco));

    // One character whose first scalar is an ASCII letter or digit. The character may
    // carry combining marks ("a" + U+0301), which then stay in the name.
    if (!t.empty() && texto::contarGrafemas(t, 2) == 1) {
        std::size_t i = 0;
        const char32_t primeiro = texto::decodificar(t, i);
        if (primeiro >= U'a' && primeiro <= U'z') return "Key" + texto::maiusculas(t);
        if (primeiro >= U'0' && primeiro <= U'9') return "Digit" + t;
    }

    // ICU's "$" also matches before a line break that ends the text, so "f1\n"
    // gives "F1\n", as the pattern says.
    static const texto::Regex funcao("^f([1-9]|1[0-2])$");
    if (funcao.busca(t)) return texto::maiusculas(t);

    // Aliases are compared in their composed form, so a decomposed "espaço" is found.
    const auto& tabela = nomes();
    const auto it = tabela.find(texto::nfc(t));
    if (it == tabela.end()) return std::nullopt;
    return it->second;
}

bool protegido(std::string_view texto) {
    static const texto::Regex padrao(kPadraoProtegido, /*semCaixa=*/true);
    return padrao.busca(texto);
}

}  // namespace kivo::Teclas
