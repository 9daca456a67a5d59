// ICU's regular expressions over UTF-8 text.
#include "icu_interno.hpp"

#include <unicode/regex.h>
#include <unicode/unistr.h>

#include <memory>
#include <stdexcept>

namespace kivo::texto {

using interno::TextoUtf8;

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
