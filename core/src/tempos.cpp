#include "kivo/tempos.hpp"

namespace kivo {

namespace {

// How long a record in `estado` may go without an update before its state is no
// longer believed. Not used for ocioso, which has nothing to fall back from.
double limite(Estado estado) {
    switch (estado) {
        case Estado::trabalhando: return Tempos::trabalhoEsquecido;
        case Estado::atencao: return Tempos::atencaoEsquecida;
        case Estado::feito:
        case Estado::erro: return Tempos::feitoVisivel;
        case Estado::ocioso: break;
    }
    return 0;
}

}  // namespace

Estado estadoEfetivo(const Sessao& sessao, double agora) {
    if (sessao.estado == Estado::ocioso) return Estado::ocioso;
    // Strictly greater: a record exactly at its limit keeps its state. A NaN age
    // compares false and keeps it too.
    const double idade = agora - sessao.atualizado;
    return idade > limite(sessao.estado) ? Estado::ocioso : sessao.estado;
}

}  // namespace kivo
