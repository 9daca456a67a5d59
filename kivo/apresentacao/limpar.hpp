// `kivo limpar`: removes the records the views leave out (see vigencia.hpp) and the
// temporary files a killed hook left behind. Each record is judged again under the
// folder's lock, through the store's locked update, so a record a hook has just
// refreshed stays, and a record being written is never touched. Single-threaded use.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "apresentacao/vigencia.hpp"

namespace kivo::app {

// Temporary files younger than this may belong to a hook that is still writing.
inline constexpr double idadeTemporario = 60;

struct Removido {
    Sessao sessao;
    Motivo motivo;
};

struct Limpeza {
    std::vector<Removido> registros;        // removed (or, when only shown, to remove)
    std::vector<std::string> temporarios;   // names of the temporary files
    std::vector<std::string> consumos;      // names of the consumption files (consumo.hpp)
    std::vector<std::string> maquinas;      // mirrored machines forgotten (espelho.hpp)
};

// Removes from `pasta` every record that descartavel() judges out of view at `agora`
// (judged once while listing, and again under the lock before it goes), and every
// temporary file (".<name>.json.<hex>.tmp") older than idadeTemporario; then, from
// pastaDoConsumo(pasta), the files of sessions that have no record left, and the
// temporary files older than idadeTemporario; and from pastaDosEspelhos(pasta), the
// file of every machine not heard from for longer than Tempos::sessaoVelha (its
// mirror is not running: it writes at every pulse), and forgotten temporary files. With `soMostrar`, nothing is removed
// and the result lists what would go (judged once).
// A missing folder has nothing to remove. Never throws (but std::bad_alloc and what
// `vivo` throws).
Limpeza limpar(const std::filesystem::path& pasta, double agora, const ProcessoVivo& vivo, bool soMostrar);

// What `kivo limpar` prints for a clean-up, in Portuguese, one line per item.
std::string relatorio(const Limpeza& limpeza, double agora, bool soMostrar);

}  // namespace kivo::app
