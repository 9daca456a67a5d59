// The Unicode layer: the only code that talks to ICU (the library, kivo_gancho and kivo
// link it; the installed KivoCore carries it inside). Text is UTF-8 in and out.
//
// "Character" means an extended grapheme cluster. ASCII text takes cheap paths that
// give the same answers without building any ICU object, because the hook command
// runs on every agent event. Invalid UTF-8 never crashes anything here: a bad byte
// reads as U+FFFD. All functions are thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kivo::texto {

inline constexpr std::size_t npos = std::string_view::npos;

bool ehAscii(std::string_view s) noexcept;
bool utf8Valido(std::string_view s) noexcept;

// Decodes the code point at byte `i` and moves `i` past it.
char32_t decodificar(std::string_view s, std::size_t& i) noexcept;
void anexarUtf8(std::string& destino, char32_t c);
std::size_t contarCodigos(std::string_view s) noexcept;
// Decodes the code point at byte `i` and moves `i` past it, as decodificar does, except
// that an ill-formed sequence is read as its maximal subpart (a sequence cut short is
// one error, not one per byte) and gives nullopt.
std::optional<char32_t> lerCodigo(std::string_view s, std::size_t& i) noexcept;

// --- Grapheme clusters
// True when byte offset `i` is a cluster boundary (0 and size() always are).
bool limite(std::string_view s, std::size_t i);
// Number of clusters, counting no further than `teto`.
std::size_t contarGrafemas(std::string_view s, std::size_t teto = npos);
// The first `n` clusters (the whole text when it has fewer).
std::string_view primeirosGrafemas(std::string_view s, std::size_t n);
// Byte range of one cluster.
struct Grafema {
    std::size_t inicio;
    std::size_t fim;
};
// Every cluster of `s`, in order.
std::vector<Grafema> grafemas(std::string_view s);
// Columns one cluster takes on a terminal: 2 for East Asian wide and fullwidth characters
// and for emoji shown as pictures, 0 for a cluster made only of combining marks or format
// characters, 1 otherwise.
int colunas(std::string_view grafema);

// --- Character sets and trimming
enum class Conjunto {
    espaco,         // Zs and U+0009
    espacoELinhas,  // Z, U+000A..U+000D and U+0085
    linhas,         // U+000A..U+000D, U+0085, U+2028, U+2029
};
bool pertence(char32_t c, Conjunto conjunto) noexcept;
// Removes members of the set from both ends, code point by code point; a member
// that carries a combining mark (or a joiner) stops the trim at the front.
std::string_view aparar(std::string_view s, Conjunto conjunto);

// --- Literal matching on cluster boundaries
bool comecaCom(std::string_view s, std::string_view prefixo);
// Byte offset of the first match of `agulha` at or after `desde` whose both ends
// are cluster boundaries, or npos.
std::size_t encontrar(std::string_view s, std::string_view agulha, std::size_t desde = 0);
// Case-insensitive containment under full default case folding, on cluster boundaries.
bool contemSemCaixa(std::string_view s, std::string_view agulha);

// --- Canonical equivalence and order
std::string nfc(std::string_view s);
bool iguais(std::string_view a, std::string_view b);
bool iguaisOpcionais(const std::optional<std::string>& a, const std::optional<std::string>& b);
// Order of code points of the NFC forms: negative, zero or positive.
int comparar(std::string_view a, std::string_view b);

// --- Case mapping (full, locale-independent)
std::string minusculas(std::string_view s);
std::string maiusculas(std::string_view s);

// --- Character properties
bool letraMarcaOuNumero(char32_t c) noexcept;  // general categories L, M, N
bool digitoDecimal(char32_t c) noexcept;        // Nd
bool formato(char32_t c) noexcept;              // Cf

// An ICU regular expression, compiled once. Matching works on code points.
class Regex {
public:
    explicit Regex(std::string_view padrao, bool semCaixa = false);
    ~Regex();
    Regex(const Regex&) = delete;
    Regex& operator=(const Regex&) = delete;

    bool busca(std::string_view texto) const;
    // Byte offset where the first match starts, or npos.
    std::size_t inicio(std::string_view texto) const;
    // Every match replaced by `troca` ("$1" is the first group).
    std::string trocarTodos(std::string_view texto, std::string_view troca) const;

private:
    struct Padrao;
    std::unique_ptr<Padrao> padrao_;
};

}  // namespace kivo::texto
