// kivo linha: the line for fixed records, in each style and width.
#include "linha.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using kivo::Estado;
using kivo::Sessao;
using kivo::app::Estilo;
using kivo::app::OpcoesLinha;

namespace {

constexpr double agora = 1765000000;

Sessao sessao(const std::string& id, const std::string& cwd, Estado estado, const std::string& detalhe,
              double ha = 5) {
    Sessao s;
    s.id = id;
    s.cwd = cwd;
    s.estado = estado;
    s.detalhe = detalhe;
    s.atualizado = s.mudouEstadoEm = agora - ha;
    return s;
}

TEST(Linha, EstilosEContagens) {
    const std::vector<Sessao> sessoes = {
        sessao("a", "/p/#1-proj\u202E\x1b[2J", Estado::atencao, "Tem uma pergunta\n#[fg=red]"),
        sessao("b", "/p/b", Estado::trabalhando, "Lendo"),
        sessao("c", "/p/c", Estado::trabalhando, "Lendo"),
        sessao("d", "/p/d", Estado::feito, "Ok", 60),
        sessao("e", "/p/e", Estado::erro, "Parou"),
        sessao("f", "/p/f", Estado::feito, "Ok", 13 * 3600),  // old: out of view
    };
    struct Caso {
        const char* nome;
        Estilo estilo;
        std::optional<std::string> esta;
        const char* linha;
    };
    const Caso casos[] = {
        {"texto", Estilo::nenhum, std::nullopt,
         "(O.O)! \u00B7 #1-proj [2J: Tem uma pergunta #[fg=red] \u00B7 1 com erro \u00B7 2 trabalhando\n"},
        {"tmux: # dobrado nos textos", Estilo::tmux, std::nullopt,
         "#[fg=yellow,bold](O.O)!#[default] \u00B7 #[fg=yellow,bold]##1-proj [2J: Tem uma pergunta ##[fg=red]#[default]"
         " \u00B7 #[fg=red,bold]1 com erro#[default] \u00B7 #[fg=cyan]2 trabalhando#[default] \u00B7 "
         "#[fg=green]1 pronto#[default]\n"},
        {"ansi, sem a sess\u00E3o que pergunta", Estilo::ansi, "a",
         "\x1b[1;33m(O.O)!\x1b[0m \u00B7 \x1b[1;31m1 com erro\x1b[0m \u00B7 \x1b[36m2 trabalhando\x1b[0m \u00B7 "
         "\x1b[32m1 pronto\x1b[0m\n"},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.nome);
        OpcoesLinha o;
        o.estilo = c.estilo;
        o.esta = c.esta;
        if (c.estilo != Estilo::nenhum) o.largura = 200;
        EXPECT_EQ(kivo::app::desenharLinha(sessoes, agora, o), c.linha);
    }
    EXPECT_EQ(kivo::app::desenharLinha({}, agora, OpcoesLinha{}), "(-.-) zZ\n");
}

TEST(Linha, LarguraDe) {
    const std::vector<Sessao> sessoes = {
        sessao("a", "/p/loja", Estado::atencao, "Quer permiss\u00E3o para rodar um comando", 5),
        sessao("b", "/p/api", Estado::atencao, "Tem uma pergunta pra voc\u00EA", 6),
        sessao("c", "/p/c", Estado::trabalhando, "Lendo"),
    };
    const std::pair<int, const char*> casos[] = {
        {120, "(O.O)! \u00B7 loja: Quer permiss\u00E3o para rodar um comando \u00B7 api: Tem uma pergunta pra voc\u00EA"
              " \u00B7 1 trabalhando\n"},
        {80, "(O.O)! \u00B7 loja: Quer permiss\u00E3o para rodar um comando \u00B7 +1 chamando\n"},
        {60, "(O.O)! \u00B7 loja: Quer permiss\u00E3o para rodar um c\u2026 \u00B7 +1 chamando\n"},
        {40, "(O.O)! \u00B7 loja: Quer permi\u2026 \u00B7 +1 chamando\n"},
        {4, "(O.\u2026\n"},
        {1, "\u2026\n"},
    };
    for (const auto& [largura, linha] : casos) {
        SCOPED_TRACE(largura);
        OpcoesLinha o;
        o.largura = largura;
        EXPECT_EQ(kivo::app::desenharLinha(sessoes, agora, o), linha);
    }
}

TEST(Linha, SessaoDaEntrada) {
    EXPECT_EQ(kivo::app::sessaoDaEntrada(R"({"session_id":"abc","cwd":"/x"})"), "abc");
    for (const char* ruim : {"", "{", "[]", R"({"session_id":7})", R"({"cwd":"/x"})", "{\"session_id\":\"a\xFF\"}"}) {
        EXPECT_EQ(kivo::app::sessaoDaEntrada(ruim), std::nullopt) << ruim;
    }
}

}  // namespace
