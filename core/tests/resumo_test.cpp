#include "kivo/resumo.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

namespace kivo {
namespace {

constexpr double agora = 1765000000;

// A session updated `idade` seconds before agora that changed state `desdeMudanca`
// seconds before agora.
Sessao sessao(std::string id, Estado estado, double idade, double desdeMudanca,
              std::string cwd = "/p") {
    return Sessao{.id = std::move(id),
                  .cwd = std::move(cwd),
                  .estado = estado,
                  .atualizado = agora - idade,
                  .mudouEstadoEm = agora - desdeMudanca};
}

std::vector<std::string> idsECwds(const std::vector<Sessao>& sessoes) {
    std::vector<std::string> r;
    for (const auto& s : sessoes) r.push_back(s.id + "@" + s.cwd);
    return r;
}

TEST(Humor, NomesEmOrdemDeDeclaracao) {
    const char* nomes[] = {"dormindo", "acordado",    "acenando", "trabalhando",
                           "atencao",  "comemorando", "erro"};
    ASSERT_EQ(allCases<Humor>.size(), 7u);
    for (std::size_t i = 0; i < 7; ++i) {
        SCOPED_TRACE(nomes[i]);
        EXPECT_EQ(nomeDe(allCases<Humor>[i]), nomes[i]);
        EXPECT_EQ(humorDe(nomes[i]), allCases<Humor>[i]);
    }
    for (const char* outro : {"Dormindo", "ERRO", "dormindo ", "", "ocioso"}) {
        SCOPED_TRACE(outro);
        EXPECT_EQ(humorDe(outro), std::nullopt);
    }
}

TEST(Resumir, SemSessoesEhOVazio) {
    const Resumo r = resumir({}, agora);
    EXPECT_EQ(r, Resumo::vazio());
    EXPECT_EQ(r.humor, Humor::dormindo);
    EXPECT_FALSE(r.destaque.has_value());
    EXPECT_TRUE(r.ordenadas.empty());
    EXPECT_EQ(&Resumo::vazio(), &Resumo::vazio());
}

TEST(Resumir, Humor) {
    struct Caso {
        const char* descricao;
        std::vector<Sessao> sessoes;
        Humor humor;
        const char* destaque;
    } casos[] = {
        {"atencao antes de trabalhando mais recente",
         {sessao("t", Estado::trabalhando, 1, 1), sessao("a", Estado::atencao, 100, 100)},
         Humor::atencao, "a"},
        {"erro antes de feito recente",
         {sessao("f", Estado::feito, 0, 0), sessao("e", Estado::erro, 500, 500)}, Humor::erro, "e"},
        {"trabalhando", {sessao("t", Estado::trabalhando, 1200, 1200)}, Humor::trabalhando, "t"},
        {"feito ha 3 s comemora", {sessao("f", Estado::feito, 3, 3)}, Humor::comemorando, "f"},
        {"feito ha 3.9 s comemora", {sessao("f", Estado::feito, 3.9, 3.9)}, Humor::comemorando, "f"},
        {"feito ha exatamente 4 s", {sessao("f", Estado::feito, 4, 4)}, Humor::acordado, "f"},
        {"comemoracao conta da mudanca, nao da atualizacao",
         {sessao("f", Estado::feito, 1, 10)}, Humor::acordado, "f"},
        {"mudanca no futuro ainda comemora", {sessao("f", Estado::feito, -2, -2)},
         Humor::comemorando, "f"},
        {"feito esquecido fica ocioso e acordado", {sessao("f", Estado::feito, 601, 601)},
         Humor::acordado, "f"},
        {"trabalho esquecido", {sessao("t", Estado::trabalhando, 1201, 1201)}, Humor::acordado, "t"},
        {"ocioso ha 1799.5 s", {sessao("o", Estado::ocioso, 1799.5, 1799.5)}, Humor::acordado, "o"},
        {"ocioso ha exatamente 1800 s dorme", {sessao("o", Estado::ocioso, 1800, 1800)},
         Humor::dormindo, "o"},
        {"sono conta da atualizacao, nao da mudanca",
         {sessao("o", Estado::ocioso, 10, 5000)}, Humor::acordado, "o"},
        {"sono olha a sessao mais recente",
         {sessao("velha", Estado::ocioso, 5000, 5000), sessao("nova", Estado::feito, 700, 700)},
         Humor::acordado, "nova"},
        {"todas velhas dormem",
         {sessao("a", Estado::atencao, 1801, 1801), sessao("t", Estado::trabalhando, 1900, 1900)},
         Humor::dormindo, "a"},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.descricao);
        const Resumo r = resumir(c.sessoes, agora);
        EXPECT_EQ(r.humor, c.humor);
        ASSERT_TRUE(r.destaque.has_value());
        EXPECT_EQ(r.destaque->id, c.destaque);
        ASSERT_FALSE(r.ordenadas.empty());
        EXPECT_EQ(*r.destaque, r.ordenadas.front());
    }
}

TEST(Resumir, OrdemDeExibicao) {
    const std::string agudoComposto = "\u00e9";   // é
    const std::string agudoDecomposto = "e\u0301";  // e + combining acute
    struct Caso {
        const char* descricao;
        std::vector<Sessao> sessoes;
        std::vector<std::string> esperado;  // id@cwd
    } casos[] = {
        {"prioridade do estado efetivo, nao a ordem de declaracao",
         {sessao("1", Estado::ocioso, 5, 5), sessao("2", Estado::feito, 5, 5),
          sessao("3", Estado::erro, 5, 5), sessao("4", Estado::trabalhando, 5, 5),
          sessao("5", Estado::atencao, 5, 5)},
         {"5@/p", "4@/p", "3@/p", "2@/p", "1@/p"}},
        {"trabalho esquecido desce abaixo de feito",
         {sessao("t", Estado::trabalhando, 1201, 1201), sessao("f", Estado::feito, 300, 300)},
         {"f@/p", "t@/p"}},
        {"mais recente primeiro",
         {sessao("x", Estado::trabalhando, 200, 200), sessao("y", Estado::trabalhando, 100, 100)},
         {"y@/p", "x@/p"}},
        {"empate desfeito pelo id",
         {sessao("b", Estado::trabalhando, 7, 7), sessao("a", Estado::trabalhando, 7, 7)},
         {"a@/p", "b@/p"}},
        {"ids por bytes, nao por colacao",
         {sessao("a", Estado::feito, 7, 7), sessao("B", Estado::feito, 7, 7)}, {"B@/p", "a@/p"}},
        // By code points of the NFC forms é (U+00E9) comes after f, in both spellings;
        // the two spellings are one id and keep their input order.
        {"e agudo depois de f, composto primeiro",
         {sessao(agudoComposto, Estado::feito, 7, 7, "/c"), sessao(agudoDecomposto, Estado::feito, 7, 7, "/d"),
          sessao("f", Estado::feito, 7, 7), sessao("e", Estado::feito, 7, 7)},
         {"e@/p", "f@/p", agudoComposto + "@/c", agudoDecomposto + "@/d"}},
        {"e agudo depois de f, decomposto primeiro",
         {sessao(agudoDecomposto, Estado::feito, 7, 7, "/d"), sessao("f", Estado::feito, 7, 7),
          sessao(agudoComposto, Estado::feito, 7, 7, "/c"), sessao("z", Estado::feito, 7, 7)},
         {"f@/p", "z@/p", agudoDecomposto + "@/d", agudoComposto + "@/c"}},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.descricao);
        EXPECT_EQ(idsECwds(resumir(c.sessoes, agora).ordenadas), c.esperado);
    }
}

TEST(Resumir, ChavesIguaisMantemAOrdemDeEntrada) {
    // Enough sessions for an unstable sort to reorder them.
    std::vector<Sessao> sessoes;
    std::vector<std::string> esperado;
    for (int i = 0; i < 40; ++i) {
        std::string cwd = "/";
        cwd += std::to_string(i);
        sessoes.push_back(sessao("mesmo", Estado::trabalhando, 9, 9, cwd));
        esperado.push_back("mesmo@" + cwd);
    }
    sessoes.push_back(sessao("outro", Estado::trabalhando, 8, 8));
    esperado.insert(esperado.begin(), "outro@/p");
    EXPECT_EQ(idsECwds(resumir(sessoes, agora).ordenadas), esperado);
}

TEST(Resumir, CopiasComEstadoEfetivoEEntradaIntacta) {
    Sessao esquecida = sessao("t", Estado::trabalhando, 1201, 1201);
    esquecida.detalhe = "Rodando um comando";
    esquecida.titulo = "Login";
    esquecida.ferramentaId = "toolu_1";
    esquecida.faseFerramenta = 0;
    Sessao vista = sessao("a", Estado::atencao, 10, 10);
    vista.detalhe = "Quer permiss\u00e3o";
    const std::vector<Sessao> entrada = {esquecida, vista};
    const std::vector<Sessao> original = entrada;

    const Resumo r = resumir(entrada, agora);

    EXPECT_EQ(entrada, original);
    ASSERT_EQ(r.ordenadas.size(), 2u);
    EXPECT_EQ(r.ordenadas[0], vista);
    Sessao esperada = esquecida;
    esperada.estado = Estado::ocioso;  // only the state changes; the detail is kept
    EXPECT_EQ(r.ordenadas[1], esperada);
}

TEST(Resumir, TemposNaoFinitosEIdsInvalidos) {
    // A time that is NaN keeps the state (no age exceeds a limit) and sorts after
    // every real time; ids that are not UTF-8 sort by their bytes.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    std::vector<Sessao> sessoes = {
        sessao("nan", Estado::trabalhando, nan, 0), sessao("\xff", Estado::ocioso, 0, 0),
        sessao("t", Estado::trabalhando, 5, 5),     sessao("\xc3", Estado::ocioso, 0, 0),
        sessao("inf", Estado::trabalhando, -inf, 0), sessao("a", Estado::ocioso, 0, 0),
    };
    const Resumo r = resumir(sessoes, agora);
    EXPECT_EQ(idsECwds(r.ordenadas),
              (std::vector<std::string>{"inf@/p", "t@/p", "nan@/p", "a@/p", "\xc3@/p", "\xff@/p"}));
    EXPECT_EQ(r.humor, Humor::trabalhando);
}

TEST(Resumo, IgualdadeOlhaOsTresCampos) {
    const Resumo base = resumir({sessao("s", Estado::trabalhando, 1, 1)}, agora);
    Resumo outro = base;
    EXPECT_EQ(outro, base);
    outro.humor = Humor::acenando;
    EXPECT_NE(outro, base);
    outro = base;
    outro.destaque.reset();
    EXPECT_NE(outro, base);
    outro = base;
    outro.ordenadas[0].detalhe = "x";
    EXPECT_NE(outro, base);
    outro = base;
    outro.ordenadas.push_back(outro.ordenadas[0]);
    EXPECT_NE(outro, base);
}

}  // namespace
}  // namespace kivo
