// separarEventos on streams fed the way the companion application feeds them: the
// rest of the previous call with the next piece appended.
//
//   FluxoEmPedacos/N     N MiB of ordinary events in 4 KiB pieces; the cost per byte
//                        must not grow with N.
//   EventoGrandeEmPedacos/N  one event of N MiB in 4 KiB pieces; the function keeps no
//                        state, so every call rescans the rest it is given: the total
//                        grows with N squared while each call stays linear.
//   UmaChamada/N         one call on N MiB holding complete events: linear in N.
#include <benchmark/benchmark.h>

#include <kivo/eventos.hpp>

#include <string>

namespace {

constexpr std::size_t kMiB = 1024 * 1024;
constexpr std::size_t kPedaco = 4096;

std::string fluxoComum(std::size_t bytes) {
    std::string fluxo;
    fluxo.reserve(bytes + 512);
    for (int n = 0; fluxo.size() < bytes; ++n) {
        fluxo += "event: message\ndata: {\"type\":\"content_block_delta\",\"index\":";
        fluxo += std::to_string(n);
        fluxo += ",\"delta\":{\"type\":\"text_delta\",\"text\":\"Ol\u00e1, tudo bem? Aqui vai mais um peda\u00e7o do texto.\"}}\n\n";
    }
    return fluxo;
}

std::string eventoGrande(std::size_t bytes) {
    std::string fluxo = "data: {\"texto\":\"";
    while (fluxo.size() < bytes) fluxo += "abcdefghij\u00e7\u00e3o klmnopqrstuvwxyz 0123456789 ";
    fluxo += "\"}\n\n";
    return fluxo;
}

// Feeds `fluxo` in pieces; returns the number of events seen.
std::size_t alimentar(const std::string& fluxo) {
    std::size_t eventos = 0;
    std::string resto;
    for (std::size_t i = 0; i < fluxo.size(); i += kPedaco) {
        resto.append(fluxo, i, kPedaco);
        kivo::EventosSeparados r = kivo::separarEventos(resto);
        eventos += r.eventos.size();
        resto = std::move(r.resto);
    }
    return eventos;
}

void FluxoEmPedacos(benchmark::State& estado) {
    const std::string fluxo = fluxoComum(static_cast<std::size_t>(estado.range(0)) * kMiB);
    std::size_t eventos = 0;
    for (auto _ : estado) benchmark::DoNotOptimize(eventos = alimentar(fluxo));
    estado.SetBytesProcessed(static_cast<std::int64_t>(estado.iterations() * fluxo.size()));
    estado.counters["eventos"] = static_cast<double>(eventos);
}
BENCHMARK(FluxoEmPedacos)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);

void EventoGrandeEmPedacos(benchmark::State& estado) {
    const std::string fluxo = eventoGrande(static_cast<std::size_t>(estado.range(0)) * kMiB);
    std::size_t eventos = 0;
    for (auto _ : estado) benchmark::DoNotOptimize(eventos = alimentar(fluxo));
    estado.SetBytesProcessed(static_cast<std::int64_t>(estado.iterations() * fluxo.size()));
    estado.counters["eventos"] = static_cast<double>(eventos);
}
BENCHMARK(EventoGrandeEmPedacos)->Arg(1)->Arg(2)->Arg(4)->Unit(benchmark::kMillisecond);

void UmaChamada(benchmark::State& estado) {
    const std::string fluxo = fluxoComum(static_cast<std::size_t>(estado.range(0)) * kMiB);
    for (auto _ : estado) {
        auto r = kivo::separarEventos(fluxo);
        benchmark::DoNotOptimize(r);
    }
    estado.SetBytesProcessed(static_cast<std::int64_t>(estado.iterations() * fluxo.size()));
}
BENCHMARK(UmaChamada)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);

}  // namespace
