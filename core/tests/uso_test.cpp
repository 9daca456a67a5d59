#include "kivo/uso.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <optional>
#include <regex>
#include <stdexcept>
#include <string>

namespace kivo {
namespace {

using nlohmann::json;
constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

// Sets TZ for the life of the object and puts the previous value back.
class FusoHorario {
public:
    explicit FusoHorario(const char* tz) {
        if (const char* v = std::getenv("TZ")) antes_ = v;
        setenv("TZ", tz, 1);
    }
    ~FusoHorario() {
        if (antes_)
            setenv("TZ", antes_->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    FusoHorario(const FusoHorario&) = delete;
    FusoHorario& operator=(const FusoHorario&) = delete;

private:
    std::optional<std::string> antes_;
};

constexpr double k14Nov2023 = 1699920000;  // 2023-11-14T00:00:00Z
constexpr double kDia = 86400;

TEST(UsoDia, DataLocalNoFusoDoProcesso) {
    const struct {
        const char* tz;
        double instante;
        const char* esperado;
    } casos[] = {
        {"UTC0", 0, "1970-01-01"},
        {"UTC0", 86399.999, "1970-01-01"},
        {"UTC0", 86400, "1970-01-02"},
        {"UTC0", -0.5, "1969-12-31"},
        {"UTC0", 951782400, "2000-02-29"},
        {"UTC0", 1700000000, "2023-11-14"},
        {"BRT3", 1700000000, "2023-11-14"},  // 19:13 in UTC-3
        {"BRT3", 0, "1969-12-31"},
        {"XYZ-14", 1700000000, "2023-11-15"},  // 12:13 next day in UTC+14
        {"IST-5:30", 1700000000, "2023-11-15"},
        {"IST-5:30", 1699900000, "2023-11-13"},  // 23:56 in UTC+5:30
        // Daylight time: 2023-07-01T22:30Z is 00:30 CEST (UTC+2) on the 2nd, 2023-03-25T23:30Z
        // is 00:30 CET (UTC+1) on the 26th.
        {"CET-1CEST,M3.5.0,M10.5.0/3", 1688250600, "2023-07-02"},
        {"CET-1", 1688250600, "2023-07-01"},
        {"CET-1CEST,M3.5.0,M10.5.0/3", 1679787000, "2023-03-26"},
        {"UTC0", 1679787000, "2023-03-25"},
        // Proleptic Gregorian, year in at least four digits, astronomical numbering.
        {"UTC0", -62135596800, "0001-01-01"},
        {"UTC0", -62135596801, "0000-12-31"},
        {"UTC0", -62167219201, "-0001-12-31"},
        {"UTC0", 253402300800, "10000-01-01"},
        // Past the years of the C library the calendar goes on, in UTC.
        {"UTC0", 67768036191676800.0 - 8, "2147485547-12-31"},
        {"UTC0", 67768036191676800.0, "2147485548-01-01"},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(std::string(c.tz) + " " + std::to_string(c.instante));
        FusoHorario fuso(c.tz);
        EXPECT_EQ(Uso::dia(c.instante), c.esperado);
    }
}

TEST(UsoDia, InstantesForaDoComumNaoQuebram) {
    FusoHorario fuso("UTC0");
    const std::regex forma("-?[0-9]{4,}-[0-9]{2}-[0-9]{2}");
    const double inf = std::numeric_limits<double>::infinity();
    for (double x : {inf, -inf, std::nan(""), 1e300, -1e300, 9.3e18, -9.3e18, 1e17, -1e17}) {
        SCOPED_TRACE(x);
        EXPECT_TRUE(std::regex_match(Uso::dia(x), forma)) << Uso::dia(x);
    }
    EXPECT_EQ(Uso::dia(std::nan("")), "1970-01-01");
    EXPECT_EQ(Uso::dia(inf), Uso::dia(1e300));
    EXPECT_EQ(Uso::dia(-inf).front(), '-');
}

TEST(UsoSomar, NomeAparadoECortado) {
    FusoHorario fuso("UTC0");
    const std::string a59(59, 'a');
    std::string e70;
    for (int i = 0; i < 70; ++i) e70 += "e\u0301";
    std::string e60;
    for (int i = 0; i < 60; ++i) e60 += "e\u0301";
    const struct {
        const char* rotulo;
        std::string nome;
        std::string guardado;
    } casos[] = {
        {"brancos em volta", " \tSafari \t", "Safari"},
        {"espacos unicode", "\u00a0\u3000Mail\u2003", "Mail"},
        {"espaco interno fica", "Google Chrome", "Google Chrome"},
        {"quebra de linha nao e aparada", "\nApp\n", "\nApp\n"},
        {"so quebra de linha", "\n", "\n"},
        {"70 letras", std::string(70, 'x'), std::string(60, 'x')},
        {"70 letras acentuadas", e70, e60},
        {"espaco no fim do corte fica", a59 + " bbbbbbbbbb", a59 + " "},
        {"60 exatas", std::string(60, 'y'), std::string(60, 'y')},
        {"emoji de familia e um caractere", std::string(59, 'z') + "\U0001F468\u200D\U0001F469\u200D\U0001F467!",
         std::string(59, 'z') + "\U0001F468\u200D\U0001F469\u200D\U0001F467"},
        {"maiusculas ficam", "XCODE", "XCODE"},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.rotulo);
        Uso uso;
        uso.somar(c.nome, 30, k14Nov2023);
        ASSERT_EQ(uso.dias.size(), 1u);
        const auto& apps = uso.dias.at("2023-11-14");
        ASSERT_EQ(apps.size(), 1u);
        EXPECT_EQ(apps.begin()->first, c.guardado);
        EXPECT_EQ(apps.begin()->second, 30);
    }
}

TEST(UsoSomar, NomeVazioNaoFazNada) {
    FusoHorario fuso("UTC0");
    Uso cheio;
    for (int d = 1; d <= 20; ++d) {
        char chave[16];
        std::snprintf(chave, sizeof chave, "2023-10-%02d", d);
        cheio.dias[chave]["App"] = d;
    }
    const Uso antes = cheio;
    const std::optional<std::string> nomes[] = {std::nullopt, "", " ", "\t \t", "\u00a0\u2009\u3000"};
    for (const auto& nome : nomes) {
        SCOPED_TRACE(nome.value_or("(ausente)"));
        Uso uso = cheio;
        uso.somar(nome, 100, k14Nov2023);
        EXPECT_EQ(uso.dias, antes.dias);  // nothing added, nothing pruned
    }
}

TEST(UsoSomar, Totais) {
    FusoHorario fuso("UTC0");
    const struct {
        const char* rotulo;
        std::vector<std::pair<std::string, std::int64_t>> somas;
        std::map<std::string, std::int64_t> esperado;
    } casos[] = {
        {"somam", {{"Safari", 30}, {"Safari", 45}}, {{"Safari", 75}}},
        {"caixa diferente", {{"Safari", 1}, {"safari", 2}}, {{"Safari", 1}, {"safari", 2}}},
        {"aparado soma com o mesmo", {{"Mail", 1}, {" Mail\t", 2}}, {{"Mail", 3}}},
        {"zero cria", {{"Notas", 0}}, {{"Notas", 0}}},
        {"negativo diminui", {{"A", 100}, {"A", -130}}, {{"A", -30}}},
        {"composto e decomposto", {{"Caf\u00e9", 10}, {"Cafe\u0301", 5}}, {{"Caf\u00e9", 15}}},
        {"decomposto primeiro", {{"Cafe\u0301", 10}, {"Caf\u00e9", 5}}, {{"Cafe\u0301", 15}}},
        {"sinal kelvin e K", {{"K", 1}, {"\u212a", 2}}, {{"K", 3}}},
        {"satura no maximo", {{"A", kMax - 1}, {"A", 5}}, {{"A", kMax}}},
        {"satura no minimo", {{"A", kMin + 1}, {"A", -5}}, {{"A", kMin}}},
        {"volta do maximo", {{"A", kMax}, {"A", 1}, {"A", -1}}, {{"A", kMax - 1}}},
        {"extremos somam exato", {{"A", kMax}, {"A", kMin}}, {{"A", -1}}},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.rotulo);
        Uso uso;
        for (const auto& [nome, s] : c.somas) uso.somar(nome, s, k14Nov2023 + 3600);
        ASSERT_EQ(uso.dias.size(), 1u);
        EXPECT_EQ(uso.dias.at("2023-11-14"), c.esperado);
    }
}

TEST(UsoSomar, DiaDoInstanteNoFusoLocal) {
    Uso uso;
    {
        FusoHorario fuso("BRT3");
        uso.somar("A", 1, k14Nov2023 + 3600);  // 22:00 of the 13th in UTC-3
    }
    {
        FusoHorario fuso("UTC0");
        uso.somar("A", 2, k14Nov2023 + 3600);
    }
    EXPECT_EQ(uso.dias, (decltype(uso.dias){{"2023-11-13", {{"A", 1}}}, {"2023-11-14", {{"A", 2}}}}));
}

std::vector<std::string> chaves(const Uso& uso) {
    std::vector<std::string> v;
    for (const auto& [dia, apps] : uso.dias) v.push_back(dia);
    return v;
}

TEST(UsoSomar, GuardaOs14DiasMaisNovos) {
    FusoHorario fuso("UTC0");
    // 2023-11-01 .. 2023-11-14.
    const double inicio = k14Nov2023 - 13 * kDia;
    Uso base;
    for (int d = 0; d < 14; ++d) base.somar("A", 1, inicio + d * kDia);
    const std::vector<std::string> quatorze = {
        "2023-11-01", "2023-11-02", "2023-11-03", "2023-11-04", "2023-11-05",
        "2023-11-06", "2023-11-07", "2023-11-08", "2023-11-09", "2023-11-10",
        "2023-11-11", "2023-11-12", "2023-11-13", "2023-11-14"};
    ASSERT_EQ(chaves(base), quatorze);

    {
        SCOPED_TRACE("um dia novo tira o mais velho");
        Uso uso = base;
        uso.somar("B", 5, k14Nov2023 + kDia);
        std::vector<std::string> esperado(quatorze.begin() + 1, quatorze.end());
        esperado.push_back("2023-11-15");
        EXPECT_EQ(chaves(uso), esperado);
        EXPECT_EQ(uso.dias.at("2023-11-15").at("B"), 5);
    }
    {
        SCOPED_TRACE("um dia mais velho entra e sai");
        Uso uso = base;
        uso.somar("B", 5, inicio - kDia);
        EXPECT_EQ(uso.dias, base.dias);
    }
    {
        SCOPED_TRACE("um dia que ja existe nao tira nada");
        Uso uso = base;
        uso.somar("B", 5, inicio);
        EXPECT_EQ(chaves(uso), quatorze);
    }
    {
        SCOPED_TRACE("mais de 14 guardados de fora sao podados na soma");
        Uso uso;
        for (int d = 1; d <= 20; ++d) {
            char chave[16];
            std::snprintf(chave, sizeof chave, "2023-10-%02d", d);
            uso.dias[chave]["App"] = d;
        }
        uso.somar("App", 1, k14Nov2023 - 30 * kDia);  // 2023-10-15, already there
        EXPECT_EQ(chaves(uso), (std::vector<std::string>{
                                   "2023-10-07", "2023-10-08", "2023-10-09", "2023-10-10",
                                   "2023-10-11", "2023-10-12", "2023-10-13", "2023-10-14",
                                   "2023-10-15", "2023-10-16", "2023-10-17", "2023-10-18",
                                   "2023-10-19", "2023-10-20"}));
        EXPECT_EQ(uso.dias.at("2023-10-15").at("App"), 16);
    }
}

json app(const std::string& nome, std::int64_t minutos) {
    return json{{"pacote", nome}, {"nome", nome}, {"minutos", minutos}};
}

TEST(UsoParaEnviar, MinutosArredondados) {
    const struct {
        std::int64_t segundos;
        std::optional<std::int64_t> minutos;  // nullopt: left out
    } casos[] = {
        {kMin, std::nullopt}, {-600, std::nullopt}, {0, std::nullopt}, {59, std::nullopt},
        {60, 1},              {89, 1},              {90, 2},           {149, 2},
        {150, 3},             {1770, 30},           {1769, 29},        {3600, 60},
        // 2^63 / 60 as a double is 153722867280912928.
        {kMax, 153722867280912928},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.segundos);
        Uso uso;
        uso.dias["2024-01-01"]["App"] = c.segundos;
        const auto r = uso.paraEnviar(1);
        ASSERT_EQ(r.size(), 1u);
        const json apps = c.minutos ? json::array({app("App", *c.minutos)}) : json::array();
        EXPECT_EQ(r[0], (json{{"dia", "2024-01-01"}, {"apps", apps}}));
    }
}

TEST(UsoParaEnviar, DiasMaisRecentesComOMaisVelhoPrimeiro) {
    Uso uso;
    uso.dias["2024-01-03"]["C"] = 120;
    uso.dias["2024-01-01"]["A"] = 60;
    uso.dias["2024-01-02"]["B"] = 10;  // below a minute: listed with no apps
    const json d1 = {{"dia", "2024-01-01"}, {"apps", json::array({app("A", 1)})}};
    const json d2 = {{"dia", "2024-01-02"}, {"apps", json::array()}};
    const json d3 = {{"dia", "2024-01-03"}, {"apps", json::array({app("C", 2)})}};
    const struct {
        int n;
        std::vector<json> esperado;
    } casos[] = {
        {0, {}},
        {1, {d3}},
        {2, {d2, d3}},
        {3, {d1, d2, d3}},
        {7, {d1, d2, d3}},
        {std::numeric_limits<int>::max(), {d1, d2, d3}},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.n);
        EXPECT_EQ(uso.paraEnviar(c.n), c.esperado);
    }
    EXPECT_TRUE(Uso{}.paraEnviar(5).empty());
    EXPECT_THROW(uso.paraEnviar(-1), std::invalid_argument);
}

TEST(UsoParaEnviar, NomesPorCodigoDaFormaComposta) {
    Uso uso;
    auto& apps = uso.dias["2024-01-01"];
    for (const char* nome : {"abc", "Zed", "Safari", "\u00c9clair", "E\u0301x", "\u00e9", "_"}) apps[nome] = 60;
    // Upper case before lower case; É (U+00C9) after all ASCII even when written decomposed.
    const json esperado = json::array({app("Safari", 1), app("Zed", 1), app("_", 1), app("abc", 1),
                                       app("\u00c9clair", 1), app("E\u0301x", 1), app("\u00e9", 1)});
    const auto r = uso.paraEnviar(1);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0]["apps"], esperado);
}

TEST(UsoJson, CodificaESempreTemDias) {
    EXPECT_EQ(paraJson(Uso{}), "{\"dias\":{}}");
    Uso uso;
    uso.dias["2024-01-01"]["Caf\u00e9 \"x\""] = kMin;
    uso.dias["2024-01-01"]["A"] = kMax;
    uso.dias["2024-01-02"];
    const auto lido = json::parse(paraJson(uso));
    EXPECT_EQ(lido, (json{{"dias",
                           {{"2024-01-01", {{"A", kMax}, {"Caf\u00e9 \"x\"", kMin}}},
                            {"2024-01-02", json::object()}}}}));
    EXPECT_EQ(usoDeJson(paraJson(uso)).dias, uso.dias);

    Uso ruim;
    ruim.dias["2024-01-01"]["\xff"] = 1;
    EXPECT_THROW(paraJson(ruim), std::domain_error);
}

TEST(UsoJson, DecodificaValoresInteiros) {
    using Dias = decltype(Uso::dias);
    const struct {
        const char* texto;
        Dias esperado;
    } casos[] = {
        {"{\"dias\":{}}", {}},
        {" {\"outro\":[1,{\"x\":null}],\"dias\":{},\"mais\":\"y\"} ", {}},
        {"{\"dias\":{\"2024-01-01\":{}}}", {{"2024-01-01", {}}}},
        {"{\"dias\":{\"2024-01-01\":{\"a\":12.0,\"b\":1e2,\"c\":-0,\"d\":-0.0,\"e\":1.5e1,\"f\":-7}}}",
         {{"2024-01-01", {{"a", 12}, {"b", 100}, {"c", 0}, {"d", 0}, {"e", 15}, {"f", -7}}}}},
        {"{\"dias\":{\"d\":{\"a\":9007199254740993,\"b\":9223372036854775807,\"c\":-9223372036854775808,"
         "\"e\":9.223372036854775807e18}}}",
         {{"d", {{"a", 9007199254740993}, {"b", kMax}, {"c", kMin}, {"e", kMax}}}}},
        // The last duplicate wins, at every level.
        {"{\"dias\":5,\"dias\":{\"d\":{\"a\":1}}}", {{"d", {{"a", 1}}}}},
        {"{\"dias\":{\"d\":[],\"d\":{\"a\":1,\"a\":2}}}", {{"d", {{"a", 2}}}}},
        {"{\"dias\":{\"d\":{\"a\":\"x\",\"a\":3}}}", {{"d", {{"a", 3}}}}},
        {"{\"dias\":{\"d\":{\"a\":1}},\"dias\":{\"e\":{}}}", {{"e", {}}}},
        {"{\"dias\":{\"d\":{\"\\u00e9\":1}}}", {{"d", {{"\u00e9", 1}}}}},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.texto);
        Uso uso;
        ASSERT_NO_THROW(uso = usoDeJson(c.texto));
        EXPECT_EQ(uso.dias, c.esperado);
    }
}

TEST(UsoJson, RecusaOQueNaoEORegistro) {
    const char* casos[] = {
        "",
        "nada",
        "[]",
        "null",
        "5",
        "{}",
        "{\"Dias\":{}}",
        "{\"dias\":[]}",
        "{\"dias\":null}",
        "{\"dias\":\"\"}",
        "{\"dias\":{}} x",
        "{\"dias\":{},}",
        "\xEF\xBB\xBF{\"dias\":{}}",
        "{\"dias\":{\"d\":[]}}",
        "{\"dias\":{\"d\":1}}",
        "{\"dias\":{\"d\":{\"a\":\"1\"}}}",
        "{\"dias\":{\"d\":{\"a\":true}}}",
        "{\"dias\":{\"d\":{\"a\":null}}}",
        "{\"dias\":{\"d\":{\"a\":{}}}}",
        "{\"dias\":{\"d\":{\"a\":[1]}}}",
        "{\"dias\":{\"d\":{\"a\":1.5}}}",
        "{\"dias\":{\"d\":{\"a\":1e-9}}}",
        "{\"dias\":{\"d\":{\"a\":9223372036854775808}}}",
        "{\"dias\":{\"d\":{\"a\":-9223372036854775809}}}",
        "{\"dias\":{\"d\":{\"a\":1e19}}}",
        "{\"dias\":{\"d\":{\"a\":1e400}}}",
        "{\"dias\":{\"d\":{\"a\":1},\"e\":{\"b\":0.5}}}",
        "{\"dias\":{\"d\":{\"a\":1}},\"dias\":5}",  // the last "dias" wins
        "{\"dias\":{\"d\":{\"a\":1},\"d\":7}}",
        "{\"dias\":{\"d\":{\"a\":1,\"a\":\"x\"}}}",
        "{\"dias\":{\"d\":{\"\xff\":1}}}",
    };
    for (const char* c : casos) {
        SCOPED_TRACE(c);
        EXPECT_ANY_THROW(usoDeJson(c));
    }
}

TEST(UsoIgualdade, NomesCanonicamenteEquivalentes) {
    Uso a;
    a.dias["2024-01-01"]["Caf\u00e9"] = 5;
    Uso b;
    b.dias["2024-01-01"]["Cafe\u0301"] = 5;
    EXPECT_EQ(a, b);
    Uso c = b;
    c.dias["2024-01-01"]["Cafe\u0301"] = 6;
    EXPECT_NE(a, c);
    Uso d = a;
    d.dias["2024-01-02"];
    EXPECT_NE(a, d);
    Uso e = a;
    e.dias["2024-01-01"]["Outro"] = 5;
    EXPECT_NE(a, e);
    EXPECT_EQ(Uso{}, Uso{});
    EXPECT_NE(Uso{}, d);
}

}  // namespace
}  // namespace kivo
