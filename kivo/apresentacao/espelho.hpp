// Other machines' sessions, as `kivo espelhar` keeps them for the views here: one
// file per machine in the folder "espelhos" beside "sessoes", named by the machine's
// name made safe as the store names records (Armazem::nomeSeguro), replaced whole on
// every change. The records in it are the remote store's, with their texts cut for
// display and their times moved onto this machine's clock; beside them, which of
// their agents' processes are alive over there and when the machine was last heard
// from. Everything read here is untrusted (it came from another machine, or from
// anyone who can write the folder): records are decoded as the store decodes them,
// ids must name a record file as the store would name it, texts are cut, sizes
// bounded, and what fails is left out. Thread-safe; only gravarMaquina and
// lerMaquinas touch the file system.
#pragma once

#include <cstdint>
#include <climits>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "apresentacao/apresentacao.hpp"
#include "apresentacao/vigencia.hpp"
#include "kivo/sessao.hpp"

namespace kivo::app {

// What the views know of one machine.
struct Maquina {
    std::string nome;                   // as the user named it, limpo()
    double contato = 0;                 // when a line last came from it (this clock)
    bool conectado = false;             // its stream is open
    std::string aviso;                  // why not, in one line ("", or ssh's last words)
    std::vector<Sessao> sessoes;        // times on this machine's clock
    std::set<std::int32_t> vivos;       // the records' pids that run over there
    std::string programa = "kivo";      // kivo over there, as `kivo espelhar` ran it
};

// A machine silent for longer than this is out of contact even if its stream
// still looks open (the other side sends at least every kPulsoSegundos).
inline constexpr double kPulsoSegundos = 20;
inline constexpr double kSilencioMaximo = 3 * kPulsoSegundos;

// At most this many records of one machine are kept, and its file is at most this
// long; a machine's stream line is at most kLinhaMaxima bytes.
inline constexpr std::size_t kSessoesPorMaquina = 500;
inline constexpr std::size_t kLinhaMaxima = 4 * 1024 * 1024;

// Whether the views should say the machine cannot be reached at `agora`.
bool semContato(const Maquina& maquina, double agora);

// Whether an agent of that machine runs, as it said: for vista(), itemDe() and
// vigentes() in place of a local check, which would ask about another machine's pids.
ProcessoVivo vivoNaMaquina(const Maquina& maquina);

// The folder of these files: "espelhos" beside the session folder `sessoes`.
std::filesystem::path pastaDosEspelhos(const std::filesystem::path& sessoes);

// Sessions and their pids that are alive, as a JSON text's members "sessoes" (records
// in the store's own form) and "vivos", for the stream and the files: `extra` holds
// the other members, already written (`"agora":1.5`), or is empty.
std::string sessoesJson(std::string_view extra, const std::vector<Sessao>& sessoes,
                        const std::set<std::int32_t>& vivos);

// What sessoesJson wrote (and any other members of that object), read as
// untrusted: records decoded as the store decodes them, ids the store would name
// a file by, texts cut (cortarParaExibir), at most kSessoesPorMaquina; a record
// that fails is left out, as is an id in "vivos" without its record. nullopt when
// `texto` is not such an object.
struct Conjunto {
    std::vector<Sessao> sessoes;
    std::set<std::int32_t> vivos;
};
std::optional<Conjunto> lerConjunto(std::string_view texto);

// A mirrored session as a view knows it, beside this machine's records: its record
// with the id "<id>@<machine>" (two machines may use one id), its project named
// "<machine> · <project>" (every view then labels it, the terminal's, the line's, the
// page's and the notices'), and its pid replaced by what a view may ask of it here:
// none when its agent runs over there, kPidEncerrado (which no process here can
// have) when it ended. While its machine is out of contact it does not count as
// working: a working session reads as idle.
inline constexpr std::int32_t kPidEncerrado = INT32_MAX;
struct Espelhadas {
    std::vector<Sessao> sessoes;
    Remotas remotas;  // by the id in `sessoes`
};
Espelhadas espelhadas(const std::vector<Maquina>& maquinas, double agora);

// This machine's records (lerRegistros) and, after them, the mirrored machines' from
// pastaDosEspelhos(sessoes) (espelhadas): what every view shows.
Espelhadas lerComEspelhos(const std::filesystem::path& sessoes, double agora);

// Replaces the machine's file in `pasta` (made 0700 when missing). False when it
// cannot be written. Never throws (but std::bad_alloc).
bool gravarMaquina(const std::filesystem::path& pasta, const Maquina& maquina);

// Removes the machine's file, when there is one.
void apagarMaquina(const std::filesystem::path& pasta, std::string_view nome);

// Every machine in `pasta`, ordered by name; files that cannot be read are left out.
std::vector<Maquina> lerMaquinas(const std::filesystem::path& pasta);

}  // namespace kivo::app
