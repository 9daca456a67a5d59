// Private strict JSON reader (RFC 8259 over UTF-8) shared by every part that reads
// JSON: hook input, record files, usage records and stream payloads.
//
// The parser is a push parser without recursion: nesting is kept in a bit stack, so a
// document nested a million levels deep costs 128 KiB and never overflows the call
// stack. It reads from a source that may deliver its bytes in pieces (the hook feeds
// it straight from standard input) and hands what it finds to a handler; strings and
// numbers are only copied when the handler asks for them. Every byte is validated.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <nlohmann/json.hpp>

#include "unicode.hpp"

namespace kivo::json {

// A whole text in memory.
struct FonteMemoria {
    const char* p;
    const char* fim;
    explicit FonteMemoria(std::string_view s) : p(s.data()), fim(s.data() + s.size()) {}
    bool recarregar() { return false; }
};

enum class Literal { verdadeiro, falso, nulo };

// Handler interface (all members return false to stop the parse as a failure):
//   bool inicioObjeto(); bool fimObjeto(); bool inicioLista(); bool fimLista();
//   bool querChave(std::size_t profundidade);   // copy the next key?
//   bool querTexto(std::size_t profundidade);   // copy the next string value?
//   bool querNumero(std::size_t profundidade);  // copy the next number's text?
//   bool chave(std::string& k); bool texto(std::string& s);   // empty when not wanted
//   bool numero(std::string_view lexema);                      // empty when not wanted
//   bool literal(Literal l);
// `profundidade` is the number of open containers (members of the top-level object
// are at depth 1).
//
// A handler may also bound what is copied (both members or neither):
//   Corte corte(std::size_t profundidade, bool ehChave);  // how much of the next key,
//                                                        // string or number to keep
//   bool cortado();   // the chave/texto/numero call that follows gets a cut one
// The rest of a cut value is still read and validated, only not kept.

// At most `bytes` bytes of a copied string, whole UTF-8 characters: its start, or
// its end when `fim`. A number is cut after `bytes` bytes (never by its end).
struct Corte {
    std::size_t bytes = static_cast<std::size_t>(-1);
    bool fim = false;
};

namespace detalhe {

class PilhaBits {
public:
    void empilhar(bool objeto) {
        if ((n_ >> 6) >= palavras_.size()) palavras_.push_back(0);
        const std::uint64_t bit = std::uint64_t{1} << (n_ & 63);
        if (objeto)
            palavras_[n_ >> 6] |= bit;
        else
            palavras_[n_ >> 6] &= ~bit;
        ++n_;
    }
    void desempilhar() { --n_; }
    bool topoObjeto() const { return (palavras_[(n_ - 1) >> 6] >> ((n_ - 1) & 63)) & 1; }
    std::size_t tamanho() const { return n_; }

private:
    std::vector<std::uint64_t> palavras_;
    std::size_t n_ = 0;
};

template <class Fonte>
class Leitor {
public:
    explicit Leitor(Fonte& f) : f_(f) {}

    // Bounds the next string or number copied; cortou() tells whether it was cut.
    void limitar(Corte c) { corte_ = c; }
    bool cortou() const { return cortou_; }

    // Makes at least one byte available; false at the end of the input.
    bool garantir() {
        while (f_.p == f_.fim) {
            if (!f_.recarregar()) return false;
        }
        return true;
    }
    bool pular() {  // skips white space; false at the end of the input
        for (;;) {
            if (!garantir()) return false;
            while (f_.p < f_.fim) {
                const char c = *f_.p;
                if (c != ' ' && c != '\n' && c != '\r' && c != '\t') return true;
                ++f_.p;
            }
        }
    }
    bool proximo(unsigned char& c) {
        if (!garantir()) return false;
        c = static_cast<unsigned char>(*f_.p++);
        return true;
    }
    bool espiar(unsigned char& c) {
        if (!garantir()) return false;
        c = static_cast<unsigned char>(*f_.p);
        return true;
    }

    // Reads a string whose opening quote was consumed. Appends it to `saida` when
    // given, within the bound set by limitar().
    bool texto(std::string* saida) {
        const Corte corte = std::exchange(corte_, Corte{});
        cortou_ = false;
        for (;;) {
            if (!garantir()) return false;
            const char* q = f_.p;
            const char* const fim = f_.fim;
#if defined(__SSE2__)
            const __m128i aspas = _mm_set1_epi8('"');
            const __m128i barra = _mm_set1_epi8('\\');
            const __m128i espaco = _mm_set1_epi8(0x20);
            while (fim - q >= 16) {
                const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
                // Signed compare: bytes >= 0x80 are negative, so they stop here too.
                const __m128i parar = _mm_or_si128(
                    _mm_cmplt_epi8(v, espaco),
                    _mm_or_si128(_mm_cmpeq_epi8(v, aspas), _mm_cmpeq_epi8(v, barra)));
                const int mascara = _mm_movemask_epi8(parar);
                if (mascara != 0) {
                    q += __builtin_ctz(static_cast<unsigned>(mascara));
                    goto achou;
                }
                q += 16;
            }
#endif
            while (q < fim) {
                const auto c = static_cast<unsigned char>(*q);
                if (c < 0x20 || c == '"' || c == '\\' || c >= 0x80) break;
                ++q;
            }
#if defined(__SSE2__)
        achou:
#endif
            if (saida) guardar(saida, corte, f_.p, q);
            f_.p = q;
            if (q == fim) continue;
            const auto c = static_cast<unsigned char>(*q);
            ++f_.p;
            if (c == '"') {
                if (saida && corte.fim && saida->size() > corte.bytes) aparar(*saida, corte.bytes);
                return true;
            }
            const std::size_t antes = saida ? saida->size() : 0;
            if (c == '\\') {
                if (!escape(saida)) return false;
            } else if (c < 0x20) {
                return false;
            } else if (!multibyte(c, saida)) {
                return false;
            }
            if (saida && saida->size() > corte.bytes) conter(saida, corte, antes);
        }
    }

    // Reads a number whose first byte is available. Appends its text to `lexema`.
    bool numero(std::string* lexema) {
        const std::size_t maximo = std::exchange(corte_, Corte{}).bytes;
        cortou_ = false;
        unsigned char c = 0;
        auto tomar = [&]() {
            if (lexema) {
                if (lexema->size() < maximo) {
                    lexema->push_back(static_cast<char>(c));
                } else {
                    lexema = nullptr;
                    cortou_ = true;
                }
            }
            ++f_.p;
        };
        auto digitos = [&](bool umPeloMenos) {
            bool algum = false;
            while (espiar(c) && c >= '0' && c <= '9') {
                tomar();
                algum = true;
            }
            return algum || !umPeloMenos;
        };
        espiar(c);
        if (c == '-') {
            tomar();
            if (!espiar(c)) return false;
        }
        if (c == '0') {
            tomar();
        } else if (c >= '1' && c <= '9') {
            digitos(true);
        } else {
            return false;
        }
        if (espiar(c) && c == '.') {
            tomar();
            if (!digitos(true)) return false;
        }
        if (espiar(c) && (c == 'e' || c == 'E')) {
            tomar();
            if (espiar(c) && (c == '+' || c == '-')) tomar();
            if (!digitos(true)) return false;
        }
        return true;
    }

    bool palavra(const char* resto) {  // the rest of true, false or null
        for (; *resto; ++resto) {
            unsigned char c = 0;
            if (!proximo(c) || c != static_cast<unsigned char>(*resto)) return false;
        }
        return true;
    }

private:
    static bool continuacao(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

    // Keeps the last `bytes` bytes of `s` (whole characters).
    static void aparar(std::string& s, std::size_t bytes) {
        std::size_t inicio = s.size() - bytes;
        while (inicio < s.size() && continuacao(s[inicio])) ++inicio;
        s.erase(0, inicio);
    }

    // Appends [de, ate) to `*s` within the cut; `s` becomes null once the start of a
    // string is all kept. The end of one is kept within twice its bound while it
    // grows, and within its bound at the closing quote.
    void guardar(std::string*& s, const Corte& corte, const char* de, const char* ate) {
        std::size_t n = static_cast<std::size_t>(ate - de);
        if (s->size() + n <= corte.bytes) {
            s->append(de, n);
            return;
        }
        cortou_ = true;
        if (!corte.fim) {  // the runs copied are ASCII: a cut anywhere is between characters
            s->append(de, corte.bytes - s->size());
            s = nullptr;
            return;
        }
        if (n >= corte.bytes) {  // the piece's own end is all that stays
            s->clear();
            de = ate - corte.bytes;
            while (de < ate && continuacao(*de)) ++de;
            n = static_cast<std::size_t>(ate - de);
        }
        s->append(de, n);
        if (s->size() > 2 * corte.bytes) aparar(*s, corte.bytes);
    }

    // After a character appended from `antes` took `*s` past the cut.
    void conter(std::string*& s, const Corte& corte, std::size_t antes) {
        cortou_ = true;
        if (!corte.fim) {
            s->resize(antes);
            s = nullptr;
        } else if (s->size() > 2 * corte.bytes) {
            aparar(*s, corte.bytes);
        }
    }

    bool hex4(std::uint32_t& v) {
        v = 0;
        for (int k = 0; k < 4; ++k) {
            unsigned char c = 0;
            if (!proximo(c)) return false;
            std::uint32_t d;
            if (c >= '0' && c <= '9')
                d = c - '0';
            else if (c >= 'a' && c <= 'f')
                d = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F')
                d = c - 'A' + 10;
            else
                return false;
            v = (v << 4) | d;
        }
        return true;
    }

    bool escape(std::string* saida) {
        unsigned char e;
        if (!proximo(e)) return false;
        char simples = 0;
        switch (e) {
            case '"': simples = '"'; break;
            case '\\': simples = '\\'; break;
            case '/': simples = '/'; break;
            case 'b': simples = '\b'; break;
            case 'f': simples = '\f'; break;
            case 'n': simples = '\n'; break;
            case 'r': simples = '\r'; break;
            case 't': simples = '\t'; break;
            case 'u': break;
            default: return false;
        }
        if (simples) {
            if (saida) saida->push_back(simples);
            return true;
        }
        std::uint32_t u;
        if (!hex4(u)) return false;
        if (u >= 0xDC00 && u <= 0xDFFF) return false;  // lone low surrogate
        if (u >= 0xD800 && u <= 0xDBFF) {
            unsigned char b1 = 0, b2 = 0;
            if (!proximo(b1) || b1 != '\\' || !proximo(b2) || b2 != 'u') return false;
            std::uint32_t baixo;
            if (!hex4(baixo) || baixo < 0xDC00 || baixo > 0xDFFF) return false;
            u = 0x10000 + ((u - 0xD800) << 10) + (baixo - 0xDC00);
        }
        if (saida) anexar(*saida, u);
        return true;
    }

    static void anexar(std::string& d, std::uint32_t c) { texto::anexarUtf8(d, static_cast<char32_t>(c)); }

    // A well-formed UTF-8 sequence (Unicode table 3-7) whose lead byte was consumed.
    bool multibyte(unsigned char b0, std::string* saida) {
        int resto;
        unsigned char lo = 0x80, hi = 0xBF;
        if (b0 >= 0xC2 && b0 <= 0xDF) {
            resto = 1;
        } else if (b0 >= 0xE0 && b0 <= 0xEF) {
            resto = 2;
            if (b0 == 0xE0) lo = 0xA0;
            if (b0 == 0xED) hi = 0x9F;
        } else if (b0 >= 0xF0 && b0 <= 0xF4) {
            resto = 3;
            if (b0 == 0xF0) lo = 0x90;
            if (b0 == 0xF4) hi = 0x8F;
        } else {
            return false;
        }
        char bytes[4] = {static_cast<char>(b0)};
        for (int k = 1; k <= resto; ++k) {
            unsigned char c = 0;
            if (!proximo(c)) return false;
            if (c < lo || c > hi) return false;
            lo = 0x80;
            hi = 0xBF;
            bytes[k] = static_cast<char>(c);
        }
        if (saida) saida->append(bytes, static_cast<std::size_t>(resto + 1));
        return true;
    }

    Fonte& f_;
    Corte corte_;
    bool cortou_ = false;
};

template <class M>
concept Limitado = requires(M& m, std::size_t p) {
    { m.corte(p, true) } -> std::same_as<Corte>;
    { m.cortado() } -> std::same_as<bool>;
};

// Tells a bounding handler that the value just read was cut.
template <class Fonte, class Manipulador>
bool avisarCorte(const Leitor<Fonte>& l, Manipulador& m) {
    if constexpr (Limitado<Manipulador>) {
        return !l.cortou() || m.cortado();
    } else {
        return true;
    }
}

}  // namespace detalhe

// Parses one JSON text from `fonte` and nothing after it but white space. Returns
// false on any error or when the handler stops.
template <class Fonte, class Manipulador>
bool analisar(Fonte& fonte, Manipulador& m) {
    detalhe::Leitor<Fonte> l(fonte);
    detalhe::PilhaBits pilha;
    std::string buf;
    unsigned char c = 0;

    enum class Passo { valor, depois };
    Passo passo = Passo::valor;
    for (;;) {
        if (passo == Passo::valor) {
            if (!l.pular()) return false;
            l.proximo(c);
            const std::size_t prof = pilha.tamanho();
            switch (c) {
                case '{':
                    if (!m.inicioObjeto()) return false;
                    pilha.empilhar(true);
                    if (!l.pular()) return false;
                    l.espiar(c);
                    if (c == '}') {
                        l.proximo(c);
                        pilha.desempilhar();
                        if (!m.fimObjeto()) return false;
                        passo = Passo::depois;
                        continue;
                    }
                    goto chave;
                case '[':
                    if (!m.inicioLista()) return false;
                    pilha.empilhar(false);
                    if (!l.pular()) return false;
                    l.espiar(c);
                    if (c == ']') {
                        l.proximo(c);
                        pilha.desempilhar();
                        if (!m.fimLista()) return false;
                        passo = Passo::depois;
                    }
                    continue;
                case '"': {
                    const bool quer = m.querTexto(prof);
                    if constexpr (detalhe::Limitado<Manipulador>) {
                        if (quer) l.limitar(m.corte(prof, false));
                    }
                    buf.clear();
                    if (!l.texto(quer ? &buf : nullptr) || !detalhe::avisarCorte(l, m) || !m.texto(buf)) return false;
                    break;
                }
                case 't':
                    if (!l.palavra("rue") || !m.literal(Literal::verdadeiro)) return false;
                    break;
                case 'f':
                    if (!l.palavra("alse") || !m.literal(Literal::falso)) return false;
                    break;
                case 'n':
                    if (!l.palavra("ull") || !m.literal(Literal::nulo)) return false;
                    break;
                default: {
                    if (c != '-' && (c < '0' || c > '9')) return false;
                    --fonte.p;  // the first byte is still in the current piece
                    const bool quer = m.querNumero(prof);
                    if constexpr (detalhe::Limitado<Manipulador>) {
                        if (quer) l.limitar(m.corte(prof, false));
                    }
                    buf.clear();
                    if (!l.numero(quer ? &buf : nullptr) || !detalhe::avisarCorte(l, m) || !m.numero(buf)) return false;
                    break;
                }
            }
            passo = Passo::depois;
            continue;
        }

        // After a value.
        if (pilha.tamanho() == 0) return !l.pular();
        if (!l.pular()) return false;
        l.proximo(c);
        if (pilha.topoObjeto()) {
            if (c == '}') {
                pilha.desempilhar();
                if (!m.fimObjeto()) return false;
                continue;
            }
            if (c != ',') return false;
            if (!l.pular()) return false;
            goto chave;
        }
        if (c == ']') {
            pilha.desempilhar();
            if (!m.fimLista()) return false;
            continue;
        }
        if (c != ',') return false;
        passo = Passo::valor;
        continue;

    chave:
        // At the opening quote of a member name.
        l.proximo(c);
        if (c != '"') return false;
        {
            const bool quer = m.querChave(pilha.tamanho());
            if constexpr (detalhe::Limitado<Manipulador>) {
                if (quer) l.limitar(m.corte(pilha.tamanho(), true));
            }
            buf.clear();
            if (!l.texto(quer ? &buf : nullptr) || !detalhe::avisarCorte(l, m) || !m.chave(buf)) return false;
        }
        if (!l.pular()) return false;
        l.proximo(c);
        if (c != ':') return false;
        passo = Passo::valor;
    }
}

// --- Numbers

// The number's value as a double; ±infinity when it is too large for one. `lexema`
// must be a valid JSON number.
double paraDouble(std::string_view lexema);
// The number's exact value when it is a whole number within [minimo, maximo]
// (so "12.0", "1e2" and "-0" are whole; "12.5" and "1e-9" are not).
std::optional<std::int64_t> inteiroExato(std::string_view lexema, std::int64_t minimo,
                                         std::int64_t maximo);

// --- Documents

// Parses a whole text into an nlohmann value (nullopt when it is not JSON). Numbers
// written as plain integers become integers, others doubles (±infinity on overflow).
std::optional<nlohmann::json> documento(std::string_view texto);
std::optional<nlohmann::ordered_json> documentoOrdenado(std::string_view texto);

}  // namespace kivo::json
