// Application usage by day: local dates, sums per name, the days sent, and the record's JSON form.
#include "kivo/uso.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <regex>
#include <stdexcept>

namespace kivo {
namespace {
using nlohmann::json;
using Apps = std::map<std::string, std::int64_t>;
constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
constexpr double k14Nov2023 = 1699920000;  // 2023-11-14T00:00:00Z
constexpr double kDia = 86400;

TEST(UsoDia, DataLocalNoFusoDoProcesso) {
    const std::tuple<const char*, double, const char*> casos[] = {
        {"UTC0", 86399.999, "1970-01-01"}, {"UTC0", -0.5, "1969-12-31"}, {"UTC0", 951782400, "2000-02-29"},
        {"BRT3", 1700000000, "2023-11-14"}, {"XYZ-14", 1700000000, "2023-11-15"},
        {"CET-1CEST,M3.5.0,M10.5.0/3", 1688250600, "2023-07-02"},
        // Proleptic Gregorian, year in at least four digits, astronomical numbering...
        {"UTC0", -62135596801, "0000-12-31"}, {"UTC0", -62167219201, "-0001-12-31"},
        {"UTC0", 253402300800, "10000-01-01"}, {"UTC0", -67768080113937600.0, "-2147483000-02-28"},
        // ...and past the years of the C library the calendar goes on, in UTC.
        {"UTC0", 67768036191676800.0 - 8, "2147485547-12-31"}, {"UTC0", 67768036191676800.0, "2147485548-01-01"},
        {"UTC0", 67768036196817600.0, "2147485548-02-29"}, {"UTC0", 67768036196904000.0, "2147485548-03-01"}};
    for (const auto& [tz, instante, esperado] : casos) {
        setenv("TZ", tz, 1);
        EXPECT_EQ(Uso::dia(instante), esperado) << tz << " " << instante;
    }
    setenv("TZ", "UTC0", 1);  // and for the tests below
    const double inf = std::numeric_limits<double>::infinity();
    for (double x : {inf, -inf, 9.3e18, -9.3e18}) {
        EXPECT_TRUE(std::regex_match(Uso::dia(x), std::regex("-?[0-9]{4,}-[0-9]{2}-[0-9]{2}"))) << Uso::dia(x);
        EXPECT_EQ(Uso::dia(x).front() == '-', x < 0) << x;
    }
    EXPECT_EQ(Uso::dia(std::nan("")), "1970-01-01");
}

// Names are trimmed of spaces and cut at 60 characters; canonically equivalent names
// are one application (the first spelling stays); sums saturate.
TEST(UsoSomar, NomesETotais) {
    setenv("TZ", "UTC0", 1);
    std::string e70;
    for (int i = 0; i < 70; ++i) e70 += "e\u0301";
    const std::tuple<const char*, std::vector<std::pair<std::string, std::int64_t>>, Apps> casos[] = {
        {"aparado, nao as linhas", {{" \tMail\u3000", 1}, {"Mail", 2}, {"\nApp\n", 1}}, {{"Mail", 3}, {"\nApp\n", 1}}},
        {"cortado em 60", {{std::string(70, 'x'), 1}, {e70, 2}}, {{std::string(60, 'x'), 1}, {e70.substr(0, 180), 2}}},
        {"zero cria, negativo diminui", {{"A", 0}, {"B", 100}, {"B", -130}}, {{"A", 0}, {"B", -30}}},
        {"composto primeiro", {{"Caf\u00e9", 10}, {"Cafe\u0301", 5}}, {{"Caf\u00e9", 15}}},
        {"decomposto primeiro", {{"Cafe\u0301", 10}, {"Caf\u00e9", 5}}, {{"Cafe\u0301", 15}}},
        {"satura", {{"A", kMax - 1}, {"A", 5}, {"B", kMin + 1}, {"B", -5}}, {{"A", kMax}, {"B", kMin}}},
        {"extremos somam exato", {{"A", kMax}, {"A", kMin}}, {{"A", -1}}}};
    for (const auto& [rotulo, somas, esperado] : casos) {
        Uso uso;
        for (const auto& [nome, s] : somas) uso.somar(nome, s, k14Nov2023 + 3600);
        EXPECT_EQ(uso.dias, (decltype(uso.dias){{"2023-11-14", esperado}})) << rotulo;
    }
}

// A sum keeps the 14 newest days; a blank name adds nothing and prunes nothing.
TEST(UsoSomar, Os14DiasMaisNovos) {
    setenv("TZ", "UTC0", 1);
    Uso base;  // 2023-11-01 .. 2023-11-14
    for (int d = 13; d >= 0; --d) base.somar("A", 1, k14Nov2023 - d * kDia);
    Uso branco = base, novo = base, velho = base, deFora;
    branco.somar("\t \u00a0\u3000", 100, k14Nov2023 + kDia);
    EXPECT_EQ(branco.dias, base.dias);
    novo.somar("B", 5, k14Nov2023 + kDia);
    EXPECT_EQ(novo.dias.begin()->first, "2023-11-02");
    velho.somar("B", 5, k14Nov2023 - 14 * kDia);  // older than the 14 kept: in and out
    EXPECT_EQ(velho.dias, base.dias);
    for (int d = 10; d <= 29; ++d) deFora.dias["2023-10-" + std::to_string(d)]["App"] = d;  // as read from a file
    deFora.somar("App", 1, k14Nov2023 - 25 * kDia);  // 2023-10-20, already there
    EXPECT_EQ(deFora.dias.size(), 14u);
    EXPECT_EQ(deFora.dias.begin()->first, "2023-10-16");
}

json app(const std::string& nome, std::int64_t minutos) {
    return json{{"pacote", nome}, {"nome", nome}, {"minutos", minutos}};
}

TEST(UsoParaEnviar, DiasRecentesEMinutosArredondados) {
    // Applications of 60 seconds or more, in whole minutes rounded half away from zero.
    const std::pair<std::int64_t, std::int64_t> minutos[] = {
        {kMin, 0}, {59, 0}, {60, 1}, {89, 1}, {90, 2}, {150, 3}, {1769, 29}, {kMax, 153722867280912928}};
    for (const auto& [s, m] : minutos) {
        Uso uso;
        uso.dias["d"]["A"] = s;
        const json apps = m ? json::array({app("A", m)}) : json::array();
        EXPECT_EQ(uso.paraEnviar(1), std::vector<json>({json{{"dia", "d"}, {"apps", apps}}})) << s;
    }
    Uso uso;
    uso.dias = {{"2024-01-03", {{"C", 120}}}, {"2024-01-01", {{"A", 60}}}, {"2024-01-02", {}}};
    const json d2 = {{"dia", "2024-01-02"}, {"apps", json::array()}},
               d3 = {{"dia", "2024-01-03"}, {"apps", json::array({app("C", 2)})}};
    EXPECT_EQ(uso.paraEnviar(0), std::vector<json>{});
    EXPECT_EQ(uso.paraEnviar(2), (std::vector<json>{d2, d3}));
    EXPECT_EQ(uso.paraEnviar(std::numeric_limits<int>::max()).size(), 3u);
    EXPECT_THROW(uso.paraEnviar(-1), std::invalid_argument);
    // Names by code point of their composed form: upper case first, É after all ASCII.
    Uso nomes;
    for (const char* nome : {"abc", "Zed", "\u00c9clair", "E\u0301x", "\u00e9", "_"}) nomes.dias["d"][nome] = 60;
    EXPECT_EQ(nomes.paraEnviar(1)[0]["apps"],
              json::array({app("Zed", 1), app("_", 1), app("abc", 1), app("\u00c9clair", 1), app("E\u0301x", 1),
                           app("\u00e9", 1)}));
}

TEST(UsoJson, CodificaEDecodificaInteiros) {
    Uso uso;
    uso.dias["d1"] = {{"Caf\u00e9 \"x\"", kMin}, {"A", kMax}};
    uso.dias["d2"];
    EXPECT_EQ(json::parse(paraJson(uso)),
              (json{{"dias", {{"d1", {{"A", kMax}, {"Caf\u00e9 \"x\"", kMin}}}, {"d2", json::object()}}}}));
    EXPECT_EQ(usoDeJson(paraJson(uso)), uso);
    Uso ruim;
    ruim.dias["2024-01-01"]["\xff"] = 1;
    EXPECT_THROW(paraJson(ruim), std::domain_error);
    const std::pair<const char*, decltype(Uso::dias)> validos[] = {
        {" {\"outro\":[1,{\"x\":null}],\"dias\":{},\"mais\":\"y\"} ", {}},
        {"{\"dias\":{\"d\":{\"a\":12.0,\"b\":1e2,\"c\":-0,\"e\":1.5e1,\"f\":-7,\"\\u00e9\":9007199254740993}}}",
         {{"d", {{"a", 12}, {"b", 100}, {"c", 0}, {"e", 15}, {"f", -7}, {"\u00e9", 9007199254740993}}}}},
        // The last duplicate wins, at every level.
        {"{\"dias\":5,\"dias\":{\"d\":[],\"d\":{\"a\":\"x\",\"a\":3}}}", {{"d", {{"a", 3}}}}},
        {"{\"dias\":{\"d\":{\"a\":1}},\"dias\":{\"e\":{}}}", {{"e", {}}}},
        {"{\"dias\":{},\"x\":{\"y\":{\"z\":{\"k\":1}}}}", {}},  // deep members after "dias" are no day
    };
    for (const auto& [texto, esperado] : validos) EXPECT_EQ(usoDeJson(texto).dias, esperado) << texto;
    for (const char* c :
         {"", "[{\"dias\":{}}]", "{}", "{\"Dias\":{}}", "{\"dias\":[]}", "{\"dias\":null}", "{\"dias\":{}} x",
          "{\"dias\":{\"d\":[]}}", "{\"dias\":{\"d\":{\"a\":\"1\"}}}", "{\"dias\":{\"d\":{\"a\":true}}}",
          "{\"dias\":{\"d\":{\"a\":{}}}}", "{\"dias\":{\"d\":{\"a\":1.5}}}",
          "{\"dias\":{\"d\":{\"a\":9223372036854775808}}}", "{\"dias\":{\"d\":{\"a\":1},\"e\":{\"b\":0.5}}}",
          "{\"dias\":{\"d\":{\"a\":1}},\"dias\":5}", "{\"dias\":{\"d\":{\"a\":1},\"d\":7}}",
          "{\"dias\":{\"d\":{\"a\":1,\"a\":\"x\"}}}"})
        EXPECT_ANY_THROW(usoDeJson(c)) << c;
    Uso a, b;  // names compare by canonical equivalence
    a.dias["d"]["Caf\u00e9"] = b.dias["d"]["Cafe\u0301"] = 5;
    EXPECT_EQ(a, b);
    b.dias["d"]["Cafe\u0301"] = 6;
    EXPECT_NE(a, b);
}
}  // namespace
}  // namespace kivo
