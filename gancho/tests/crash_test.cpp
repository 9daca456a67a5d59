// Hundreds of kivo_gancho runs, eight at a time, a third killed with SIGKILL at random moments
// (reading input, waiting for or holding the lock, writing, renaming): no record torn or lost,
// leftovers are temporary files lerTodas ignores, the lock is free. KIVO_SEMENTE=<n> repeats a run.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <random>
#include <regex>
#include <thread>

#include "kivo/armazem.hpp"
#include "pastas.hpp"
#include "processo.hpp"

namespace fs = std::filesystem;
using Relogio = std::chrono::steady_clock;

namespace kivo {
namespace {
constexpr int kProcessos = 200;
const std::string kSessoes[] = {"sessao-0", "sessao-1", "sess\u00e3o-\u00e7", "fd54bafe-d6c7-4ae4"};

// A hook object; a quarter carry a 256 KiB tool response, so that reading takes a while.
std::string evento(std::mt19937& g, const std::string& sessao, int n) {
    static const char* nomes[] = {"UserPromptSubmit", "PreToolUse", "PostToolUse", "Notification", "Stop"};
    const std::string nome = nomes[g() % 5];
    std::string e = R"({"session_id":")" + sessao + R"(","cwd":"/home/ana/projetos/loja-virtual","hook_event_name":")" +
                    nome + R"(","tool_name":"Bash","tool_use_id":"toolu_)" + std::to_string(n / 3) + "\"";
    if (nome == "Stop") e += R"(,"last_assistant_message":"## Pronto\n\nCorrigi o **login**.")";
    if (g() % 4 == 0) e += R"(,"tool_response":{"content":")" + std::string(256 << 10, 'x') + "\"}";
    return e + "}";
}

TEST(Queda, ProcessosMortosNaoEstragamRegistrosNemATrava) {
    const char* dada = std::getenv("KIVO_SEMENTE");
    const unsigned semente = dada ? static_cast<unsigned>(std::strtoul(dada, nullptr, 10)) : std::random_device{}();
    SCOPED_TRACE("KIVO_SEMENTE=" + std::to_string(semente));
    std::mt19937 g(semente);
    signal(SIGPIPE, SIG_IGN);  // a killed run's input pipe
    teste::PastaTemporaria temporaria;
    const fs::path pasta = temporaria.raiz() / "sessoes";
    const teste::Comando gancho{{KIVO_GANCHO}, {{"KIVO_DIR", temporaria.raiz().string()}, {"CLAUDE_PID", "4242"}}};
    // Kill moments are spread over one run's duration here (sanitizer builds are slower).
    const auto t0 = Relogio::now();
    for (int i = 0; i < 5; ++i) ASSERT_EQ(teste::rodar(gancho, evento(g, kSessoes[i % 4], i)).status, 0);
    const auto janela = std::chrono::duration_cast<std::chrono::microseconds>(Relogio::now() - t0).count() / 5 + 1;
    std::set<std::string> escritas;  // sessions with at least one completed run
    int mortos = 0;
    for (int n = 5; n < kProcessos;) {
        struct Rodada {
            teste::Processo p; std::string sessao, entrada; bool matar, naEntrada; Relogio::time_point prazo;
        };
        std::vector<Rodada> onda;
        for (int k = 0; k < 8 && n < kProcessos; ++k, ++n) {
            const std::string sessao = kSessoes[g() % 4];
            const bool matar = g() % 3 == 0;  // one in eight of them while its input is half written
            onda.push_back({teste::iniciar(gancho), sessao, evento(g, sessao, n), matar, matar && g() % 8 == 0, {}});
            ASSERT_GT(onda.back().p.pid, 0);
        }
        for (auto& r : onda) {
            const std::size_t ate = r.naEntrada ? r.entrada.size() / 2 : r.entrada.size();
            for (ssize_t feito = 0, w = 0; feito < static_cast<ssize_t>(ate) && w >= 0; feito += w)
                w = write(r.p.entrada, r.entrada.data() + feito, ate - feito);
            if (!r.naEntrada) close(std::exchange(r.p.entrada, -1));
            r.prazo = Relogio::now() + std::chrono::microseconds(g() % janela);
        }
        std::sort(onda.begin(), onda.end(), [](const auto& a, const auto& b) { return a.prazo < b.prazo; });
        for (auto& r : onda)
            if (r.matar) std::this_thread::sleep_until(r.prazo), kill(r.p.pid, SIGKILL);
        for (auto& r : onda) {
            // Waits for the run (one that hangs fails the test by its timeout); -1: killed.
            const teste::Execucao e = teste::terminar(r.p, "");
            if (e.status == -1 && r.matar) { ++mortos; continue; }
            // A kill that came too late finds a run that ended normally.
            EXPECT_EQ(e.status, 0);
            EXPECT_EQ(e.saida + e.erro, "");
            escritas.insert(r.sessao);
        }
    }
    EXPECT_GT(mortos, 0);
    std::set<std::string> ids;
    for (const auto& nome : teste::nomesEm(pasta)) {
        if (nome.ends_with(".json")) {
            const auto s = sessaoDeJson(teste::conteudo(pasta / nome));
            ASSERT_TRUE(s) << "torn record " << nome;
            ids.insert(s->id);
        } else if (nome != ".trava") {
            EXPECT_TRUE(std::regex_match(nome, std::regex(R"(\..+\.[0-9a-f]{16}\.tmp)"))) << "unexpected " << nome;
        }
    }
    for (const auto& sessao : escritas) EXPECT_TRUE(ids.count(sessao)) << "lost record of " << sessao;
    EXPECT_EQ(Armazem(pasta).lerTodas().size(), ids.size());
    // Each session is still updated (a lock left held would hang these runs till the timeout).
    for (const auto& sessao : kSessoes) {
        teste::rodar(gancho, R"({"hook_event_name":"Stop","session_id":")" + sessao +
                                 R"(","last_assistant_message":"Fim da rodada"})");
        EXPECT_EQ(Armazem(pasta).ler(sessao).value_or(Sessao{}).detalhe, "Fim da rodada") << sessao;
    }
}
}  // namespace
}  // namespace kivo
