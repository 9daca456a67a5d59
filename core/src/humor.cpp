#include "kivo/humor.hpp"

namespace kivo {

std::string_view nomeDe(Humor humor) {
    switch (humor) {
        case Humor::dormindo: return "dormindo";
        case Humor::acordado: return "acordado";
        case Humor::acenando: return "acenando";
        case Humor::trabalhando: return "trabalhando";
        case Humor::atencao: return "atencao";
        case Humor::comemorando: return "comemorando";
        case Humor::erro: return "erro";
    }
    return "dormindo";
}

std::optional<Humor> humorDe(std::string_view nome) {
    for (Humor h : allCases<Humor>) {
        if (nomeDe(h) == nome) return h;
    }
    return std::nullopt;
}

}  // namespace kivo
