// Cost of presenting the sessions: resumir and novidades over 10, 1 000 and
// 100 000 records with UUID ids, mixed states and times spread over two hours.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "kivo/novidade.hpp"
#include "kivo/resumo.hpp"

namespace {

constexpr double agora = 1765000000;

std::string uuid(std::mt19937_64& gerador) {
    const std::uint64_t a = gerador(), b = gerador();
    char texto[37];
    std::snprintf(texto, sizeof texto, "%08x-%04x-4%03x-%04x-%012llx",
                  static_cast<unsigned>(a >> 32), static_cast<unsigned>((a >> 16) & 0xffff),
                  static_cast<unsigned>(a & 0xfff), static_cast<unsigned>(0x8000 | (b >> 50)),
                  static_cast<unsigned long long>(b & 0xffffffffffffull));
    return texto;
}

// `n` records as the store would give them. With `acentos`, one id in four is a
// project-like name with accents, half of them decomposed, as a macOS file system
// may hand them over.
std::vector<kivo::Sessao> sessoes(std::size_t n, bool acentos = false) {
    std::mt19937_64 gerador(42 + n);
    std::uniform_real_distribution<double> idade(0, 7200);
    const kivo::Estado estados[] = {kivo::Estado::ocioso, kivo::Estado::trabalhando,
                                    kivo::Estado::atencao, kivo::Estado::feito, kivo::Estado::erro};
    std::vector<kivo::Sessao> r;
    r.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        kivo::Sessao s;
        s.id = uuid(gerador);
        if (acentos && i % 4 == 0) {
            s.id = (i % 8 == 0 ? "sess\u00e3o-" : "sessa\u0303o-") + s.id.substr(0, 8);
        }
        s.cwd = "/Users/ana/projetos/loja-" + std::to_string(i % 37);
        if (i % 3 == 0) s.titulo = "Corrigir o login";
        s.estado = estados[gerador() % 5];
        s.detalhe = "Rodando um comando";
        s.atualizado = agora - idade(gerador);
        s.mudouEstadoEm = s.atualizado - idade(gerador) / 10;
        s.pid = static_cast<std::int32_t>(1000 + i);
        s.origem = "vscode";
        if (s.estado == kivo::Estado::trabalhando) {
            s.ferramentaId = "toolu_" + std::to_string(i);
            s.faseFerramenta = 0;
        }
        r.push_back(std::move(s));
    }
    return r;
}

void resumir(benchmark::State& estado, bool acentos) {
    const auto entrada = sessoes(static_cast<std::size_t>(estado.range(0)), acentos);
    for (auto _ : estado) benchmark::DoNotOptimize(kivo::resumir(entrada, agora));
    estado.SetComplexityN(estado.range(0));
}

void BM_resumir(benchmark::State& estado) { resumir(estado, false); }

// The floor under resumir: copying the records (and freeing the copies), which the
// summary has to do anyway since it returns copies.
void BM_soCopiar(benchmark::State& estado) {
    const auto entrada = sessoes(static_cast<std::size_t>(estado.range(0)));
    for (auto _ : estado) benchmark::DoNotOptimize(std::vector<kivo::Sessao>(entrada));
    estado.SetComplexityN(estado.range(0));
}
void BM_resumirIdsAcentuados(benchmark::State& estado) { resumir(estado, true); }

// The previous reading holds every session but one in ten (new since); of those it
// holds, one in three has changed state or entered its state anew since.
void novidades(benchmark::State& estado, bool acentos) {
    const auto depois = sessoes(static_cast<std::size_t>(estado.range(0)), acentos);
    std::map<std::string, kivo::Sessao> antes;
    for (std::size_t i = 0; i < depois.size(); ++i) {
        if (i % 10 == 9) continue;
        kivo::Sessao s = depois[i];
        if (i % 3 == 0) s.mudouEstadoEm -= 60;
        antes.insert_or_assign(s.id, std::move(s));
    }
    for (auto _ : estado) benchmark::DoNotOptimize(kivo::novidades(antes, depois));
    estado.SetComplexityN(estado.range(0));
}

void BM_novidades(benchmark::State& estado) { novidades(estado, false); }
void BM_novidadesIdsAcentuados(benchmark::State& estado) { novidades(estado, true); }

}  // namespace

BENCHMARK(BM_soCopiar)->Arg(10)->Arg(1000)->Arg(100000)->Complexity(benchmark::oN);
BENCHMARK(BM_resumir)->Arg(10)->Arg(1000)->Arg(100000)->Complexity(benchmark::oNLogN);
BENCHMARK(BM_resumirIdsAcentuados)->Arg(10)->Arg(1000)->Arg(100000)->Complexity(benchmark::oNLogN);
BENCHMARK(BM_novidades)->Arg(10)->Arg(1000)->Arg(100000)->Complexity(benchmark::oNLogN);
BENCHMARK(BM_novidadesIdsAcentuados)->Arg(10)->Arg(1000)->Arg(100000)->Complexity(benchmark::oNLogN);
