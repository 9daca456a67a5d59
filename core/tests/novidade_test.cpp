// The news between two readings: which sessions finished, failed or call for the user, ids matched canonically.
#include "kivo/novidade.hpp"

#include <gtest/gtest.h>

namespace kivo {
namespace {
Sessao sessao(std::string id, Estado estado, double mudouEstadoEm, std::string detalhe = "agora") {
    return Sessao{.id = std::move(id), .cwd = "/p", .estado = estado, .detalhe = std::move(detalhe),
                  .atualizado = mudouEstadoEm + 1, .mudouEstadoEm = mudouEstadoEm};
}

TEST(Novidades, PorRegistroDeDepois) {
    using N = Novidade;
    using E = Estado;
    const std::string composto = "\u00e9", decomposto = "e\u0301";
    const std::string kelvin = "\u212a";  // KELVIN SIGN, canonically equivalent to "K"
    const std::tuple<const char*, std::vector<Sessao>, std::vector<Sessao>, std::vector<Novidade>> casos[] = {
        {"antes vazio: so atencao, feito e erro, na ordem de depois", {},
         {sessao("1", E::feito, 1), sessao("2", E::ocioso, 1), sessao("3", E::atencao, 1),
          sessao("4", E::trabalhando, 1), sessao("0", E::erro, 1)},
         {N::terminou(sessao("1", E::feito, 1)), N::chamou(sessao("3", E::atencao, 1)),
          N::errou(sessao("0", E::erro, 1))}},
        {"atencao mantida", {sessao("s", E::atencao, 2)}, {sessao("s", E::atencao, 2, "outro")}, {}},
        {"mesma mudanca em outro estado", {sessao("s", E::atencao, 2)}, {sessao("s", E::erro, 2)},
         {N::errou(sessao("s", E::erro, 2))}},
        {"id de antes achado por equivalencia canonica",
         {sessao("a", E::feito, 2), sessao(decomposto, E::feito, 2), sessao(kelvin, E::erro, 2)},
         {sessao(composto, E::feito, 2), sessao("K", E::erro, 2)}, {}},
        {"e no sentido inverso", {sessao(composto, E::feito, 2), sessao("K", E::erro, 2)},
         {sessao(decomposto, E::feito, 2), sessao(kelvin, E::erro, 2)}, {}},
        {"ids que nao sao UTF-8 so se acham pelos mesmos bytes",
         {sessao("\xff", E::feito, 2), sessao("\xc3\xa9", E::feito, 2)},
         {sessao("\xff", E::feito, 2), sessao("e\xcc", E::feito, 2)}, {N::terminou(sessao("e\xcc", E::feito, 2))}},
        {"registro exato antes do equivalente",
         {sessao(decomposto, E::trabalhando, 1), sessao(composto, E::feito, 2)}, {sessao(decomposto, E::feito, 2)},
         {N::terminou(sessao(decomposto, E::feito, 2))}}};
    for (const auto& [descricao, antes, depois, esperado] : casos) {
        std::map<std::string, Sessao> porId;
        for (const auto& s : antes) porId.emplace(s.id, s);
        EXPECT_EQ(novidades(porId, depois), esperado) << descricao;
    }
    const Sessao s = sessao("s", E::feito, 5);
    EXPECT_NE(N::terminou(s), N::errou(s));
    EXPECT_NE(N::terminou(s), N::terminou(sessao("s", E::feito, 6)));
}
}  // namespace
}  // namespace kivo
