// UTF-8 read and written code point by code point, without ICU objects.
#include "icu_interno.hpp"

#include <unicode/utf8.h>

#include <cstring>

namespace kivo::texto {

using interno::kSubstituto;

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

std::optional<char32_t> lerCodigo(std::string_view s, std::size_t& i) noexcept {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(s.data());
    // Texts longer than 2 GiB are read through their first 2 GiB.
    const auto n = static_cast<std::int32_t>(std::min<std::size_t>(s.size(), INT32_MAX));
    auto k = static_cast<std::int32_t>(i);
    UChar32 c = 0;
    U8_NEXT(bytes, k, n, c);
    i = static_cast<std::size_t>(k);
    if (c < 0) return std::nullopt;
    return static_cast<char32_t>(c);
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

char32_t interno::anterior(std::string_view s, std::size_t i, std::size_t& inicio) noexcept {
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

}  // namespace kivo::texto
