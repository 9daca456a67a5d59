// The panel of `kivo painel`: the mascot's face for the current mood and one line per
// session, as text. Everything that depends on the machine (the folder, the moment,
// colours, whether a process still runs) comes from the caller, so the same records
// at the same moment always give the same text. Thread-safe; nothing is cached.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "apresentacao/apresentacao.hpp"
#include "apresentacao/consumo.hpp"
#include "apresentacao/vigencia.hpp"
#include "base/texto.hpp"
#include "kivo/sessao.hpp"

namespace kivo::app {

struct OpcoesPainel {
    bool cores = false;         // ANSI colours by state
    ProcessoVivo processoVivo;  // empty: every process counts as alive
    int largura = 0;            // columns of the terminal; 0: whole lines (a pipe)
    bool todas = false;         // also the records vigentes() leaves out
    std::string semSessoes = {};  // the paragraph when no session is in view; "": the usual one
    bool numerar = false;         // the first nine sessions' lines start with 1 to 9
    const Remotas* remotas = nullptr;  // other machines' sessions among them (espelho.hpp)
};

// Rows and columns of the terminal on `fd`; both 0 when it is not a terminal.
struct Tamanho {
    int linhas = 0;
    int colunas = 0;
};
Tamanho tamanhoDoTerminal(int fd);

// Colours only on a terminal, and never when NO_COLOR holds a non-empty value
// (`noColor` is getenv("NO_COLOR"), null when unset).
bool usarCores(bool terminal, const char* noColor);

// The panel for these records at `agora`: the face line, a blank line, then one line
// per session in view (see vigentes; every record with `todas`) in display order:
// the state mark, the name, the status, how long ago the state changed, a note
// when its process has ended, and what `consumos` knows of it: the context ("78%"),
// the model and the cost. With a `largura`, every line fits it: the model and cost
// give way first, then the name (title first, then project), ending in "…"; when the
// name would be left with too little room, the status, age and context go whole to
// the lines below. Then, when any cost is known, their total (custoTotal). No records
// give the face and a friendly line. Every line ends in "\n". Never throws (but
// std::bad_alloc).
std::string desenharPainel(const std::vector<Sessao>& sessoes, double agora, const OpcoesPainel& opcoes,
                           const Consumos& consumos = {});

// desenharPainel over every readable record of `pasta` and their consumption files
// (pastaDoConsumo).
std::string painel(const std::filesystem::path& pasta, double agora, const OpcoesPainel& opcoes);

}  // namespace kivo::app
