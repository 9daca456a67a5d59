// News between two readings of the store: sessions that have just called for the
// user, finished or failed. Pure and thread-safe.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "kivo/sessao.hpp"

namespace kivo {

struct Novidade {
    enum class Caso { chamou, terminou, errou };
    Caso caso;
    Sessao sessao;  // the record from the current reading

    static Novidade chamou(Sessao sessao);
    static Novidade terminou(Sessao sessao);
    static Novidade errou(Sessao sessao);
    bool operator==(const Novidade& outra) const;
};

// One piece of news per record of `depois` (in its order) whose stored state is
// atencao, feito or erro and differs from the one `antes` held under its id, or was
// entered anew (different mudouEstadoEm).
std::vector<Novidade> novidades(const std::map<std::string, Sessao>& antes,
                                const std::vector<Sessao>& depois);

}  // namespace kivo
