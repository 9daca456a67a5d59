// The state of an agent session, named in JSON by the case's own name.
// Plain enumeration; all functions are pure and thread-safe.
#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace kivo {

enum class Estado { ocioso, trabalhando, atencao, feito, erro };

// Every case of an enumeration in declaration order (specialised per enumeration).
template <class E>
inline constexpr auto allCases = std::array<E, 0>{};

template <>
inline constexpr auto allCases<Estado> = std::array<Estado, 5>{
    Estado::ocioso, Estado::trabalhando, Estado::atencao, Estado::feito, Estado::erro};

// Urgency rank, higher first: atencao 4, trabalhando 3, erro 2, feito 1, ocioso 0.
int prioridade(Estado estado);

// "ocioso", "trabalhando", "atencao", "feito" or "erro".
std::string_view nomeDe(Estado estado);

// The state with exactly this name (case-sensitive), or nullopt.
std::optional<Estado> estadoDe(std::string_view nome);

}  // namespace kivo
