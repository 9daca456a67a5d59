// What the Unicode layer's files share over ICU. Only the layer includes this header.
#pragma once

#include "unicode.hpp"

#include <unicode/brkiter.h>
#include <unicode/uchar.h>
#include <unicode/utext.h>

namespace kivo::texto::interno {

inline constexpr char32_t kSubstituto = 0xFFFD;

inline int gcb(char32_t c) noexcept {
    return u_getIntPropertyValue(static_cast<UChar32>(c), UCHAR_GRAPHEME_CLUSTER_BREAK);
}

// A code point that never starts a cluster of its own after an ordinary character.
inline bool ligaAoAnterior(char32_t c) noexcept {
    const int g = gcb(c);
    return g == U_GCB_EXTEND || g == U_GCB_ZWJ || g == U_GCB_SPACING_MARK;
}

// Code point just before byte `i` (with its start in `inicio`).
char32_t anterior(std::string_view s, std::size_t i, std::size_t& inicio) noexcept;

// UTF-8 text seen by ICU without a copy.
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

// This thread's character break iterator, set on `texto`; null when ICU cannot give one.
icu::BreakIterator* iteradorGrafemas(UText* texto);

}  // namespace kivo::texto::interno
