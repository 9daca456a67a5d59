// The summary as the page and GET /api/resumo get it: one JSON object with the
// mood, its sentence, the highlighted session, every session in display order with
// its texts, and the news of the latest change. Pure but for the ProcessoVivo the
// caller passes; thread-safe.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "kivo/novidade.hpp"
#include "kivo/sessao.hpp"
#include "apresentacao/apresentacao.hpp"
#include "apresentacao/consumo.hpp"
#include "apresentacao/vigencia.hpp"

namespace kivo::web {

// The object for the records of `sessoes` in view at `agora` (app::vista):
//   {"humor", "frase", "destaque" (id or null), "sessoes": [{"id", "projeto",
//    "titulo" (or null), "nome", "estado", "situacao", "ha", "mudouEstadoEm",
//    "processoEncerrado", "contexto", "custo", "modelo" (each null unless `consumos`
//    knows it)}], "novidades": [{"caso", "id", "titulo", "corpo"}]}
// Sessions of other machines (`remotas`) out of contact say so in "situacao".
// Every text from a record is stripped of control characters. Never throws (but
// std::bad_alloc).
nlohmann::ordered_json resumoJson(const std::vector<Sessao>& sessoes, double agora,
                                  const app::ProcessoVivo& vivo,
                                  const std::vector<Novidade>& novidades,
                                  const app::Consumos& consumos = {}, const app::Remotas* remotas = nullptr);

// `objeto` as one line of compact JSON; text that is not UTF-8 is replaced, never
// thrown on.
std::string textoJson(const nlohmann::ordered_json& objeto);

// The first moment after `agora` at which the summary of these same records can
// read differently (a state's time limit passes, the mood changes, an age's text
// changes, a record leaves the view), or infinity when none. A record with a pid
// is looked at again within a minute, to notice its process is gone.
double proximaMudanca(const std::vector<Sessao>& sessoes, double agora);

}  // namespace kivo::web
