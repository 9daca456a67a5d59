// The presentation at a moment: the state a record is shown in, the mascot's mood,
// the highlighted session and the display order.
#include "kivo/resumo.hpp"
#include "kivo/tempos.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace kivo {
namespace {

constexpr double agora = 1765000000;

// A session updated `idade` seconds before agora that changed state `desdeMudanca`
// seconds before agora.
Sessao sessao(std::string id, Estado estado, double idade, double desdeMudanca, std::string cwd = "/p") {
    return Sessao{.id = std::move(id), .cwd = std::move(cwd), .estado = estado, .atualizado = agora - idade,
                  .mudouEstadoEm = agora - desdeMudanca};
}

std::vector<std::string> idsECwds(const std::vector<Sessao>& sessoes) {
    std::vector<std::string> r;
    for (const auto& s : sessoes) r.push_back(s.id + "@" + s.cwd);
    return r;
}

// Limits are strict and counted from atualizado, never from mudouEstadoEm.
TEST(EstadoEfetivo, LimitesEstritosContadosDeAtualizado) {
    const std::tuple<Estado, double, double, Estado> casos[] = {
        {Estado::trabalhando, 1200, 1200, Estado::trabalhando}, {Estado::trabalhando, 1200.5, 1, Estado::ocioso},
        {Estado::atencao, 1800, 1800, Estado::atencao},         {Estado::atencao, 1801, 1, Estado::ocioso},
        {Estado::feito, 600, 5000, Estado::feito},              {Estado::feito, 601, 601, Estado::ocioso},
        {Estado::erro, 600, 600, Estado::erro},                 {Estado::erro, 601, 601, Estado::ocioso},
        {Estado::ocioso, 0, 0, Estado::ocioso},                 {Estado::atencao, -5000, -5000, Estado::atencao},
        {Estado::trabalhando, std::nan(""), 0, Estado::trabalhando},
    };
    for (const auto& [guardado, idade, desdeMudanca, esperado] : casos)
        EXPECT_EQ(estadoEfetivo(sessao("s", guardado, idade, desdeMudanca), agora), esperado) << nomeDe(guardado) << idade;
}

TEST(Resumir, HumorEDestaque) {
    for (Humor h : allCases<Humor>) EXPECT_EQ(humorDe(nomeDe(h)), h);
    EXPECT_EQ(humorDe("Dormindo"), std::nullopt);
    EXPECT_EQ(resumir({}, agora), Resumo::vazio());
    EXPECT_TRUE(Resumo::vazio().humor == Humor::dormindo && !Resumo::vazio().destaque);

    const std::tuple<const char*, std::vector<Sessao>, Humor, const char*> casos[] = {  // ..., highlighted id
        {"atencao antes de trabalhando mais recente",
         {sessao("t", Estado::trabalhando, 1, 1), sessao("a", Estado::atencao, 100, 100)}, Humor::atencao, "a"},
        {"trabalhando", {sessao("t", Estado::trabalhando, 1200, 1200)}, Humor::trabalhando, "t"},
        {"feito ha 3.9 s comemora", {sessao("f", Estado::feito, 3.9, 3.9)}, Humor::comemorando, "f"},
        {"feito ha exatamente 4 s", {sessao("f", Estado::feito, 4, 4)}, Humor::acordado, "f"},
        {"comemoracao conta da mudanca", {sessao("f", Estado::feito, 1, 10)}, Humor::acordado, "f"},
        {"ocioso ha 1799.5 s", {sessao("o", Estado::ocioso, 1799.5, 1799.5)}, Humor::acordado, "o"},
        {"ocioso ha 1800 s dorme", {sessao("o", Estado::ocioso, 1800, 10)}, Humor::dormindo, "o"},
        {"sono conta da atualizacao", {sessao("o", Estado::ocioso, 10, 5000)}, Humor::acordado, "o"},
        {"sono olha a mais recente", {sessao("v", Estado::ocioso, 5000, 5000), sessao("n", Estado::feito, 700, 700)},
         Humor::acordado, "n"},
    };
    for (const auto& [descricao, sessoes, humor, destaque] : casos) {
        SCOPED_TRACE(descricao);
        const Resumo r = resumir(sessoes, agora);
        EXPECT_EQ(r.humor, humor);
        EXPECT_EQ(r.destaque.value_or(Sessao{}).id, destaque);
        EXPECT_EQ(r.destaque, r.ordenadas.at(0));
    }
}

TEST(Resumir, OrdemDeExibicao) {
    const std::string composto = "\u00e9", decomposto = "e\u0301";
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const std::tuple<const char*, std::vector<Sessao>, std::vector<std::string>> casos[] = {  // ..., id@cwd
        {"prioridade do estado efetivo",
         {sessao("1", Estado::ocioso, 5, 5), sessao("2", Estado::feito, 5, 5), sessao("3", Estado::erro, 5, 5),
          sessao("4", Estado::trabalhando, 5, 5), sessao("5", Estado::atencao, 5, 5),
          sessao("0", Estado::trabalhando, 1201, 1201)},
         {"5@/p", "4@/p", "3@/p", "2@/p", "1@/p", "0@/p"}},
        {"mais recente primeiro, empate pelo id em bytes",
         {sessao("x", Estado::feito, 200, 200), sessao("b", Estado::feito, 7, 7), sessao("a", Estado::feito, 7, 7),
          sessao("B", Estado::feito, 7, 7)},
         {"B@/p", "a@/p", "b@/p", "x@/p"}},
        // By code points of the NFC forms é (U+00E9) comes after f in both spellings;
        // the two spellings are one id and keep their input order.
        {"e agudo depois de f",
         {sessao(decomposto, Estado::feito, 7, 7, "/d"), sessao("f", Estado::feito, 7, 7),
          sessao(composto, Estado::feito, 7, 7, "/c"), sessao("e", Estado::feito, 7, 7)},
         {"e@/p", "f@/p", decomposto + "@/d", composto + "@/c"}},
        // A NaN time sorts after every real time; ids that are not UTF-8 by their bytes.
        {"tempos nao finitos e ids invalidos",
         {sessao("nan", Estado::trabalhando, nan, 0), sessao("\xff", Estado::ocioso, 0, 0),
          sessao("t", Estado::trabalhando, 5, 5), sessao("\xc3", Estado::ocioso, 0, 0),
          sessao("inf", Estado::trabalhando, -inf, 0), sessao("a", Estado::ocioso, 0, 0)},
         {"inf@/p", "t@/p", "nan@/p", "a@/p", "\xc3@/p", "\xff@/p"}},
    };
    for (const auto& [descricao, sessoes, esperado] : casos)
        EXPECT_EQ(idsECwds(resumir(sessoes, agora).ordenadas), esperado) << descricao;
    // Equal keys keep their input order, with enough sessions for an unstable sort
    // to reorder them.
    std::vector<Sessao> iguais;
    std::vector<std::string> esperado = {"outro@/p"};
    for (int i = 0; i < 40; ++i) {
        iguais.push_back(sessao("mesmo", Estado::trabalhando, 9, 9, "/" + std::to_string(i)));
        esperado.push_back("mesmo@/" + std::to_string(i));
    }
    iguais.push_back(sessao("outro", Estado::trabalhando, 8, 8));
    EXPECT_EQ(idsECwds(resumir(iguais, agora).ordenadas), esperado);
}

TEST(Resumir, CopiasComEstadoEfetivoEEntradaIntacta) {
    Sessao esquecida = sessao("t", Estado::trabalhando, 1201, 1201);
    esquecida.detalhe = "Rodando um comando";
    esquecida.ferramentaId = "toolu_1";
    const Sessao vista = sessao("a", Estado::atencao, 10, 10);
    const std::vector<Sessao> entrada = {esquecida, vista};
    const std::vector<Sessao> original = entrada;
    const Resumo r = resumir(entrada, agora);
    EXPECT_EQ(entrada, original);
    Sessao esperada = esquecida;
    esperada.estado = Estado::ocioso;  // only the state changes; the detail is kept
    EXPECT_EQ(r.ordenadas, (std::vector<Sessao>{vista, esperada}));

    Resumo outro = r;
    EXPECT_EQ(outro, r);
    outro.destaque.reset();
    EXPECT_NE(outro, r);
}

}  // namespace
}  // namespace kivo
