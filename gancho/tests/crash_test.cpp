// Crash consistency: hundreds of kivo_gancho processes on a few sessions, eight at a
// time, a third of them killed with SIGKILL at random moments (reading their input,
// waiting for the lock, holding it, writing the temporary file, renaming it).
// Afterwards every record file reads back (one written in place would be left torn),
// no session that was written has lost its record, temporary files left behind are
// ones that lerTodas ignores, the lock is free and a further run of each session
// completes. The random seed is printed; KIVO_SEMENTE=<n> repeats a run.
#include <gtest/gtest.h>
#include <sys/file.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
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

// A realistic hook object; a quarter of them carry a 256 KiB tool response, so that
// reading the input takes a while.
std::string evento(std::mt19937& g, const std::string& sessao, int n) {
    static const char* nomes[] = {"UserPromptSubmit",  "PreToolUse",   "PostToolUse",
                                  "PermissionRequest", "Notification", "Stop"};
    const std::string nome = nomes[g() % 6];
    std::string e = R"({"session_id":")" + sessao + R"(","cwd":"/home/ana/projetos/loja-virtual","hook_event_name":")" +
                    nome + R"(","tool_name":"Bash","tool_use_id":"toolu_)" + std::to_string(n / 3) + "\"";
    if (nome == "Notification") e += R"(,"notification_type":"permission_prompt","message":"permission to use Bash")";
    if (nome == "Stop") e += R"(,"last_assistant_message":"## Pronto\n\nCorrigi o **login**.")";
    if (nome == "UserPromptSubmit") e += R"(,"session_title":"Rodada )" + std::to_string(n) + "\"";
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

    // How long one run takes here (sanitizer builds are much slower): kill moments are
    // spread over that much time after the input is written.
    const auto t0 = Relogio::now();
    for (int i = 0; i < 5; ++i) ASSERT_EQ(teste::rodar(gancho, evento(g, kSessoes[i % 4], i)).status, 0);
    const auto janela = std::chrono::duration_cast<std::chrono::microseconds>(Relogio::now() - t0).count() / 5 + 1;

    std::set<std::string> escritas;  // sessions with at least one completed run
    int mortos = 0, mortosNaEntrada = 0;
    for (int n = 5; n < kProcessos;) {
        struct Rodada {
            teste::Processo p;
            std::string sessao, entrada;
            bool matar, naEntrada;  // killed while its input is half written
            Relogio::time_point prazo;
        };
        std::vector<Rodada> onda;
        for (int k = 0; k < 8 && n < kProcessos; ++k, ++n) {
            const std::string sessao = kSessoes[g() % 4];
            const bool matar = g() % 3 == 0;
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
        for (auto& r : onda) {
            if (!r.matar) continue;
            std::this_thread::sleep_until(r.prazo);
            kill(r.p.pid, SIGKILL);
        }
        for (auto& r : onda) {
            // Waits for the run (one that hangs fails the test by its timeout); -1: killed.
            const teste::Execucao e = teste::terminar(r.p, "");
            if (e.status == -1 && r.matar) {
                ++mortos;
                mortosNaEntrada += r.naEntrada;
                continue;
            }
            // A kill that came too late finds a run that ended normally.
            EXPECT_EQ(e.status, 0);
            EXPECT_EQ(e.saida + e.erro, "");
            escritas.insert(r.sessao);
        }
    }

    // Every record reads back; the rest is the lock and temporary files.
    std::set<std::string> ids;
    int registros = 0, temporarios = 0;
    for (const auto& nome : teste::nomesEm(pasta)) {
        if (nome.ends_with(".json")) {
            ++registros;
            const auto s = sessaoDeJson(teste::conteudo(pasta / nome));
            ASSERT_TRUE(s) << "torn record " << nome;
            ids.insert(s->id);
        } else if (nome != ".trava") {
            EXPECT_TRUE(std::regex_match(nome, std::regex(R"(\..+\.[0-9a-f]{16}\.tmp)"))) << "unexpected " << nome;
            ++temporarios;
        }
    }
    for (const auto& sessao : escritas) EXPECT_TRUE(ids.count(sessao)) << "lost record of " << sessao;
    EXPECT_EQ(Armazem(pasta).lerTodas().size(), static_cast<std::size_t>(registros));

    // The lock is free, and each session can still be updated.
    const int fd = open((pasta / ".trava").c_str(), O_RDWR | O_CLOEXEC);
    EXPECT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0) << "the lock was left held";
    close(fd);
    for (const auto& sessao : kSessoes) {
        const auto r = teste::rodar(gancho, R"({"hook_event_name":"Stop","session_id":")" + sessao +
                                                R"(","last_assistant_message":"Fim da rodada"})");
        EXPECT_TRUE(r.status == 0 && r.saida.empty() && r.erro.empty());
        EXPECT_EQ(Armazem(pasta).ler(sessao).value_or(Sessao{}).detalhe, "Fim da rodada") << sessao;
    }
    std::printf(
        "[ figures  ] seed %u, %lld us per run: %d hook processes (%d killed with SIGKILL, %d of them "
        "while reading input), %d records, %d temporary files left (ignored)\n",
        semente, static_cast<long long>(janela), kProcessos + 4, mortos, mortosNaEntrada, registros, temporarios);
}

}  // namespace
}  // namespace kivo
