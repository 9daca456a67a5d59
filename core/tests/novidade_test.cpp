#include "kivo/novidade.hpp"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace kivo {
namespace {

Sessao sessao(std::string id, Estado estado, double mudouEstadoEm, std::string detalhe = "agora") {
    return Sessao{.id = std::move(id),
                  .cwd = "/p",
                  .estado = estado,
                  .detalhe = std::move(detalhe),
                  .atualizado = mudouEstadoEm + 1,
                  .mudouEstadoEm = mudouEstadoEm};
}

std::map<std::string, Sessao> porId(const std::vector<Sessao>& sessoes) {
    std::map<std::string, Sessao> m;
    for (const auto& s : sessoes) m.emplace(s.id, s);
    return m;
}

TEST(Novidade, FabricasEIgualdade) {
    const Sessao s = sessao("s", Estado::feito, 5);
    EXPECT_EQ(Novidade::chamou(s).caso, Novidade::Caso::chamou);
    EXPECT_EQ(Novidade::terminou(s).caso, Novidade::Caso::terminou);
    EXPECT_EQ(Novidade::errou(s).caso, Novidade::Caso::errou);
    EXPECT_EQ(Novidade::terminou(s).sessao, s);
    EXPECT_EQ(Novidade::terminou(s), Novidade::terminou(s));
    EXPECT_NE(Novidade::terminou(s), Novidade::errou(s));
    EXPECT_NE(Novidade::terminou(s), Novidade::terminou(sessao("s", Estado::feito, 6)));
    EXPECT_EQ(Novidade::chamou(sessao("\u00e9", Estado::atencao, 1)),
              Novidade::chamou(sessao("e\u0301", Estado::atencao, 1)));
}

TEST(Novidades, PorRegistroDeDepois) {
    using N = Novidade;
    const std::string composto = "\u00e9", decomposto = "e\u0301";
    const std::string kelvin = "\u212a";  // KELVIN SIGN, canonically equivalent to "K"
    struct Caso {
        const char* descricao;
        std::vector<Sessao> antes;
        std::vector<Sessao> depois;
        std::vector<Novidade> esperado;
    } casos[] = {
        {"depois vazio", {sessao("a", Estado::trabalhando, 1)}, {}, {}},
        {"antes vazio: so atencao, feito e erro, na ordem de depois",
         {},
         {sessao("1", Estado::feito, 1), sessao("2", Estado::ocioso, 1),
          sessao("3", Estado::atencao, 1), sessao("4", Estado::trabalhando, 1),
          sessao("5", Estado::erro, 1)},
         {N::terminou(sessao("1", Estado::feito, 1)), N::chamou(sessao("3", Estado::atencao, 1)),
          N::errou(sessao("5", Estado::erro, 1))}},
        {"erro, ocioso, feito novos",
         {},
         {sessao("z", Estado::erro, 1), sessao("y", Estado::ocioso, 1), sessao("a", Estado::feito, 1)},
         {N::errou(sessao("z", Estado::erro, 1)), N::terminou(sessao("a", Estado::feito, 1))}},
        {"trabalhando para atencao traz o registro atual",
         {sessao("s", Estado::trabalhando, 1, "antes")},
         {sessao("s", Estado::atencao, 2, "depois")},
         {N::chamou(sessao("s", Estado::atencao, 2, "depois"))}},
        {"atencao mantida", {sessao("s", Estado::atencao, 2)}, {sessao("s", Estado::atencao, 2)}, {}},
        {"atencao de novo, outra mudanca",
         {sessao("s", Estado::atencao, 2)},
         {sessao("s", Estado::atencao, 9)},
         {N::chamou(sessao("s", Estado::atencao, 9))}},
        {"mudanca difere por um microssegundo",
         {sessao("s", Estado::feito, 2)},
         {sessao("s", Estado::feito, 2.000001)},
         {N::terminou(sessao("s", Estado::feito, 2.000001))}},
        {"feito mantido com outro detalhe",
         {sessao("s", Estado::feito, 2, "antes")},
         {sessao("s", Estado::feito, 2, "depois")},
         {}},
        {"mesma mudanca em outro estado",
         {sessao("s", Estado::atencao, 2)},
         {sessao("s", Estado::erro, 2)},
         {N::errou(sessao("s", Estado::erro, 2))}},
        {"saiu de atencao",
         {sessao("a", Estado::atencao, 2), sessao("b", Estado::atencao, 2)},
         {sessao("a", Estado::trabalhando, 3), sessao("b", Estado::ocioso, 3)},
         {}},
        {"nova trabalhando", {}, {sessao("n", Estado::trabalhando, 3)}, {}},
        {"id de antes achado por equivalencia canonica",
         {sessao(decomposto, Estado::feito, 2), sessao(kelvin, Estado::erro, 2)},
         {sessao(composto, Estado::feito, 2), sessao("K", Estado::erro, 2)},
         {}},
        {"e no sentido inverso",
         {sessao(composto, Estado::feito, 2), sessao("K", Estado::erro, 2)},
         {sessao(decomposto, Estado::feito, 2), sessao(kelvin, Estado::erro, 2)},
         {}},
        {"e sem acento eh outro id",
         {sessao("e", Estado::feito, 2)},
         {sessao(composto, Estado::feito, 2)},
         {N::terminou(sessao(composto, Estado::feito, 2))}},
        {"ids que nao sao UTF-8 so se acham pelos mesmos bytes",
         {sessao("\xff", Estado::feito, 2), sessao("\xc3\xa9", Estado::feito, 2)},
         {sessao("\xff", Estado::feito, 2), sessao("e\xcc", Estado::feito, 2)},
         {N::terminou(sessao("e\xcc", Estado::feito, 2))}},
        {"registro exato antes do equivalente",
         {sessao(decomposto, Estado::trabalhando, 1), sessao(composto, Estado::feito, 2)},
         {sessao(decomposto, Estado::feito, 2)},
         {N::terminou(sessao(decomposto, Estado::feito, 2))}},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.descricao);
        EXPECT_EQ(novidades(porId(c.antes), c.depois), c.esperado);
    }
}

}  // namespace
}  // namespace kivo
