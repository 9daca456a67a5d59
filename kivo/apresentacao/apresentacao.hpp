// The presentation every view shares, the terminal's and the browser's: which records
// they show, the mascot's face and sentence for a mood, a session's texts and age, a
// piece of news as a notice, the clock, and what is new between two readings of the
// store. It knows no view: the terminal and the web server each build on it.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "apresentacao/vigencia.hpp"
#include "kivo/humor.hpp"
#include "kivo/novidade.hpp"
#include "kivo/resumo.hpp"
#include "kivo/sessao.hpp"

namespace kivo::app {

// What a view shows of `sessoes` at `agora`: the summary of those in view (see
// vigentes), or of every record with `todas`.
Resumo vista(const std::vector<Sessao>& sessoes, double agora, const ProcessoVivo& vivo, bool todas = false);

// The mascot for a mood: a small text face and the sentence beside it.
struct Rosto {
    std::string_view face;
    std::string_view legenda;
};
Rosto rostoDe(Humor humor);

// The mascot's sentence for `resumo`, counting the sessions behind its mood when there
// are more than one: "3 agentes precisam de voc\u00EA.", "2 agentes pararam com erro.",
// "Pronto! 4 agentes terminaram."; rostoDe's sentence otherwise.
std::string legendaDe(const Resumo& resumo);

// The names of `sessoes` as the views list them (Sessao::nome(), limpo()), in their
// order; when two would read the same, each gets what tells it apart: where its agent
// runs (origem) when that differs, else the start of its id.
std::vector<std::string> nomesDistintos(const std::vector<Sessao>& sessoes);

// How long ago, as every view writes it: "agora", or "h\u00E1 " and Rotulos::tempo
// ("h\u00E1 5 min"); empty when `segundos` is not finite. Never throws (but bad_alloc).
std::string haQuanto(double segundos);

// A session as every view lists it: its name and status, limpo(); how long ago its
// state changed (haQuanto); whether its process has ended (never, with an empty `vivo`).
struct Item {
    std::string nome;
    std::string situacao;
    std::string ha;
    bool encerrado = false;
};
// A session of another machine, as a view gets it beside this machine's records
// (espelho.hpp), by the id it has in the view.
struct Remota {
    std::string maquina;       // limpo()
    std::string id;            // over there
    bool semContato = false;
    double contato = 0;        // when its machine was last heard from
    std::string aviso;         // why it is out of contact, in one line (ssh's words)
};
using Remotas = std::map<std::string, Remota>;
// With `remotas`, a session whose machine is out of contact says so (semContatoCom).
Item itemDe(const Sessao& sessao, double agora, const ProcessoVivo& vivo, const Remotas* remotas = nullptr);

// What a view says of a session whose machine is out of contact: "sem contato com
// gpu-box h\u00E1 3 min" (or "sem contato com gpu-box" before the first contact), then
// why, when known (": ssh: connect to host gpu-box port 22: Connection refused").
std::string semContatoCom(const Remota& remota, double agora);


// A piece of news as a notice shows it: a title naming the session and what
// happened, and its status as the body, both limpo(). `nome`, when given, names the
// session instead of its own name (see nomesDistintos).
struct Aviso {
    std::string titulo;
    std::string corpo;
};
Aviso avisoDe(const Novidade& novidade, std::string_view nome = {});

// Bytes a record's text keeps in a view's memory (the web page's summary, a mirrored
// machine's stream).
inline constexpr std::size_t kTextoExibido = 1024;

// `sessao` with every text cut for display to about kTextoExibido bytes, at a
// character's boundary, with "…" where something was cut: the cwd keeps its end (the
// project's name is its last folder), the others their start. A record of 50 MB
// then costs a view a few kilobytes. Never throws (but std::bad_alloc).
void cortarParaExibir(Sessao& sessao);

// The wall clock, in seconds since 1970.
double relogio();

// Keeps the previous reading of the store and tells what is new in the next one.
class Acompanhamento {
public:
    // The news of `sessoes` against the previous reading, in the order of `sessoes`.
    // The first reading brings none: what was already there when the view opened is
    // not news.
    std::vector<Novidade> ler(const std::vector<Sessao>& sessoes);

private:
    std::map<std::string, Sessao> anterior_;
    bool primeira_ = true;
};

}  // namespace kivo::app
