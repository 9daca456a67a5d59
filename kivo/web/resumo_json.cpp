#include "resumo_json.hpp"

#include <cmath>
#include <exception>
#include <limits>

#include "kivo/tempos.hpp"
#include "apresentacao/apresentacao.hpp"
#include "base/texto.hpp"

namespace kivo::web {

namespace {

using nlohmann::ordered_json;

std::string_view nomeDoCaso(Novidade::Caso caso) {
    switch (caso) {
        case Novidade::Caso::chamou:
            return "chamou";
        case Novidade::Caso::terminou:
            return "terminou";
        case Novidade::Caso::errou:
            return "errou";
    }
    return "";
}

ordered_json textoOuNulo(const std::optional<std::string>& texto) {
    if (!texto || texto->empty()) return nullptr;
    return app::limpo(*texto);
}

}  // namespace

ordered_json resumoJson(const std::vector<Sessao>& sessoes, double agora, const app::ProcessoVivo& vivo,
                        const std::vector<Novidade>& novidades, const app::Consumos& consumos,
                        const app::Remotas* remotas) {
    const Resumo resumo = app::vista(sessoes, agora, vivo);
    ordered_json j;
    j["humor"] = std::string(nomeDe(resumo.humor));
    j["frase"] = app::legendaDe(resumo);
    j["destaque"] = resumo.destaque ? ordered_json(resumo.destaque->id) : ordered_json(nullptr);
    ordered_json lista = ordered_json::array();
    const std::vector<std::string> nomes = app::nomesDistintos(resumo.ordenadas);
    for (std::size_t i = 0; i < resumo.ordenadas.size(); ++i) {
        const Sessao& s = resumo.ordenadas[i];
        ordered_json item;
        item["id"] = s.id;
        item["projeto"] = app::limpo(s.projeto());
        item["titulo"] = textoOuNulo(s.titulo);
        const app::Item texto = app::itemDe(s, agora, vivo, remotas);
        item["nome"] = nomes[i];
        item["estado"] = std::string(nomeDe(s.estado));
        item["situacao"] = texto.situacao;
        item["ha"] = texto.ha;
        item["mudouEstadoEm"] =
            std::isfinite(s.mudouEstadoEm) ? ordered_json(s.mudouEstadoEm) : ordered_json(nullptr);
        item["processoEncerrado"] = texto.encerrado;
        const auto c = consumos.find(s.id);
        const app::Consumo consumo = c == consumos.end() ? app::Consumo{} : c->second;
        item["contexto"] = consumo.contexto ? ordered_json(*consumo.contexto) : ordered_json(nullptr);
        item["custo"] = consumo.custo ? ordered_json(*consumo.custo) : ordered_json(nullptr);
        item["modelo"] = consumo.modelo ? ordered_json(*consumo.modelo) : ordered_json(nullptr);
        lista.push_back(std::move(item));
    }
    j["sessoes"] = std::move(lista);
    ordered_json avisos = ordered_json::array();
    for (const Novidade& n : novidades) {
        const app::Aviso aviso = app::avisoDe(n);
        avisos.push_back({{"caso", std::string(nomeDoCaso(n.caso))},
                          {"id", n.sessao.id},
                          {"titulo", aviso.titulo},
                          {"corpo", aviso.corpo}});
    }
    j["novidades"] = std::move(avisos);
    return j;
}

std::string textoJson(const ordered_json& objeto) {
    return objeto.dump(-1, ' ', false, ordered_json::error_handler_t::replace);
}

double proximaMudanca(const std::vector<Sessao>& sessoes, double agora) {
    double proxima = std::numeric_limits<double>::infinity();
    auto considerar = [&](double instante) {
        if (std::isfinite(instante) && instante > agora && instante < proxima) proxima = instante;
    };
    for (const Sessao& s : sessoes) {
        for (const double limite :
             {Tempos::trabalhoEsquecido, Tempos::atencaoEsquecida, Tempos::feitoVisivel,
              Tempos::sono, Tempos::sessaoVelha, app::carenciaProcesso}) {
            considerar(s.atualizado + limite);
        }
        considerar(s.mudouEstadoEm + Tempos::comemoracao);
        // The age's text changes at 45 s, then with each minute, hour or day.
        const double idade = agora - s.mudouEstadoEm;
        if (std::isfinite(idade) && idade >= 0) {
            const double passo = idade < 3600 ? 60 : idade < 86400 ? 3600 : 86400;
            considerar(s.mudouEstadoEm + 45);
            considerar(s.mudouEstadoEm + (std::floor(idade / passo) + 1) * passo);
        }
        if (s.pid) considerar(agora + 60);
    }
    return proxima;
}

}  // namespace kivo::web
