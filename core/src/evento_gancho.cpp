#include "kivo/evento_gancho.hpp"

#include "unicode.hpp"

namespace kivo {

bool EventoGancho::operator==(const EventoGancho& o) const {
    return texto::iguais(nome, o.nome) && texto::iguais(sessaoId, o.sessaoId) &&
           texto::iguaisOpcionais(cwd, o.cwd) && texto::iguaisOpcionais(ferramenta, o.ferramenta) &&
           texto::iguaisOpcionais(ferramentaId, o.ferramentaId) &&
           texto::iguaisOpcionais(tipoNotificacao, o.tipoNotificacao) &&
           texto::iguaisOpcionais(mensagem, o.mensagem) && texto::iguaisOpcionais(titulo, o.titulo) &&
           texto::iguaisOpcionais(ultimaMensagem, o.ultimaMensagem) &&
           texto::iguaisOpcionais(origemSessao, o.origemSessao);
}

std::optional<EventoGancho> EventoGancho::deJson(const nlohmann::json& objeto) {
    if (!objeto.is_object()) return std::nullopt;
    auto texto = [&](const char* chave) -> std::optional<std::string> {
        const auto it = objeto.find(chave);
        if (it == objeto.end() || !it->is_string()) return std::nullopt;
        return it->get<std::string>();
    };
    auto nome = texto("hook_event_name");
    auto sessao = texto("session_id");
    if (!nome || !sessao || sessao->empty()) return std::nullopt;
    EventoGancho e;
    e.nome = std::move(*nome);
    e.sessaoId = std::move(*sessao);
    e.cwd = texto("cwd");
    e.ferramenta = texto("tool_name");
    e.ferramentaId = texto("tool_use_id");
    e.tipoNotificacao = texto("notification_type");
    e.mensagem = texto("message");
    e.titulo = texto("session_title");
    e.ultimaMensagem = texto("last_assistant_message");
    e.origemSessao = texto("source");
    return e;
}

}  // namespace kivo
