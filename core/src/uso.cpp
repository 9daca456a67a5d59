#include "kivo/uso.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <ctime>
#include <limits>
#include <stdexcept>
#include <utility>

#include "json.hpp"
#include "unicode.hpp"

namespace kivo {
namespace {

using Apps = std::map<std::string, std::int64_t>;
using Dias = std::map<std::string, Apps>;

constexpr std::size_t kDiasGuardados = 14;
constexpr std::size_t kGrafemasDoNome = 60;
constexpr std::int64_t kSegundosMinimos = 60;

static_assert(sizeof(std::time_t) >= 8, "instants need a 64-bit time_t");

// --- Days

std::int64_t divisaoPiso(std::int64_t a, std::int64_t b) {
    const std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

struct Data {
    std::int64_t ano;
    int mes;
    int dia;
};

// Proleptic Gregorian date of a count of days since 1970-01-01 (H. Hinnant's
// civil_from_days, in 64 bits).
Data dataDeDias(std::int64_t dias) {
    const std::int64_t z = dias + 719468;
    const std::int64_t era = divisaoPiso(z, 146097);
    const std::int64_t doe = z - era * 146097;                                    // [0, 146096]
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;  // [0, 399]
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);             // [0, 365]
    const std::int64_t mp = (5 * doy + 2) / 153;                                  // [0, 11]
    const auto d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const auto m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    return {yoe + era * 400 + (m <= 2 ? 1 : 0), m, d};
}

// The whole second at or before the instant. NaN reads as 1970; instants beyond the
// 64-bit range are held at its ends.
std::int64_t segundoDe(double instante) {
    if (std::isnan(instante)) return 0;
    const double piso = std::floor(instante);
    constexpr double limite = 9223372036854775808.0;  // 2^63
    if (piso >= limite) return std::numeric_limits<std::int64_t>::max();
    if (piso < -limite) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(piso);
}

void anexarNumero(std::string& s, std::uint64_t v, int largura) {
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    for (auto n = r.ptr - buf; n < largura; ++n) s.push_back('0');
    s.append(buf, r.ptr);
}

// --- Order of texts: code points of the composed forms

// The sort key of a text: its NFC form, or the bytes themselves when it is not valid
// UTF-8. Byte order of valid UTF-8 is code point order.
std::string chaveDeOrdem(std::string_view s) {
    return texto::utf8Valido(s) ? texto::nfc(s) : std::string(s);
}

// The entries of a map in text order. Canonically equivalent keys keep the map's order.
template <class Mapa>
std::vector<typename Mapa::const_iterator> emOrdem(const Mapa& mapa) {
    std::vector<std::pair<std::string, typename Mapa::const_iterator>> chaves;
    chaves.reserve(mapa.size());
    bool ascii = true;
    for (auto it = mapa.begin(); it != mapa.end(); ++it) {
        ascii = ascii && texto::ehAscii(it->first);
        chaves.emplace_back(std::string(), it);
    }
    if (!ascii) {  // map order is already text order for ASCII keys
        for (auto& [chave, it] : chaves) chave = chaveDeOrdem(it->first);
        std::stable_sort(chaves.begin(), chaves.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
    }
    std::vector<typename Mapa::const_iterator> saida;
    saida.reserve(chaves.size());
    for (const auto& par : chaves) saida.push_back(par.second);
    return saida;
}

// Equality of maps whose keys compare by canonical equivalence.
template <class Mapa, class IgualValor>
bool iguaisCanonicos(const Mapa& a, const Mapa& b, IgualValor igualValor) {
    if (a.size() != b.size()) return false;
    auto normalizar = [](const Mapa& m) {
        std::vector<std::pair<std::string, const typename Mapa::mapped_type*>> v;
        v.reserve(m.size());
        for (const auto& [chave, valor] : m) v.emplace_back(chaveDeOrdem(chave), &valor);
        std::stable_sort(v.begin(), v.end(),
                         [](const auto& x, const auto& y) { return x.first < y.first; });
        return v;
    };
    const auto na = normalizar(a);
    const auto nb = normalizar(b);
    for (std::size_t i = 0; i < na.size(); ++i) {
        if (na[i].first != nb[i].first || !igualValor(*na[i].second, *nb[i].second)) return false;
    }
    return true;
}

std::int64_t somaSaturada(std::int64_t a, std::int64_t b) {
    std::int64_t r;
    if (!__builtin_add_overflow(a, b, &r)) return r;
    return b > 0 ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int64_t>::min();
}

// --- Decoding

// Reads {"dias":{day:{name:integer}}} straight from the parser, so that each seconds
// value is judged by the exact number written ("12.0", "1e2" and "-0" are whole;
// 9007199254740993 stays exact). Duplicate names: the last one wins, at every level.
class LeitorUso {
public:
    using AppsLidos = std::map<std::string, std::optional<std::int64_t>>;

    bool temDias = false;
    bool diasObjeto = false;
    std::map<std::string, std::optional<AppsLidos>> dias;

    bool inicioObjeto() { return abrir(true); }
    bool inicioLista() { return abrir(false); }
    bool fimObjeto() { return fechar(); }
    bool fimLista() { return fechar(); }
    bool querChave(std::size_t profundidade) { return profundidade <= 3; }
    bool querTexto(std::size_t) { return false; }
    bool querNumero(std::size_t profundidade) { return profundidade == 3 && dentroDoDia_; }
    bool chave(std::string& k) {
        if (prof_ <= 3) chaves_[prof_] = std::move(k);
        return true;
    }
    bool texto(std::string&) { return escalar(std::nullopt); }
    bool literal(json::Literal) { return escalar(std::nullopt); }
    bool numero(std::string_view lexema) {
        if (prof_ == 3 && dentroDoDia_) {
            return escalar(json::inteiroExato(lexema, std::numeric_limits<std::int64_t>::min(),
                                              std::numeric_limits<std::int64_t>::max()));
        }
        return escalar(std::nullopt);
    }

private:
    // A value begins at the current depth; `objeto` tells whether it is an object.
    bool valor(bool objeto, std::optional<std::int64_t> segundos, bool escalarValor) {
        switch (prof_) {
            case 0:
                return objeto;  // the top level must be an object
            case 1:
                if (chaves_[1] == "dias") {
                    temDias = true;
                    diasObjeto = objeto;
                    dias.clear();
                    dentroDosDias_ = objeto;
                }
                return true;
            case 2:
                if (dentroDosDias_) {
                    auto& d = dias[chaves_[2]];
                    if (objeto)
                        d.emplace();
                    else
                        d.reset();
                    dentroDoDia_ = objeto;
                }
                return true;
            case 3:
                if (dentroDoDia_) {
                    auto& d = dias[chaves_[2]];
                    (*d)[chaves_[3]] = escalarValor ? segundos : std::nullopt;
                }
                return true;
            default:
                return true;
        }
    }
    bool escalar(std::optional<std::int64_t> segundos) { return valor(false, segundos, true); }
    bool abrir(bool objeto) {
        if (!valor(objeto, std::nullopt, false)) return false;
        ++prof_;
        return true;
    }
    bool fechar() {
        --prof_;
        if (prof_ == 1) dentroDosDias_ = false;
        if (prof_ == 2) dentroDoDia_ = false;
        return true;
    }

    std::size_t prof_ = 0;
    std::string chaves_[4];
    bool dentroDosDias_ = false;  // inside the object of the last "dias" member
    bool dentroDoDia_ = false;    // inside one day's object
};

}  // namespace

bool Uso::operator==(const Uso& outro) const {
    if (dias == outro.dias) return true;
    return iguaisCanonicos(dias, outro.dias, [](const Apps& a, const Apps& b) {
        return iguaisCanonicos(a, b, [](std::int64_t x, std::int64_t y) { return x == y; });
    });
}

// The C library's local time, with TZ read again on every call. Years the C library
// cannot represent (beyond about ±2^31) are given in UTC. Years before 1 are written
// with a minus sign (astronomical numbering: 0 is 1 BC).
std::string Uso::dia(double instante) {
    const std::int64_t segundo = segundoDe(instante);
    tzset();
    const auto t = static_cast<std::time_t>(segundo);
    std::tm tm{};
    Data d;
    if (localtime_r(&t, &tm)) {
        d = {static_cast<std::int64_t>(tm.tm_year) + 1900, tm.tm_mon + 1, tm.tm_mday};
    } else {
        d = dataDeDias(divisaoPiso(segundo, 86400));
    }
    std::string s;
    if (d.ano < 0) s.push_back('-');
    const std::uint64_t ano =
        d.ano < 0 ? 0 - static_cast<std::uint64_t>(d.ano) : static_cast<std::uint64_t>(d.ano);
    anexarNumero(s, ano, 4);
    s.push_back('-');
    anexarNumero(s, static_cast<std::uint64_t>(d.mes), 2);
    s.push_back('-');
    anexarNumero(s, static_cast<std::uint64_t>(d.dia), 2);
    return s;
}

void Uso::somar(const std::optional<std::string>& app, std::int64_t segundos, double em) {
    if (!app) return;
    const std::string_view nome =
        texto::primeirosGrafemas(texto::aparar(*app, texto::Conjunto::espaco), kGrafemasDoNome);
    if (nome.empty()) return;

    Apps& apps = dias[dia(em)];
    auto it = apps.find(std::string(nome));
    if (it == apps.end()) {
        // A canonically equivalent name already there is the same application; its
        // first spelling stays.
        it = std::find_if(apps.begin(), apps.end(),
                          [&](const auto& par) { return texto::iguais(par.first, nome); });
    }
    if (it == apps.end()) it = apps.emplace(std::string(nome), 0).first;
    it->second = somaSaturada(it->second, segundos);

    if (dias.size() > kDiasGuardados) {
        const auto ordem = emOrdem(dias);
        std::vector<std::string> velhos;
        for (std::size_t i = 0; i < ordem.size() - kDiasGuardados; ++i) velhos.push_back(ordem[i]->first);
        for (const auto& v : velhos) dias.erase(v);
    }
}

std::vector<nlohmann::json> Uso::paraEnviar(int n) const {
    if (n < 0) throw std::invalid_argument("negative day count");
    const auto ordem = emOrdem(dias);
    const std::size_t quantos = std::min(ordem.size(), static_cast<std::size_t>(n));
    std::vector<nlohmann::json> saida;
    saida.reserve(quantos);
    for (std::size_t i = ordem.size() - quantos; i < ordem.size(); ++i) {
        const auto& [chave, apps] = *ordem[i];
        Apps listados;
        for (const auto& [nome, segundos] : apps) {
            if (segundos >= kSegundosMinimos) listados.emplace(nome, segundos);
        }
        nlohmann::json lista = nlohmann::json::array();
        for (const auto& it : emOrdem(listados)) {
            const auto minutos =
                static_cast<std::int64_t>(std::round(static_cast<double>(it->second) / 60.0));
            nlohmann::json app = nlohmann::json::object();
            app["pacote"] = it->first;
            app["nome"] = it->first;
            app["minutos"] = minutos;
            lista.push_back(std::move(app));
        }
        nlohmann::json resumo = nlohmann::json::object();
        resumo["dia"] = chave;
        resumo["apps"] = std::move(lista);
        saida.push_back(std::move(resumo));
    }
    return saida;
}

std::string paraJson(const Uso& uso) {
    nlohmann::json dias = nlohmann::json::object();
    for (const auto& [dia, apps] : uso.dias) {
        if (!texto::utf8Valido(dia)) throw std::domain_error("usage day is not valid UTF-8");
        nlohmann::json doDia = nlohmann::json::object();
        for (const auto& [nome, segundos] : apps) {
            if (!texto::utf8Valido(nome)) throw std::domain_error("application name is not valid UTF-8");
            doDia[nome] = segundos;
        }
        dias[dia] = std::move(doDia);
    }
    nlohmann::json raiz = nlohmann::json::object();
    raiz["dias"] = std::move(dias);
    return raiz.dump();
}

Uso usoDeJson(std::string_view texto) {
    json::FonteMemoria fonte(texto);
    LeitorUso leitor;
    if (!json::analisar(fonte, leitor)) throw std::invalid_argument("usage record is not a JSON object");
    if (!leitor.temDias) throw std::invalid_argument("usage record has no \"dias\"");
    if (!leitor.diasObjeto) throw std::invalid_argument("\"dias\" is not an object");
    Uso uso;
    for (auto& [dia, apps] : leitor.dias) {
        if (!apps) throw std::invalid_argument("a day of \"dias\" is not an object");
        auto& destino = uso.dias[dia];
        for (auto& [nome, segundos] : *apps) {
            if (!segundos) throw std::invalid_argument("seconds are not a whole 64-bit number");
            destino.emplace(nome, *segundos);
        }
    }
    return uso;
}

}  // namespace kivo
