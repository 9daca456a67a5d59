// The presentation at a moment: the state a record is shown in, the mood, the highlight and the order.
#include "kivo/resumo.hpp"
#include "kivo/tempos.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace kivo {
namespace {
constexpr double agora = 1765000000;
using E = Estado;

// Updated `idade` seconds before agora, in its state since `desdeMudanca` seconds.
Sessao sessao(std::string id, Estado estado, double idade, double desdeMudanca, std::string cwd = "/p") {
    return Sessao{.id = std::move(id), .cwd = std::move(cwd), .estado = estado, .atualizado = agora - idade,
                  .mudouEstadoEm = agora - desdeMudanca};
}

// Limits are strict and counted from atualizado, never from mudouEstadoEm.
TEST(EstadoEfetivo, LimitesEstritosContadosDeAtualizado) {
    const std::tuple<Estado, double, double, Estado> casos[] = {
        {E::trabalhando, 1200, 1200, E::trabalhando}, {E::trabalhando, 1200.5, 1, E::ocioso},
        {E::atencao, 1800, 1800, E::atencao},         {E::atencao, 1801, 1, E::ocioso},
        {E::feito, 600, 5000, E::feito},              {E::erro, 601, 601, E::ocioso},
        {E::atencao, -5000, -5000, E::atencao},       {E::trabalhando, std::nan(""), 0, E::trabalhando}};
    for (const auto& [guardado, idade, desdeMudanca, esperado] : casos)
        EXPECT_EQ(estadoEfetivo(sessao("s", guardado, idade, desdeMudanca), agora), esperado) << idade;
}

TEST(Resumir, HumorEDestaque) {
    for (Humor h : allCases<Humor>) EXPECT_EQ(humorDe(nomeDe(h)), h);
    EXPECT_EQ(humorDe("Dormindo"), std::nullopt);
    EXPECT_EQ(resumir({}, agora), Resumo::vazio());
    EXPECT_TRUE(Resumo::vazio().humor == Humor::dormindo && !Resumo::vazio().destaque);
    const std::tuple<const char*, std::vector<Sessao>, Humor, const char*> casos[] = {  // ..., highlighted id
        {"atencao antes de trabalhando mais recente",
         {sessao("t", E::trabalhando, 1, 1), sessao("a", E::atencao, 100, 100)}, Humor::atencao, "a"},
        {"trabalhando", {sessao("t", E::trabalhando, 1200, 1200)}, Humor::trabalhando, "t"},
        {"feito ha 3.9 s comemora", {sessao("f", E::feito, 3.9, 3.9)}, Humor::comemorando, "f"},
        {"feito ha exatamente 4 s", {sessao("f", E::feito, 4, 4)}, Humor::acordado, "f"},
        {"comemoracao conta da mudanca", {sessao("f", E::feito, 1, 10)}, Humor::acordado, "f"},
        {"ocioso ha 1799.5 s", {sessao("o", E::ocioso, 1799.5, 1799.5)}, Humor::acordado, "o"},
        {"ocioso ha 1800 s dorme", {sessao("o", E::ocioso, 1800, 10)}, Humor::dormindo, "o"},
        {"sono conta da atualizacao", {sessao("o", E::ocioso, 10, 5000)}, Humor::acordado, "o"},
        {"sono olha a mais recente", {sessao("v", E::ocioso, 5000, 5000), sessao("n", E::feito, 700, 700)},
         Humor::acordado, "n"}};
    for (const auto& [descricao, sessoes, humor, destaque] : casos) {
        SCOPED_TRACE(descricao);
        const Resumo r = resumir(sessoes, agora);
        EXPECT_EQ(r.humor, humor);
        EXPECT_EQ(r.destaque.value_or(Sessao{}).id, destaque);
        EXPECT_EQ(r.destaque, r.ordenadas.at(0));
    }
    // The copies carry the state shown; the detail is kept.
    Sessao esquecida = sessao("t", E::trabalhando, 1201, 1201);
    esquecida.detalhe = "Rodando um comando";
    const Resumo r = resumir({esquecida}, agora);
    esquecida.estado = E::ocioso;
    EXPECT_EQ(r.ordenadas, std::vector<Sessao>{esquecida});
}

// The order by state is the panel's test; here ties, canonical ids, and times that are not finite.
TEST(Resumir, OrdemDeExibicao) {
    const std::string composto = "\u00e9", decomposto = "e\u0301";
    const double inf = std::numeric_limits<double>::infinity();
    const std::tuple<const char*, std::vector<Sessao>, std::vector<std::string>> casos[] = {  // ..., id@cwd
        {"mais recente primeiro, empate pelo id em bytes",
         {sessao("x", E::feito, 200, 200), sessao("b", E::feito, 7, 7), sessao("a", E::feito, 7, 7),
          sessao("B", E::feito, 7, 7), sessao("0", E::trabalhando, 1201, 1201)},
         {"B@/p", "a@/p", "b@/p", "x@/p", "0@/p"}},
        // By code points of the NFC forms é (U+00E9) comes after f in both spellings;
        // the two spellings are one id and keep their input order.
        {"e agudo depois de f",
         {sessao(decomposto, E::feito, 7, 7, "/d"), sessao("f", E::feito, 7, 7),
          sessao(composto, E::feito, 7, 7, "/c"), sessao("e", E::feito, 7, 7)},
         {"e@/p", "f@/p", decomposto + "@/d", composto + "@/c"}},
        // A NaN time sorts after every real time; ids that are not UTF-8 by their bytes.
        {"tempos nao finitos e ids invalidos",
         {sessao("nan", E::trabalhando, std::nan(""), 0), sessao("\xff", E::ocioso, 0, 0),
          sessao("t", E::trabalhando, 5, 5), sessao("\xc3", E::ocioso, 0, 0), sessao("inf", E::trabalhando, -inf, 0),
          sessao("a", E::ocioso, 0, 0)},
         {"inf@/p", "t@/p", "nan@/p", "a@/p", "\xc3@/p", "\xff@/p"}}};
    for (const auto& [descricao, sessoes, esperado] : casos) {
        std::vector<std::string> ordem;
        for (const auto& s : resumir(sessoes, agora).ordenadas) ordem.push_back(s.id + "@" + s.cwd);
        EXPECT_EQ(ordem, esperado) << descricao;
    }
}
}  // namespace
}  // namespace kivo
