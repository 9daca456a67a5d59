#include "apresentacao/apresentacao.hpp"

#include <time.h>

#include <cmath>
#include <exception>

#include "base/texto.hpp"
#include "kivo/rotulos.hpp"

namespace kivo::app {

Resumo vista(const std::vector<Sessao>& sessoes, double agora, const ProcessoVivo& vivo, bool todas) {
    return resumir(todas ? sessoes : vigentes(sessoes, agora, vivo), agora);
}

Rosto rostoDe(Humor humor) {
    switch (humor) {
        case Humor::dormindo: return {"(-.-) zZ", "Tudo quieto: nenhum agente trabalhando."};
        case Humor::acordado: return {"(o.o)", "Acordado, de olho nos agentes."};
        case Humor::acenando: return {"(o.o)/", "Oi!"};
        case Humor::trabalhando: return {"(o.o)>", "Os agentes estão trabalhando."};
        case Humor::atencao: return {"(O.O)!", "Um agente precisa de você."};
        case Humor::comemorando: return {"\\(^o^)/", "Pronto! Um agente terminou."};
        case Humor::erro: return {"(x.x)", "Um agente parou com erro."};
    }
    return {"(o.o)", ""};
}

std::string haQuanto(double segundos) {
    if (!std::isfinite(segundos)) return "";
    try {
        std::string t = Rotulos::tempo(segundos);
        return t == "agora" ? t : "h\u00E1 " + t;
    } catch (const std::exception&) {
        return "";
    }
}

Item itemDe(const Sessao& sessao, double agora, const ProcessoVivo& vivo) {
    return {limpo(sessao.nome()), limpo(Rotulos::doEstado(sessao)), haQuanto(agora - sessao.mudouEstadoEm),
            sessao.pid.has_value() && vivo && !vivo(*sessao.pid)};
}

Aviso avisoDe(const Novidade& novidade) {
    std::string titulo = limpo(novidade.sessao.nome());
    switch (novidade.caso) {
        case Novidade::Caso::chamou: titulo += " precisa de voc\u00EA"; break;
        case Novidade::Caso::terminou: titulo += " terminou"; break;
        case Novidade::Caso::errou: titulo += " parou com erro"; break;
    }
    return {std::move(titulo), limpo(Rotulos::doEstado(novidade.sessao))};
}

double relogio() {
    timespec t{};
    clock_gettime(CLOCK_REALTIME, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

std::vector<Novidade> Acompanhamento::ler(const std::vector<Sessao>& sessoes) {
    std::vector<Novidade> lista;
    if (!primeira_) lista = novidades(anterior_, sessoes);
    primeira_ = false;
    anterior_.clear();
    for (const Sessao& s : sessoes) anterior_.insert_or_assign(s.id, s);
    return lista;
}

}  // namespace kivo::app
