#include "json.hpp"

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>

#if defined(__APPLE__)
#include <xlocale.h>
#endif
#include <locale.h>

namespace kivo::json {

double paraDouble(std::string_view lexema) {
#if defined(__cpp_lib_to_chars) && __cpp_lib_to_chars >= 201611L
    // std::from_chars: correctly rounded, locale-free and several times faster than
    // strtod; it reports a value out of range, which strtod below rounds.
    double valor = 0;
    const auto r = std::from_chars(lexema.data(), lexema.data() + lexema.size(), valor);
    if (r.ec == std::errc() && r.ptr == lexema.data() + lexema.size()) return valor;
#endif
    // strtod_l with the C locale: correctly rounded, ±HUGE_VAL on overflow, and no
    // dependence on the process's LC_NUMERIC.
    static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    const std::string s(lexema);
    return strtod_l(s.c_str(), nullptr, c);
}

std::optional<std::int64_t> inteiroExato(std::string_view lexema, std::int64_t minimo,
                                         std::int64_t maximo) {
    std::size_t i = 0;
    const bool negativo = !lexema.empty() && lexema[0] == '-';
    if (negativo) ++i;
    std::string digitos;  // integer and fraction digits, without the point
    std::int64_t expoente = 0;
    for (; i < lexema.size() && lexema[i] >= '0' && lexema[i] <= '9'; ++i) digitos.push_back(lexema[i]);
    if (i < lexema.size() && lexema[i] == '.') {
        for (++i; i < lexema.size() && lexema[i] >= '0' && lexema[i] <= '9'; ++i) {
            digitos.push_back(lexema[i]);
            --expoente;
        }
    }
    if (i < lexema.size() && (lexema[i] == 'e' || lexema[i] == 'E')) {
        ++i;
        bool expNegativo = false;
        if (i < lexema.size() && (lexema[i] == '+' || lexema[i] == '-')) expNegativo = lexema[i++] == '-';
        std::int64_t e = 0;
        for (; i < lexema.size(); ++i) {
            if (e < 1'000'000'000'000) e = e * 10 + (lexema[i] - '0');
        }
        expoente += expNegativo ? -e : e;
    }
    // value = digitos × 10^expoente
    const std::size_t primeiro = digitos.find_first_not_of('0');
    if (primeiro == std::string::npos) return minimo <= 0 && 0 <= maximo ? std::optional<std::int64_t>(0) : std::nullopt;
    std::size_t ultimo = digitos.find_last_not_of('0');
    expoente += static_cast<std::int64_t>(digitos.size() - 1 - ultimo);
    const std::string_view sig(digitos.data() + primeiro, ultimo - primeiro + 1);
    if (expoente < 0) return std::nullopt;  // a fraction remains
    if (static_cast<std::int64_t>(sig.size()) + expoente > 19) return std::nullopt;
    // At most 19 digits: below 10^19, which fits in 64 unsigned bits.
    std::uint64_t v = 0;
    for (char d : sig) v = v * 10 + static_cast<unsigned>(d - '0');
    for (std::int64_t k = 0; k < expoente; ++k) v *= 10;
    if (negativo) {
        if (v > static_cast<std::uint64_t>(INT64_MAX) + 1) return std::nullopt;
        const std::int64_t com = v == static_cast<std::uint64_t>(INT64_MAX) + 1
                                     ? INT64_MIN
                                     : -static_cast<std::int64_t>(v);
        if (com < minimo || com > maximo) return std::nullopt;
        return com;
    }
    if (v > static_cast<std::uint64_t>(INT64_MAX)) return std::nullopt;
    const auto com = static_cast<std::int64_t>(v);
    if (com < minimo || com > maximo) return std::nullopt;
    return com;
}

namespace {

// Builds an nlohmann value from the parser's events, without recursion.
template <class Json>
class ConstrutorDom {
public:
    Json raiz;

    bool inicioObjeto() { return abrir(Json::object()); }
    bool inicioLista() { return abrir(Json::array()); }
    bool fimObjeto() { return fechar(); }
    bool fimLista() { return fechar(); }
    bool querChave(std::size_t) { return true; }
    bool querTexto(std::size_t) { return true; }
    bool querNumero(std::size_t) { return true; }
    bool chave(std::string& k) {
        chave_ = std::move(k);
        return true;
    }
    bool texto(std::string& s) {
        colocar(Json(std::move(s)));
        return true;
    }
    bool literal(Literal l) {
        if (l == Literal::nulo)
            colocar(Json(nullptr));
        else
            colocar(Json(l == Literal::verdadeiro));
        return true;
    }
    bool numero(std::string_view lexema) {
        if (lexema.find_first_of(".eE") == std::string_view::npos) {
            std::int64_t i;
            auto r = std::from_chars(lexema.data(), lexema.data() + lexema.size(), i);
            if (r.ec == std::errc() && r.ptr == lexema.data() + lexema.size()) {
                colocar(Json(i));
                return true;
            }
            std::uint64_t u;
            r = std::from_chars(lexema.data(), lexema.data() + lexema.size(), u);
            if (r.ec == std::errc() && r.ptr == lexema.data() + lexema.size()) {
                colocar(Json(u));
                return true;
            }
        }
        colocar(Json(paraDouble(lexema)));
        return true;
    }

private:
    Json* colocar(Json&& v) {
        if (pilha_.empty()) {
            raiz = std::move(v);
            return &raiz;
        }
        Json& topo = *pilha_.back();
        if (topo.is_array()) {
            topo.push_back(std::move(v));
            return &topo.back();
        }
        Json& lugar = topo[chave_];
        lugar = std::move(v);
        return &lugar;
    }
    bool abrir(Json&& v) {
        pilha_.push_back(colocar(std::move(v)));
        return true;
    }
    bool fechar() {
        pilha_.pop_back();
        return true;
    }

    std::vector<Json*> pilha_;
    std::string chave_;
};

template <class Json>
std::optional<Json> construir(std::string_view texto) {
    FonteMemoria f(texto);
    ConstrutorDom<Json> c;
    if (!analisar(f, c)) return std::nullopt;
    return std::move(c.raiz);
}

}  // namespace

std::optional<nlohmann::json> documento(std::string_view texto) {
    return construir<nlohmann::json>(texto);
}

std::optional<nlohmann::ordered_json> documentoOrdenado(std::string_view texto) {
    return construir<nlohmann::ordered_json>(texto);
}

}  // namespace kivo::json
