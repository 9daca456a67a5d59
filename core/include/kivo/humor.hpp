// The mascot's mood. Plain enumeration; pure, thread-safe functions.
#pragma once

#include <array>
#include <optional>
#include <string_view>

#include "kivo/estado.hpp"

namespace kivo {

enum class Humor { dormindo, acordado, acenando, trabalhando, atencao, comemorando, erro };

template <>
inline constexpr auto allCases<Humor> = std::array<Humor, 7>{
    Humor::dormindo, Humor::acordado,   Humor::acenando, Humor::trabalhando,
    Humor::atencao,  Humor::comemorando, Humor::erro};

// The case's own name, e.g. "comemorando".
std::string_view nomeDe(Humor humor);

// The mood with exactly this name (case-sensitive), or nullopt.
std::optional<Humor> humorDe(std::string_view nome);

}  // namespace kivo
