// Which news become notices (a desktop notification, the bell, the page's
// notification), so that they come only when they matter: never for a session the
// user is looking at, "terminou" only after real work, and each change once across
// every open view. The views share what was already announced through a small file
// beside the records ("avisos/avisados" in the data folder), replaced atomically under
// a lock. Knows no view; one Avisos belongs to one thread.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string_view>
#include <vector>

#include "kivo/novidade.hpp"
#include "kivo/sessao.hpp"

namespace kivo::app {

enum class NivelDeAvisos {
    todos,        // every piece of news, even of a session in sight or a quick reply
    importantes,  // the rules below
    nenhum,
};

// "todos", "importantes" or "nenhum".
std::optional<NivelDeAvisos> nivelDeAvisos(std::string_view nome);

// "terminou" is announced (with importantes) only when the session worked at least
// this long since its prompt: a quick reply is seen anyway.
inline constexpr double trabalhoMinimo = 20;

// The folder of the shared memory: "avisos" beside the session folder `sessoes`.
std::filesystem::path pastaDosAvisos(const std::filesystem::path& sessoes);

// Takes the notice of `novidade` (its session, state and the moment it entered it) for
// the calling view: true when no view took it before. The memory forgets what is
// older than Tempos::sessaoVelha. When the memory cannot be kept, true: a notice too
// many beats a lost one. Never throws (but std::bad_alloc).
bool reivindicarAviso(const std::filesystem::path& pasta, const Novidade& novidade, double agora);

// Whether the user is looking at a session's agent (see ir.hpp's olhandoNoTmux).
using Olhando = std::function<bool(const Sessao&)>;

class Avisos {
public:
    // `memoria`: pastaDosAvisos(); an empty path keeps no shared memory (each view
    // on its own). An empty `olhando` counts nothing as looked at.
    Avisos(NivelDeAvisos nivel, std::filesystem::path memoria, Olhando olhando = {});

    // Called with every reading of the store and its news (Acompanhamento::ler), in
    // order: those of `novas` to announce now. Learns from `sessoes` when each session
    // started working.
    std::vector<Novidade> escolher(const std::vector<Sessao>& sessoes, const std::vector<Novidade>& novas,
                                   double agora);

private:
    NivelDeAvisos nivel_;
    std::filesystem::path memoria_;
    Olhando olhando_;
    std::map<std::string, Estado> estados_;  // the previous reading's, by id
    std::map<std::string, double> inicio_;   // when each session's current work began
};

}  // namespace kivo::app
