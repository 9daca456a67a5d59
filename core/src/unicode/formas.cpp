// Canonical equivalence, case mapping and character properties.
#include "icu_interno.hpp"

#include <unicode/bytestream.h>
#include <unicode/casemap.h>
#include <unicode/normalizer2.h>

namespace kivo::texto {
namespace {

const icu::Normalizer2* normalizadorNfc() {
    UErrorCode erro = U_ZERO_ERROR;
    const icu::Normalizer2* n = icu::Normalizer2::getNFCInstance(erro);
    return U_FAILURE(erro) ? nullptr : n;
}

}  // namespace

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

bool formato(char32_t c) noexcept { return u_charType(static_cast<UChar32>(c)) == U_FORMAT_CHAR; }

}  // namespace kivo::texto
