// What Claude Code's status line tells `kivo linha` about a conversation (its model,
// how full its context window is, what it has cost), kept beside the session records
// and never in them: one small text file per session in the folder "consumo" next to
// "sessoes", named by the session id made safe as the store names records
// (Armazem::nomeSeguro). `kivo linha` writes its own conversation's file; the panel,
// the status line and the web page read them for the sessions they show; `kivo
// limpar` removes those whose session has no record. Everything read here is
// untrusted (the status line's input, files anyone may have put in the folder):
// texts are limpo() and bounded, numbers finite and in range, the rest ignored.
// Thread-safe; only guardarConsumo and lerConsumos touch the file system.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kivo/sessao.hpp"

namespace kivo::app {

struct Consumo {
    std::optional<std::string> modelo;  // limpo(), not empty, at most 60 columns
    std::optional<double> contexto;     // percentage of the context window in use, 0 to 100
    std::optional<double> custo;        // US dollars, from 0
    bool operator==(const Consumo&) const = default;
    bool vazio() const { return !modelo && !contexto && !custo; }
};

// By session id.
using Consumos = std::map<std::string, Consumo>;

// The status-line object of one conversation: its "session_id" and what it says.
struct Informe {
    std::string sessao;
    Consumo consumo;
};

// Reads Claude Code's status-line object: "session_id" (a string, else nullopt for
// all), model.display_name, context_window.used_percentage (when null: the tokens of
// context_window.current_usage over context_window_size; when neither, unknown) and
// cost.total_cost_usd. Members of the wrong type or out of range are left unknown.
// Never throws (but std::bad_alloc).
std::optional<Informe> informeDaLinha(std::string_view entrada);

// The folder of these files: "consumo" beside the session folder `sessoes`.
std::filesystem::path pastaDoConsumo(const std::filesystem::path& sessoes);

// The file's bytes: one "name value" line per known member ("contexto", "custo",
// "modelo", in that order), numbers with a decimal point. lerTexto reads them back
// (unknown lines ignored, values cleaned as informeDaLinha cleans them).
std::string paraTexto(const Consumo& consumo);
Consumo lerTexto(std::string_view texto);

// Keeps `consumo` as the file of session `id` in `pasta` (the folder is made, not its
// parents), replacing it atomically (a temporary file renamed over it), but only when
// its bytes differ and the present file was not written in the second before `agora`.
// Nothing is kept for an empty Consumo. Returns whether it wrote. Never throws (but
// std::bad_alloc).
bool guardarConsumo(const std::filesystem::path& pasta, std::string_view id, const Consumo& consumo, double agora);

// The files of `pasta` that belong to `sessoes` (listed once; only those present
// are opened), by session id; sessions without a file, or with nothing readable in
// it, are absent. Never throws (but std::bad_alloc).
Consumos lerConsumos(const std::filesystem::path& pasta, const std::vector<Sessao>& sessoes);

// "78%" (rounded to a whole number).
std::string porcentagem(double contexto);
// Brazilian money: "US$ 4,37", "US$ 1.234,50" (rounded to cents).
std::string emDolares(double custo);
// A session's context is about to run out from this rounded percentage on.
inline constexpr long contextoQuaseCheio = 90;
bool quaseCheio(const Consumo& consumo);

// "US$ 4,37 nas sess\u00F5es abertas": the sum of the known costs of `sessoes`; empty
// when none is known.
std::string custoTotal(const std::vector<Sessao>& sessoes, const Consumos& consumos);

}  // namespace kivo::app
