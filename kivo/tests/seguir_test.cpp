// kivo painel --seguir: what is news between readings, the screen and the notifications.
#include "terminal/seguir.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "terminal/notificacao.hpp"
#include "terminal/painel.hpp"
#include "pastas.hpp"
#include "processo.hpp"

namespace fs = std::filesystem;
using kivo::Estado;
using kivo::Novidade;
using kivo::app::Meio;

namespace {
kivo::Sessao sessao(const std::string& id, Estado e, double t, std::optional<std::string> detalhe = {}) {
    return {.id = id, .cwd = "/home/ana/" + id, .estado = e, .detalhe = detalhe, .atualizado = t, .mudouEstadoEm = t};
}

// The first reading announces nothing (which changes are news is the library's rule);
// each piece of news becomes a notice.
TEST(Seguir, NovidadesEAvisos) {
    kivo::app::Acompanhamento a;
    EXPECT_TRUE(a.ler({sessao("loja", Estado::atencao, 10), sessao("api", Estado::feito, 10)}).empty());
    const kivo::Sessao pronta = sessao("loja", Estado::feito, 20, "Corrigi");
    const kivo::Sessao nova = sessao("site", Estado::erro, 21);
    EXPECT_EQ(a.ler({pronta, nova}), (std::vector<Novidade>{Novidade::terminou(pronta), Novidade::errou(nova)}));
    EXPECT_TRUE(a.ler({pronta, nova}).empty());  // each piece of news once
    const kivo::Sessao deNovo = sessao("loja", Estado::atencao, 30, "Quer permiss\u00E3o");
    const std::pair<Novidade, kivo::app::Aviso> avisos[] = {
        {Novidade::chamou(deNovo), {.titulo = "loja precisa de voc\u00EA", .corpo = "Quer permiss\u00E3o"}},
        {Novidade::terminou(pronta), {.titulo = "loja terminou", .corpo = "Pronto: Corrigi"}},
        {Novidade::errou(nova), {.titulo = "site parou com erro", .corpo = "Parou com erro"}}};
    for (const auto& [novidade, aviso] : avisos) {
        const kivo::app::Aviso dado = kivo::app::avisoDe(novidade);
        EXPECT_EQ(std::tie(dado.titulo, dado.corpo), std::tie(aviso.titulo, aviso.corpo));
    }
}

// A project folder named like an option must stay a text.
TEST(Seguir, ArgumentosDaNotificacao) {
    const kivo::app::Aviso aviso{.titulo = "-e do shell script \"x\" terminou", .corpo = "Pronto: <b>a & b</b>"};
    EXPECT_EQ(
        kivo::app::argumentosDe(Meio::notifySend, aviso),
        (std::vector<std::string>{"--app-name=kivo", "--", aviso.titulo, "Pronto: &lt;b&gt;a &amp; b&lt;/b&gt;"}));
    const auto osa = kivo::app::argumentosDe(Meio::osascript, aviso);
    ASSERT_GE(osa.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(osa.end() - 3, osa.end()),
              (std::vector<std::string>{"kivo", aviso.titulo, aviso.corpo}));
    for (std::size_t i = 0; i + 3 < osa.size(); i += 2) EXPECT_EQ(osa[i], "-e");
    EXPECT_THAT(osa[3], ::testing::HasSubstr("item 3 of argv) with title (item 2 of argv)"));
    EXPECT_TRUE(kivo::app::argumentosDe(Meio::nenhum, aviso).empty());  // none sent: the bell (processo_test)
}

// Each notice starts the program with its texts and returns at once; with 8 still running
// the next is refused (the panel rings the bell instead) until they end.
TEST(Seguir, NotificacoesPendentesTemLimite) {
    kivo::teste::PastaTemporaria pasta;
    const std::string raiz = pasta.raiz().string(), prog = raiz + "/notify-send";
    kivo::teste::escrever(prog, "#!/bin/sh\nprintf '%s|' \"$@\" >> " + raiz + "/args\nwhile [ -d " + raiz + " ] && [ ! -e " + raiz +
                                    "/solta ]; do sleep 0.01; done\n");
    fs::permissions(prog, fs::perms::owner_all);
    kivo::app::Notificacoes n(Meio::notifySend, prog);
    EXPECT_TRUE(n.disponivel());
    for (int i = 0; i < 8; ++i) EXPECT_TRUE(n.enviar({.titulo = "t" + std::to_string(i), .corpo = "<c>"})) << i;
    EXPECT_FALSE(n.enviar({.titulo = "nona", .corpo = ""}));
    EXPECT_TRUE(kivo::teste::esperarAte([&] { return kivo::teste::conteudo(raiz + "/args").size() >= 8 * 32; }));
    EXPECT_THAT(kivo::teste::conteudo(raiz + "/args"), ::testing::HasSubstr("--app-name=kivo|--|t7|&lt;c&gt;|"));
    kivo::teste::escrever(raiz + "/solta", "");
    EXPECT_TRUE(kivo::teste::esperarAte([&] { return n.enviar({.titulo = "depois", .corpo = ""}); }));
    EXPECT_FALSE(kivo::app::Notificacoes(Meio::notifySend, raiz + "/nada").enviar({.titulo = "t", .corpo = "c"}));
}

// Only absolute PATH entries count: an empty or relative one is the current folder.
TEST(Seguir, ProgramaSoNoPathAbsoluto) {
    kivo::teste::PastaTemporaria pasta;
    const fs::path prog = pasta.raiz() / "notify-send";
    kivo::teste::escrever(prog, "#!/bin/sh\n");
    fs::permissions(prog, fs::perms::owner_all);
    const fs::path antes = fs::current_path();
    fs::current_path(pasta.raiz());
    for (const std::string path : {"", ":/nada", ".", "/nada::."})
        EXPECT_EQ(kivo::app::noPath("notify-send", path.c_str()), "") << "PATH=" << path;
    EXPECT_EQ(kivo::app::noPath("notify-send", ("/nada:" + pasta.raiz().string()).c_str()), prog.string());
    fs::current_path(antes);
}

// Whole, and on short screens (a terminal's width: processo_test).
TEST(Seguir, Quadro) {
    const std::string painel = "  (o.o)  Acordado\n\n  \u00B7 loja\n";
    const std::string topo =
        "\x1b[H\x1b[Kkivo \u00B7 atualiza a cada segundo \u00B7 Ctrl-C para sair\n\x1b[K\n\x1b[K  (o.o)  Acordado\n";
    EXPECT_EQ(kivo::app::quadro(painel, {}, 0),
              topo + "\x1b[K\n\x1b[K  \u00B7 loja\n\x1b[K\n\x1b[K  Nenhuma novidade desde que o painel abriu.\x1b[J");
    // A short screen keeps the newest news: the oldest go first, then the panel's end.
    const std::deque<std::string> tres = {"09:00:00  a", "09:30:00  b", "10:00:00  c"};
    EXPECT_EQ(kivo::app::quadro(painel, tres, 8),
              topo + "\x1b[K\n\x1b[K  \u00B7 loja\n\x1b[K\n\x1b[K  Novidades:\n\x1b[K  10:00:00  c\x1b[J");
    EXPECT_EQ(kivo::app::quadro(painel, tres, 4),
              "\x1b[H\x1b[Kkivo \u00B7 atualiza a cada segundo \u00B7 Ctrl-C para sair\n\x1b[K\n\x1b[K  Novidades:\n"
              "\x1b[K  10:00:00  c\x1b[J");
}
}  // namespace
