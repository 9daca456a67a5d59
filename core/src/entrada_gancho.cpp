#include "entrada_gancho.hpp"

#include <unistd.h>

#include <cerrno>
#include <string_view>

#include "json.hpp"

namespace kivo::gancho {

namespace {

// Standard input in 64 KiB pieces, straight into the parser.
class FonteDescritor {
public:
    const char* p = nullptr;
    const char* fim = nullptr;

    explicit FonteDescritor(int fd) : fd_(fd) {}

    bool recarregar() {
        if (acabou_) return false;
        for (;;) {
            const ssize_t n = ::read(fd_, buf_, sizeof buf_);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                acabou_ = true;
                return false;
            }
            p = buf_;
            fim = buf_ + n;
            return true;
        }
    }
    // Reads and drops whatever is left, so the writer never meets a closed pipe.
    void esgotar() {
        while (recarregar()) {
        }
    }

private:
    int fd_;
    bool acabou_ = false;
    static inline char buf_[64 * 1024];
};

enum Membro { nome, sessao, cwd, ferramenta, ferramentaId, tipo, mensagem, titulo, ultima, origem, kMembros, outro = kMembros };

Membro membroDe(std::string_view k) {
    static constexpr std::string_view nomes[kMembros] = {
        "hook_event_name", "session_id", "cwd", "tool_name", "tool_use_id", "notification_type",
        "message", "session_title", "last_assistant_message", "source"};
    for (int i = 0; i < kMembros; ++i)
        if (nomes[i] == k) return static_cast<Membro>(i);
    return outro;
}

// Keeps the string value of each wanted top-level member; a later duplicate replaces
// an earlier one, and a value that is not a string counts as missing.
class ColetorEvento {
public:
    std::optional<std::string> valores[kMembros];

    // Only an object may stand at the top level (depth 0).
    bool inicioObjeto() {
        descartar();
        ++prof_;
        return true;
    }
    bool inicioLista() {
        if (prof_ == 0) return false;
        descartar();
        ++prof_;
        return true;
    }
    bool fimObjeto() {
        --prof_;
        return true;
    }
    bool fimLista() { return fimObjeto(); }
    bool querChave(std::size_t p) { return p == 1; }
    bool querTexto(std::size_t p) { return p == 1 && atual_ != outro; }
    bool querNumero(std::size_t) { return false; }
    bool chave(std::string& k) {
        if (prof_ == 1) atual_ = membroDe(k);
        return true;
    }
    bool texto(std::string& s) {
        if (prof_ == 0) return false;
        if (prof_ == 1 && atual_ != outro) valores[atual_] = std::move(s);
        return true;
    }
    bool numero(std::string_view) { return escalar(); }
    bool literal(json::Literal) { return escalar(); }

private:
    bool escalar() {
        if (prof_ == 0) return false;
        descartar();
        return true;
    }
    // The current member's value is not a string: the member counts as missing.
    void descartar() {
        if (prof_ == 1 && atual_ != outro) valores[atual_].reset();
    }

    std::size_t prof_ = 0;
    Membro atual_ = outro;
};

}  // namespace

std::optional<EventoGancho> lerEvento(int fd) {
    FonteDescritor fonte(fd);
    ColetorEvento coletor;
    const bool ok = json::analisar(fonte, coletor);
    fonte.esgotar();
    if (!ok) return std::nullopt;
    auto& v = coletor.valores;
    if (!v[nome] || !v[sessao] || v[sessao]->empty()) return std::nullopt;
    EventoGancho e;
    e.nome = std::move(*v[nome]);
    e.sessaoId = std::move(*v[sessao]);
    e.cwd = std::move(v[cwd]);
    e.ferramenta = std::move(v[ferramenta]);
    e.ferramentaId = std::move(v[ferramentaId]);
    e.tipoNotificacao = std::move(v[tipo]);
    e.mensagem = std::move(v[mensagem]);
    e.titulo = std::move(v[titulo]);
    e.ultimaMensagem = std::move(v[ultima]);
    e.origemSessao = std::move(v[origem]);
    return e;
}

}  // namespace kivo::gancho
