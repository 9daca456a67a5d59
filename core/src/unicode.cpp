#include "unicode.hpp"

#include <unicode/brkiter.h>
#include <unicode/bytestream.h>
#include <unicode/casemap.h>
#include <unicode/normalizer2.h>
#include <unicode/regex.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/ustring.h>
#include <unicode/utext.h>

#include <cstring>
#include <stdexcept>
#include <vector>

namespace kivo::texto {
namespace {

constexpr char32_t kSubstituto = 0xFFFD;

int gcb(char32_t c) noexcept {
    return u_getIntPropertyValue(static_cast<UChar32>(c), UCHAR_GRAPHEME_CLUSTER_BREAK);
}

// A code point that never starts a cluster of its own after an ordinary character.
bool ligaAoAnterior(char32_t c) noexcept {
    const int g = gcb(c);
    return g == U_GCB_EXTEND || g == U_GCB_ZWJ || g == U_GCB_SPACING_MARK;
}

// One character break iterator per thread, cloned from a shared prototype.
icu::BreakIterator* iteradorGrafemas(UText* texto) {
    thread_local std::unique_ptr<icu::BreakIterator> it;
    if (!it) {
        UErrorCode erro = U_ZERO_ERROR;
        it.reset(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), erro));
        if (U_FAILURE(erro)) {
            it.reset();
            return nullptr;
        }
    }
    UErrorCode erro = U_ZERO_ERROR;
    it->setText(texto, erro);
    return U_FAILURE(erro) ? nullptr : it.get();
}

struct TextoUtf8 {
    UText ut = UTEXT_INITIALIZER;
    explicit TextoUtf8(std::string_view s) {
        UErrorCode erro = U_ZERO_ERROR;
        utext_openUTF8(&ut, s.data(), static_cast<int64_t>(s.size()), &erro);
    }
    ~TextoUtf8() { utext_close(&ut); }
    TextoUtf8(const TextoUtf8&) = delete;
    TextoUtf8& operator=(const TextoUtf8&) = delete;
};

// Code point just before byte `i` (with its start in `inicio`).
char32_t anterior(std::string_view s, std::size_t i, std::size_t& inicio) noexcept {
    std::size_t j = i;
    int voltas = 0;
    while (j > 0 && voltas < 4) {
        --j;
        ++voltas;
        const auto b = static_cast<unsigned char>(s[j]);
        if ((b & 0xC0) != 0x80) break;
    }
    std::size_t k = j;
    const char32_t c = decodificar(s, k);
    if (k != i) {  // not a well-formed sequence ending at i: the last byte alone
        inicio = i - 1;
        return kSubstituto;
    }
    inicio = j;
    return c;
}

const icu::Normalizer2* normalizadorNfc() {
    UErrorCode erro = U_ZERO_ERROR;
    const icu::Normalizer2* n = icu::Normalizer2::getNFCInstance(erro);
    return U_FAILURE(erro) ? nullptr : n;
}

}  // namespace

bool ehAscii(std::string_view s) noexcept {
    std::size_t i = 0;
    std::uint64_t acc = 0;
    for (; i + 8 <= s.size(); i += 8) {
        std::uint64_t w;
        std::memcpy(&w, s.data() + i, 8);
        acc |= w;
    }
    for (; i < s.size(); ++i) acc |= static_cast<unsigned char>(s[i]);
    return (acc & 0x8080808080808080ull) == 0;
}

char32_t decodificar(std::string_view s, std::size_t& i) noexcept {
    const auto n = s.size();
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    auto cont = [&](std::size_t k, unsigned lo, unsigned hi) {
        if (k >= n) return false;
        const auto b = static_cast<unsigned char>(s[k]);
        return b >= lo && b <= hi;
    };
    if (b0 >= 0xC2 && b0 <= 0xDF && cont(i + 1, 0x80, 0xBF)) {
        const char32_t c = ((b0 & 0x1Fu) << 6) | (static_cast<unsigned char>(s[i + 1]) & 0x3Fu);
        i += 2;
        return c;
    }
    if (b0 >= 0xE0 && b0 <= 0xEF) {
        const unsigned lo = b0 == 0xE0 ? 0xA0 : 0x80;
        const unsigned hi = b0 == 0xED ? 0x9F : 0xBF;
        if (cont(i + 1, lo, hi) && cont(i + 2, 0x80, 0xBF)) {
            const char32_t c = ((b0 & 0x0Fu) << 12) |
                               ((static_cast<unsigned char>(s[i + 1]) & 0x3Fu) << 6) |
                               (static_cast<unsigned char>(s[i + 2]) & 0x3Fu);
            i += 3;
            return c;
        }
    }
    if (b0 >= 0xF0 && b0 <= 0xF4) {
        const unsigned lo = b0 == 0xF0 ? 0x90 : 0x80;
        const unsigned hi = b0 == 0xF4 ? 0x8F : 0xBF;
        if (cont(i + 1, lo, hi) && cont(i + 2, 0x80, 0xBF) && cont(i + 3, 0x80, 0xBF)) {
            const char32_t c = ((b0 & 0x07u) << 18) |
                               ((static_cast<unsigned char>(s[i + 1]) & 0x3Fu) << 12) |
                               ((static_cast<unsigned char>(s[i + 2]) & 0x3Fu) << 6) |
                               (static_cast<unsigned char>(s[i + 3]) & 0x3Fu);
            i += 4;
            return c;
        }
    }
    ++i;
    return kSubstituto;
}

bool utf8Valido(std::string_view s) noexcept {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto b = static_cast<unsigned char>(s[i]);
        if (b < 0x80) {
            ++i;
            continue;
        }
        const std::size_t antes = i;
        const char32_t c = decodificar(s, i);
        if (c == kSubstituto && i - antes == 1) return false;
    }
    return true;
}

void anexarUtf8(std::string& d, char32_t c) {
    if (c < 0x80) {
        d.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        d.push_back(static_cast<char>(0xC0 | (c >> 6)));
        d.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        d.push_back(static_cast<char>(0xE0 | (c >> 12)));
        d.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        d.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        d.push_back(static_cast<char>(0xF0 | (c >> 18)));
        d.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        d.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        d.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

std::size_t contarCodigos(std::string_view s) noexcept {
    std::size_t n = 0;
    for (std::size_t i = 0; i < s.size();) {
        decodificar(s, i);
        ++n;
    }
    return n;
}

// --- Grapheme clusters

bool limite(std::string_view s, std::size_t i) {
    if (i == 0 || i >= s.size()) return true;
    const auto depois = static_cast<unsigned char>(s[i]);
    if ((depois & 0xC0) == 0x80) {
        // Inside a code point only when a lead byte at most three bytes back begins a
        // well-formed sequence that covers `i`; a stray continuation byte is a U+FFFD
        // of its own (as decodificar reads it).
        std::size_t j = i;
        while (j > 0 && i - j < 3 && (static_cast<unsigned char>(s[j - 1]) & 0xC0) == 0x80) --j;
        if (j > 0 && i - j < 3) {
            std::size_t k = j - 1;
            decodificar(s, k);
            if (k > i) return false;
        }
    }
    std::size_t inicioAnterior = 0;
    const char32_t a = anterior(s, i, inicioAnterior);
    std::size_t k = i;
    const char32_t b = decodificar(s, k);
    // Exact pairwise rules whenever one side is ASCII; no ASCII character takes part
    // in the emoji, regional-indicator or Hangul rules.
    if (a < 0x80) {
        if (a == '\r') return b != '\n';
        if (a < 0x20 || a == 0x7F) return true;
        return !ligaAoAnterior(b);
    }
    if (b < 0x80) {
        if (b < 0x20 || b == 0x7F) return true;
        return gcb(a) != U_GCB_PREPEND;
    }
    TextoUtf8 t(s);
    icu::BreakIterator* it = iteradorGrafemas(&t.ut);
    if (!it) return true;
    return it->isBoundary(static_cast<int32_t>(i));
}

std::size_t contarGrafemas(std::string_view s, std::size_t teto) {
    if (ehAscii(s)) {
        std::size_t n = 0;
        for (std::size_t i = 0; i < s.size() && n < teto; ++i) {
            if (!(s[i] == '\n' && i > 0 && s[i - 1] == '\r')) ++n;
        }
        return n;
    }
    TextoUtf8 t(s);
    icu::BreakIterator* it = iteradorGrafemas(&t.ut);
    if (!it) return contarCodigos(s);
    std::size_t n = 0;
    it->first();
    while (n < teto && it->next() != icu::BreakIterator::DONE) ++n;
    return n;
}

std::string_view primeirosGrafemas(std::string_view s, std::size_t n) {
    if (ehAscii(s)) {
        std::size_t grafemas = 0;
        for (std::size_t i = 0; i < s.size(); ++i) {
            if (s[i] == '\n' && i > 0 && s[i - 1] == '\r') continue;
            if (grafemas == n) return s.substr(0, i);
            ++grafemas;
        }
        return s;
    }
    if (contarCodigos(s) <= n) return s;
    TextoUtf8 t(s);
    icu::BreakIterator* it = iteradorGrafemas(&t.ut);
    if (!it) return s;
    it->first();
    std::int32_t fim = 0;
    for (std::size_t k = 0; k < n; ++k) {
        const std::int32_t prox = it->next();
        if (prox == icu::BreakIterator::DONE) return s;
        fim = prox;
    }
    return s.substr(0, static_cast<std::size_t>(fim));
}

// --- Sets and trimming

bool pertence(char32_t c, Conjunto conjunto) noexcept {
    switch (conjunto) {
        case Conjunto::espaco:
            if (c == '\t' || c == ' ') return true;
            if (c < 0x80) return false;
            return u_charType(static_cast<UChar32>(c)) == U_SPACE_SEPARATOR;
        case Conjunto::espacoELinhas:
            if ((c >= 0x0A && c <= 0x0D) || c == ' ' || c == 0x85) return true;
            if (c < 0x80) return false;
            {
                const auto t = u_charType(static_cast<UChar32>(c));
                return t == U_SPACE_SEPARATOR || t == U_LINE_SEPARATOR ||
                       t == U_PARAGRAPH_SEPARATOR;
            }
        case Conjunto::linhas:
            return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
    }
    return false;
}

std::string_view aparar(std::string_view s, Conjunto conjunto) {
    std::size_t ini = 0;
    while (ini < s.size()) {
        std::size_t k = ini;
        const char32_t c = decodificar(s, k);
        if (!pertence(c, conjunto)) break;
        if (k < s.size()) {
            std::size_t j = k;
            const char32_t seguinte = decodificar(s, j);
            if (seguinte >= 0x80 && ligaAoAnterior(seguinte)) break;
        }
        ini = k;
    }
    std::size_t fim = s.size();
    while (fim > ini) {
        std::size_t inicioAnterior = 0;
        const char32_t c = anterior(s, fim, inicioAnterior);
        if (!pertence(c, conjunto)) break;
        fim = inicioAnterior;
    }
    return s.substr(ini, fim - ini);
}

// --- Literal matching

bool comecaCom(std::string_view s, std::string_view prefixo) {
    return s.starts_with(prefixo) && limite(s, prefixo.size());
}

std::size_t encontrar(std::string_view s, std::string_view agulha, std::size_t desde) {
    for (std::size_t p = s.find(agulha, desde); p != npos; p = s.find(agulha, p + 1)) {
        if (limite(s, p) && limite(s, p + agulha.size())) return p;
    }
    return npos;
}

bool contemSemCaixa(std::string_view s, std::string_view agulha) {
    if (agulha.empty()) return true;
    if (ehAscii(s) && ehAscii(agulha)) {
        auto baixa = [](char c) {
            return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        };
        for (std::size_t p = 0; p + agulha.size() <= s.size(); ++p) {
            std::size_t k = 0;
            while (k < agulha.size() && baixa(s[p + k]) == baixa(agulha[k])) ++k;
            if (k == agulha.size() && limite(s, p) && limite(s, p + k)) return true;
        }
        return false;
    }
    // Fold code point by code point, remembering where each folded unit came from.
    struct Unidade {
        char32_t c;
        std::size_t origem;  // byte offset of the source code point
        bool primeira;       // first unit of that code point's folding
    };
    auto dobrar = [](std::string_view t, std::vector<Unidade>& saida) {
        for (std::size_t i = 0; i < t.size();) {
            const std::size_t origem = i;
            const char32_t c = decodificar(t, i);
            UChar origem16[2];
            int32_t n16 = 0;
            U16_APPEND_UNSAFE(origem16, n16, static_cast<UChar32>(c));
            UChar dobrado[8];
            UErrorCode erro = U_ZERO_ERROR;
            const int32_t m = u_strFoldCase(dobrado, 8, origem16, n16, U_FOLD_CASE_DEFAULT, &erro);
            bool primeira = true;
            if (U_FAILURE(erro)) {
                saida.push_back({c, origem, true});
                continue;
            }
            for (int32_t k = 0; k < m;) {
                UChar32 d;
                U16_NEXT(dobrado, k, m, d);
                saida.push_back({static_cast<char32_t>(d), origem, primeira});
                primeira = false;
            }
        }
    };
    std::vector<Unidade> texto;
    std::vector<Unidade> procurada;
    dobrar(s, texto);
    dobrar(agulha, procurada);
    for (std::size_t p = 0; p + procurada.size() <= texto.size(); ++p) {
        if (!texto[p].primeira || !limite(s, texto[p].origem)) continue;
        std::size_t k = 0;
        while (k < procurada.size() && texto[p + k].c == procurada[k].c) ++k;
        if (k != procurada.size()) continue;
        const std::size_t fim = p + k;
        if (fim == texto.size() || (texto[fim].primeira && limite(s, texto[fim].origem))) return true;
    }
    return false;
}

// --- Canonical equivalence

std::string nfc(std::string_view s) {
    if (ehAscii(s)) return std::string(s);
    const icu::Normalizer2* n = normalizadorNfc();
    if (!n) return std::string(s);
    UErrorCode erro = U_ZERO_ERROR;
    const icu::StringPiece peca(s.data(), static_cast<int32_t>(s.size()));
    if (n->isNormalizedUTF8(peca, erro) && U_SUCCESS(erro)) return std::string(s);
    std::string saida;
    icu::StringByteSink<std::string> pia(&saida, static_cast<int32_t>(s.size()));
    erro = U_ZERO_ERROR;
    n->normalizeUTF8(0, peca, pia, nullptr, erro);
    if (U_FAILURE(erro)) return std::string(s);
    return saida;
}

bool iguais(std::string_view a, std::string_view b) {
    if (a == b) return true;
    if (ehAscii(a) && ehAscii(b)) return false;
    if (!utf8Valido(a) || !utf8Valido(b)) return false;
    return nfc(a) == nfc(b);
}

bool iguaisOpcionais(const std::optional<std::string>& a, const std::optional<std::string>& b) {
    if (a.has_value() != b.has_value()) return false;
    return !a || iguais(*a, *b);
}

int comparar(std::string_view a, std::string_view b) {
    if ((ehAscii(a) && ehAscii(b)) || !utf8Valido(a) || !utf8Valido(b)) return a.compare(b);
    return nfc(a).compare(nfc(b));
}

// --- Case mapping

namespace {
template <class Mapear>
std::string mapearCaixa(std::string_view s, Mapear mapear) {
    std::string saida;
    icu::StringByteSink<std::string> pia(&saida, static_cast<int32_t>(s.size()));
    UErrorCode erro = U_ZERO_ERROR;
    mapear(icu::StringPiece(s.data(), static_cast<int32_t>(s.size())), pia, erro);
    if (U_FAILURE(erro)) return std::string(s);
    return saida;
}
}  // namespace

std::string minusculas(std::string_view s) {
    if (ehAscii(s)) {
        std::string r(s);
        for (char& c : r)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        return r;
    }
    return mapearCaixa(s, [](icu::StringPiece p, icu::ByteSink& pia, UErrorCode& e) {
        icu::CaseMap::utf8ToLower("", 0, p, pia, nullptr, e);
    });
}

std::string maiusculas(std::string_view s) {
    if (ehAscii(s)) {
        std::string r(s);
        for (char& c : r)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        return r;
    }
    return mapearCaixa(s, [](icu::StringPiece p, icu::ByteSink& pia, UErrorCode& e) {
        icu::CaseMap::utf8ToUpper("", 0, p, pia, nullptr, e);
    });
}

// --- Properties

bool letraMarcaOuNumero(char32_t c) noexcept {
    const auto mascara = U_MASK(u_charType(static_cast<UChar32>(c)));
    return (mascara & (U_GC_L_MASK | U_GC_M_MASK | U_GC_N_MASK)) != 0;
}

bool digitoDecimal(char32_t c) noexcept {
    return u_charType(static_cast<UChar32>(c)) == U_DECIMAL_DIGIT_NUMBER;
}

// --- Regular expressions

struct Regex::Padrao {
    std::unique_ptr<icu::RegexPattern> p;
};

Regex::Regex(std::string_view padrao, bool semCaixa) : padrao_(std::make_unique<Padrao>()) {
    UErrorCode erro = U_ZERO_ERROR;
    UParseError onde;
    const auto fonte = icu::UnicodeString::fromUTF8(
        icu::StringPiece(padrao.data(), static_cast<int32_t>(padrao.size())));
    padrao_->p.reset(icu::RegexPattern::compile(fonte, semCaixa ? UREGEX_CASE_INSENSITIVE : 0,
                                                onde, erro));
    if (U_FAILURE(erro)) throw std::logic_error("invalid regular expression");
}

Regex::~Regex() = default;

std::size_t Regex::inicio(std::string_view texto) const {
    TextoUtf8 t(texto);
    UErrorCode erro = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> m(padrao_->p->matcher(erro));
    if (U_FAILURE(erro)) return npos;
    m->reset(&t.ut);
    if (!m->find(erro) || U_FAILURE(erro)) return npos;
    const int64_t ini = m->start64(erro);
    return U_FAILURE(erro) ? npos : static_cast<std::size_t>(ini);
}

bool Regex::busca(std::string_view texto) const { return inicio(texto) != npos; }

std::string Regex::trocarTodos(std::string_view texto, std::string_view troca) const {
    const auto fonte = icu::UnicodeString::fromUTF8(
        icu::StringPiece(texto.data(), static_cast<int32_t>(texto.size())));
    UErrorCode erro = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> m(padrao_->p->matcher(fonte, erro));
    if (U_FAILURE(erro)) return std::string(texto);
    const auto substituto = icu::UnicodeString::fromUTF8(
        icu::StringPiece(troca.data(), static_cast<int32_t>(troca.size())));
    const icu::UnicodeString r = m->replaceAll(substituto, erro);
    if (U_FAILURE(erro)) return std::string(texto);
    std::string saida;
    r.toUTF8String(saida);
    return saida;
}

}  // namespace kivo::texto
