// The short Brazilian Portuguese texts shown to the user. Pure, thread-safe, and
// never throw (except tempo, see below).
#pragma once

#include <optional>
#include <string>

#include "kivo/sessao.hpp"

namespace kivo::Rotulos {

// What the agent is doing with a tool, e.g. "Rodando um comando". Never empty.
std::string trabalho(const std::optional<std::string>& ferramenta);

// What the agent asks permission for, e.g. "rodar um comando". Never empty.
std::string pedido(const std::optional<std::string>& ferramenta);

// The text for a notification message. Never empty.
std::string notificacao(const std::optional<std::string>& mensagem);

// The first line of the agent's reply worth showing, without its Markdown, at most
// 90 characters; nullopt when no line has anything left.
std::optional<std::string> resumo(const std::optional<std::string>& texto);

// The one-line status of a session, from its estado and detalhe as passed.
std::string doEstado(const Sessao& sessao);

// A duration the short way: "agora", "N min", "N h" or "N d" (truncated).
// Throws std::invalid_argument for NaN or infinity.
std::string tempo(double segundos);

}  // namespace kivo::Rotulos
