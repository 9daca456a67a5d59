// What to do with a session's record after an event: write it, delete it, or leave it.
#pragma once

#include <optional>

#include "kivo/sessao.hpp"

namespace kivo {

struct Acao {
    enum class Caso { gravar, apagar, ignorar };
    Caso caso = Caso::ignorar;
    std::optional<Sessao> sessao;  // present exactly when caso == gravar

    static Acao gravar(Sessao sessao);
    static Acao apagar();
    static Acao ignorar();
    bool operator==(const Acao& outra) const;
};

}  // namespace kivo
