#include "kivo/estado.hpp"

namespace kivo {

int prioridade(Estado estado) {
    switch (estado) {
        case Estado::ocioso: return 0;
        case Estado::trabalhando: return 3;
        case Estado::atencao: return 4;
        case Estado::feito: return 1;
        case Estado::erro: return 2;
    }
    return 0;
}

std::string_view nomeDe(Estado estado) {
    switch (estado) {
        case Estado::ocioso: return "ocioso";
        case Estado::trabalhando: return "trabalhando";
        case Estado::atencao: return "atencao";
        case Estado::feito: return "feito";
        case Estado::erro: return "erro";
    }
    return "ocioso";
}

std::optional<Estado> estadoDe(std::string_view nome) {
    for (Estado e : allCases<Estado>) {
        if (nomeDe(e) == nome) return e;
    }
    return std::nullopt;
}

}  // namespace kivo
