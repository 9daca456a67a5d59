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

// Hints to the processor that a record, or the texts it points to, will be read soon.
void adiantar(const void* endereco) {
#if defined(__GNUC__) || defined(__clang__)
    __builtin_prefetch(endereco);
#else
    (void)endereco;
#endif
}

void adiantarRegistro(const Sessao& s) {
    const char* inicio = reinterpret_cast<const char*>(&s);
    for (std::size_t b = 0; b < sizeof(Sessao); b += 64) adiantar(inicio + b);
}

void adiantarTextos(const Sessao& s) {
    adiantar(s.id.data());
    adiantar(s.cwd.data());
    for (const auto* t : {&s.titulo, &s.detalhe, &s.origem, &s.ferramentaId}) {
        if (*t) adiantar((*t)->data());
    }
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

    // Copying in display order reads the records out of order: with many sessions
    // most of the time goes into waiting for memory, so ask for the records a few
    // places ahead, and for their texts once the record itself has arrived.
    Resumo resumo;
    resumo.ordenadas.reserve(n);
    constexpr std::size_t adiante = 8;
    for (std::size_t k = 0; k < n; ++k) {
        if (k + 2 * adiante < n) adiantarRegistro(sessoes[chaves[k + 2 * adiante].indice]);
        if (k + adiante < n) adiantarTextos(sessoes[chaves[k + adiante].indice]);
        const std::size_t i = chaves[k].indice;
        resumo.ordenadas.push_back(sessoes[i]);
        resumo.ordenadas.back().estado = efetivos[i];
    }
    resumo.destaque = resumo.ordenadas.front();
    resumo.humor = humorDoDestaque(*resumo.destaque, agora);
    return resumo;
}

}  // namespace kivo
