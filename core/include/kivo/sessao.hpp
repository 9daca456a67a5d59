// The record of one agent session, and its JSON form (the whole content of one
// session file). Plain value: copies share nothing; const members are thread-safe.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "kivo/estado.hpp"

namespace kivo {

struct Sessao {
    std::string id;
    std::string cwd;
    std::optional<std::string> titulo;
    Estado estado = Estado::ocioso;
    std::optional<std::string> detalhe;
    double atualizado = 0;
    double mudouEstadoEm = 0;
    std::optional<std::int32_t> pid;
    std::optional<std::string> origem;
    std::optional<std::string> ferramentaId;
    std::optional<std::int64_t> faseFerramenta;

    // All eleven fields; texts compare by canonical equivalence, times as doubles
    // (a NaN time makes a record unequal even to itself).
    bool operator==(const Sessao& outra) const;

    // The project name of `cwd` (see nomeDoProjeto).
    std::string projeto() const;
    // projeto(), then " · " and the title when a non-empty title is present.
    std::string nome() const;
    // The last component of a path, without a "-<6 or more lowercase hex digits>"
    // suffix when something is left before it; "Claude" for "/" and "". Never empty.
    static std::string nomeDoProjeto(std::string_view caminho);
};

// The record's file bytes: one compact JSON object, members sorted by name, absent
// fields left out, every "/" escaped, non-ASCII as raw UTF-8, numbers that read back
// exactly. Throws std::domain_error when a time is not finite or a text is not
// valid UTF-8.
std::string paraJson(const Sessao& sessao);

// Reads a record from its JSON form, all or nothing: nullopt when the text is not
// strict JSON, not an object, lacks a required member, or any member has the wrong
// type or range. Unknown members are ignored; null counts as absent for optional
// members. Never throws.
std::optional<Sessao> sessaoDeJson(std::string_view texto);

}  // namespace kivo
