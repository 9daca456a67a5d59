#include "instalar/json_edicao.hpp"

#include <vector>

#include "json.hpp"

namespace kivo::app {

namespace {

using Json = nlohmann::ordered_json;

// Where a top-level member sits in the text: from its key's opening quote to the end
// of its value.
struct Membro {
    std::string chave;
    std::size_t inicioChave = 0;
    std::size_t inicioValor = 0;
    std::size_t fimValor = 0;
};

// The top-level object: its braces and members, in order.
struct Estrutura {
    std::size_t abre = 0;
    std::size_t fecha = 0;
    std::vector<Membro> membros;
};

// Takes the places of the top-level object's parts from the core's JSON reader as it
// goes: each call comes right after the bytes it reports (a number's, right before).
class Localizador {
public:
    Localizador(const json::FonteMemoria& fonte, std::size_t deslocamento)
        : fonte_(fonte), inicio_(fonte.p - deslocamento) {}

    bool inicioObjeto() {
        if (prof_ == 0) e.abre = aqui() - 1;
        if (prof_ == 1) inicioValor(aqui() - 1);
        ++prof_;
        return true;
    }
    bool fimObjeto() {
        if (--prof_ == 0) e.fecha = aqui() - 1;
        if (prof_ == 1) fimValor();
        return true;
    }
    bool inicioLista() {
        if (prof_ == 1) inicioValor(aqui() - 1);
        ++prof_;
        return prof_ > 1;  // the top level must be an object
    }
    bool fimLista() {
        if (--prof_ == 1) fimValor();
        return true;
    }
    bool querChave(std::size_t profundidade) {
        if (profundidade == 1) e.membros.push_back(Membro{.chave = {}, .inicioChave = aqui() - 1});
        return profundidade == 1;
    }
    bool querTexto(std::size_t profundidade) {
        if (profundidade == 1) inicioValor(aqui() - 1);
        return false;
    }
    bool querNumero(std::size_t profundidade) {
        if (profundidade == 1) inicioValor(aqui());
        return false;
    }
    bool chave(std::string& k) {
        if (prof_ == 1) e.membros.back().chave = std::move(k);
        return true;
    }
    bool texto(std::string&) { return depoisDeEscalar(); }
    bool numero(std::string_view) { return depoisDeEscalar(); }
    bool literal(json::Literal l) {
        if (prof_ == 1) inicioValor(aqui() - (l == json::Literal::falso ? 5 : 4));
        return depoisDeEscalar();
    }

    Estrutura e;

private:
    std::size_t aqui() const { return static_cast<std::size_t>(fonte_.p - inicio_); }
    void inicioValor(std::size_t i) { e.membros.back().inicioValor = i; }
    void fimValor() { e.membros.back().fimValor = aqui(); }
    bool depoisDeEscalar() {
        if (prof_ == 1) fimValor();
        return prof_ > 0;
    }

    const json::FonteMemoria& fonte_;
    const char* inicio_;
    std::size_t prof_ = 0;
};

std::optional<Estrutura> estruturaDe(std::string_view t) {
    constexpr std::string_view bom = "\xEF\xBB\xBF";  // readers skip it
    const std::size_t de = t.substr(0, bom.size()) == bom ? bom.size() : 0;
    json::FonteMemoria fonte(t.substr(de));
    Localizador l(fonte, de);
    if (!json::analisar(fonte, l)) return std::nullopt;
    return std::move(l.e);
}

// The blanks that start the line of `pos`, when only blanks stand before it there.
std::optional<std::string> recuoDaLinha(std::string_view t, std::size_t pos) {
    const std::size_t inicio = t.rfind('\n', pos == 0 ? 0 : pos - 1);
    const std::size_t de = inicio == std::string_view::npos ? 0 : inicio + 1;
    const std::string_view antes = t.substr(de, pos - de);
    if (antes.find_first_not_of(" \t") != std::string_view::npos) return std::nullopt;
    return std::string(antes);
}

// `valor` as the text of a member: spread over lines with the indentation step, every
// line after the first starting with `base`; or on one line.
std::string valorComo(const Json& valor, bool umaLinha, Recuo recuo, const std::string& base) {
    if (umaLinha) return valor.dump(-1, ' ', false, Json::error_handler_t::strict);
    const std::string bruto = valor.dump(recuo.largura, recuo.caractere, false, Json::error_handler_t::strict);
    std::string t;
    for (const char c : bruto) {
        t += c;
        if (c == '\n') t += base;
    }
    return t;
}

std::string trocar(const std::string& original, const Estrutura& e, std::string_view chave,
                   const std::optional<Json>& valor) {
    const bool umaLinha = original.substr(e.abre, e.fecha - e.abre).find('\n') == std::string::npos;
    const Recuo recuo = recuoDe(original);
    const std::string passo(static_cast<std::size_t>(recuo.largura), recuo.caractere);
    std::optional<std::size_t> achado;
    for (std::size_t k = 0; k < e.membros.size(); ++k) {
        if (e.membros[k].chave == chave) achado = k;  // the last one counts, as for readers
    }
    std::string t = original;
    if (achado) {
        const Membro& m = e.membros[*achado];
        if (valor) {
            const std::string base = recuoDaLinha(original, m.inicioChave).value_or(passo);
            return t.replace(m.inicioValor, m.fimValor - m.inicioValor, valorComo(*valor, umaLinha, recuo, base));
        }
        if (*achado > 0) {
            // From the end of the member before it: its comma and line go with it.
            const std::size_t de = e.membros[*achado - 1].fimValor;
            return t.erase(de, m.fimValor - de);
        }
        if (e.membros.size() > 1) return t.erase(m.inicioChave, e.membros[1].inicioChave - m.inicioChave);
        return t.erase(e.abre + 1, e.fecha - e.abre - 1);
    }
    if (!valor) return t;
    const std::string nome = Json(std::string(chave)).dump();
    if (e.membros.empty()) {
        if (umaLinha) return t.replace(e.abre, e.fecha + 1 - e.abre, "{" + nome + ":" + valorComo(*valor, true, recuo, "") + "}");
        const std::string membro = passo + nome + ": " + valorComo(*valor, false, recuo, passo);
        return t.replace(e.abre, e.fecha + 1 - e.abre, "{\n" + membro + "\n}");
    }
    const Membro& ultimo = e.membros.back();
    if (umaLinha) {
        const bool comEspaco = original.compare(ultimo.inicioValor - 2, 2, ": ") == 0;
        return t.insert(ultimo.fimValor, ", " + nome + (comEspaco ? ": " : ":") + valorComo(*valor, true, recuo, ""));
    }
    const std::string base = recuoDaLinha(original, ultimo.inicioChave).value_or(passo);
    return t.insert(ultimo.fimValor, ",\n" + base + nome + ": " + valorComo(*valor, false, recuo, base));
}

}  // namespace

Recuo recuoDe(std::string_view texto) {
    for (std::size_t i = texto.find('\n'); i != std::string_view::npos; i = texto.find('\n', i + 1)) {
        std::size_t j = i + 1;
        while (j < texto.size() && (texto[j] == ' ' || texto[j] == '\t')) ++j;
        if (j == i + 1 || j >= texto.size() || texto[j] == '\n' || texto[j] == '\r') continue;
        if (texto[i + 1] == '\t') return {1, '\t'};
        return {static_cast<int>(j - i - 1), ' '};
    }
    return {};
}

std::optional<std::string> trocarMembro(std::string_view original, std::string_view chave,
                                        const std::optional<Json>& valor) {
    const std::optional<Estrutura> e = estruturaDe(original);
    if (!e) return std::nullopt;
    try {
        return trocar(std::string(original), *e, chave, valor);
    } catch (const Json::type_error&) {  // text that is not UTF-8 in `valor`
        return std::nullopt;
    }
}

}  // namespace kivo::app
