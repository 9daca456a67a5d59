#include "kivo/contexto.hpp"

#include "unicode.hpp"

namespace kivo {

namespace {

// An optional "+" or "-", then one or more ASCII digits and nothing else, within
// the 32-bit signed range.
std::optional<std::int32_t> inteiro32(std::string_view s) {
    std::size_t i = 0;
    bool negativo = false;
    if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
        negativo = s[0] == '-';
        i = 1;
    }
    if (i == s.size()) return std::nullopt;
    std::int64_t v = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9') return std::nullopt;
        v = v * 10 + (s[i] - '0');
        if (v > 2147483648LL) return std::nullopt;
    }
    if (negativo) v = -v;
    if (v < INT32_MIN || v > INT32_MAX) return std::nullopt;
    return static_cast<std::int32_t>(v);
}

}  // namespace

Contexto Contexto::doAmbiente(const std::map<std::string, std::string>& ambiente, double agora) {
    auto valor = [&](const char* nome) -> const std::string* {
        const auto it = ambiente.find(nome);
        if (it == ambiente.end() || !texto::utf8Valido(it->second)) return nullptr;
        return &it->second;
    };
    Contexto c;
    c.agora = agora;
    if (const std::string* pid = valor("CLAUDE_PID"); pid && !pid->empty()) c.pid = inteiro32(*pid);
    const std::string* entrada = valor("CLAUDE_CODE_ENTRYPOINT");
    const std::string* terminal = valor("TERM_PROGRAM");
    if (entrada && *entrada == "claude-desktop")
        c.origem = "claude-desktop";
    else if (terminal)
        c.origem = *terminal;
    else if (entrada)
        c.origem = *entrada;
    return c;
}

}  // namespace kivo
