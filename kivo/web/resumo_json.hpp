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
#include "apresentacao/consumo.hpp"
#include "apresentacao/vigencia.hpp"

namespace kivo::web {

// The object for the records of `sessoes` in view at `agora` (app::vista):
//   {"humor", "frase", "destaque" (id or null), "sessoes": [{"id", "projeto",
//    "titulo" (or null), "nome", "estado", "situacao", "ha", "mudouEstadoEm",
//    "processoEncerrado", "contexto", "custo", "modelo" (each null unless `consumos`
//    knows it)}], "novidades": [{"caso", "id", "titulo", "corpo"}]}
// Every text from a record is stripped of control characters. Never throws (but
// std::bad_alloc).
nlohmann::ordered_json resumoJson(const std::vector<Sessao>& sessoes, double agora,
                                  const app::ProcessoVivo& vivo,
                                  const std::vector<Novidade>& novidades,
                                  const app::Consumos& consumos = {});

// Bytes a record's text keeps in the summary (and in the server's memory).
inline constexpr std::size_t kTextoExibido = 1024;

// `sessao` with every text cut for display to about kTextoExibido bytes, at a
// character's boundary, with "…" where something was cut: the cwd keeps its end (the
// project's name is its last folder), the others their start. A record of 50 MB
// then costs a view a few kilobytes. Never throws (but std::bad_alloc).
void cortarParaExibir(Sessao& sessao);

// `objeto` as one line of compact JSON; text that is not UTF-8 is replaced, never
// thrown on.
std::string textoJson(const nlohmann::ordered_json& objeto);

// The first moment after `agora` at which the summary of these same records can
// read differently (a state's time limit passes, the mood changes, an age's text
// changes, a record leaves the view), or infinity when none. A record with a pid
// is looked at again within a minute, to notice its process is gone.
double proximaMudanca(const std::vector<Sessao>& sessoes, double agora);

}  // namespace kivo::web
