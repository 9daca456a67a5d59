#include "kivo/resumo.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <string>
#include <string_view>

#include "kivo/tempos.hpp"
#include "unicode.hpp"

namespace kivo {

bool Resumo::operator==(const Resumo& outro) const {
    return humor == outro.humor && destaque == outro.destaque && ordenadas == outro.ordenadas;
}

const Resumo& Resumo::vazio() {
    static const Resumo resumo{};
    return resumo;
}

namespace {

// Everything the display order looks at, computed once per session so that the sort
// compares plain numbers and bytes and never normalises an id twice.
struct Chave {
    int prioridade;
    double recencia;  // atualizado; NaN becomes -infinity (see semHora)
    bool semHora;     // atualizado is NaN: after every real time, even -infinity
    std::string_view id;  // the NFC form, whose bytes sort in code point order
    std::size_t indice;   // position in the input: keeps the sort stable
};

bool vemAntes(const Chave& a, const Chave& b) {
    if (a.prioridade != b.prioridade) return a.prioridade > b.prioridade;
    if (a.recencia != b.recencia) return a.recencia > b.recencia;
    if (a.semHora != b.semHora) return b.semHora;
    if (const int c = a.id.compare(b.id); c != 0) return c < 0;
    return a.indice < b.indice;
}

Humor humorDoDestaque(const Sessao& destaque, double agora) {
    switch (destaque.estado) {
        case Estado::atencao: return Humor::atencao;
        case Estado::trabalhando: return Humor::trabalhando;
        case Estado::erro: return Humor::erro;
        case Estado::feito:
            // The celebration counts from the change into feito, not the last update.
            return agora - destaque.mudouEstadoEm < Tempos::comemoracao ? Humor::comemorando
                                                                          : Humor::acordado;
        case Estado::ocioso:
            // ocioso is the lowest priority, so every session is ocioso here, and the
            // first one is the most recently updated of them all.
            return agora - destaque.atualizado < Tempos::sono ? Humor::acordado : Humor::dormindo;
    }
    return Humor::dormindo;
}

}  // namespace

Resumo resumir(const std::vector<Sessao>& sessoes, double agora) {
    if (sessoes.empty()) return Resumo::vazio();

    const std::size_t n = sessoes.size();
    std::vector<Estado> efetivos(n);
    // NFC forms of the ids that need one; ASCII ids are their own NFC form, and ids
    // that are not valid UTF-8 sort by their raw bytes.
    std::vector<std::string> normalizados(n);
    std::vector<Chave> chaves;
    chaves.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        const Sessao& s = sessoes[i];
        efetivos[i] = estadoEfetivo(s, agora);
        std::string_view id = s.id;
        if (!texto::ehAscii(id) && texto::utf8Valido(id)) {
            normalizados[i] = texto::nfc(id);
            id = normalizados[i];
        }
        const bool semHora = std::isnan(s.atualizado);
        chaves.push_back(Chave{.prioridade = prioridade(efetivos[i]),
                               .recencia = semHora ? -std::numeric_limits<double>::infinity()
                                                   : s.atualizado,
                               .semHora = semHora,
                               .id = id,
                               .indice = i});
    }
    // The input position is the last key, so every key is distinct and the plain
    // sort gives the same order as a stable one.
    std::sort(chaves.begin(), chaves.end(), vemAntes);

    Resumo resumo;
    resumo.ordenadas.reserve(n);
    for (const Chave& c : chaves) {
        resumo.ordenadas.push_back(sessoes[c.indice]);
        resumo.ordenadas.back().estado = efetivos[c.indice];
    }
    resumo.destaque = resumo.ordenadas.front();
    resumo.humor = humorDoDestaque(*resumo.destaque, agora);
    return resumo;
}

}  // namespace kivo
