#include "espelho/transmitir.hpp"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <nlohmann/json.hpp>
#include <set>
#include <string_view>
#include <vector>

#include "apresentacao/apresentacao.hpp"
#include "apresentacao/espelho.hpp"
#include "apresentacao/registros.hpp"
#include "base/descritor.hpp"
#include "base/vigia.hpp"
#include "kivo/armazem.hpp"

namespace kivo::app {

namespace {

// After a change, the rest of its burst (a hook replaces a record in two steps).
constexpr int kRajadaMs = 5;

std::string numero(double x) {
    return nlohmann::json(std::isfinite(x) ? x : 0.0).dump();
}

// Every record and the pids that run, without the clock: what a line tells beyond it.
std::string conjunto(const std::filesystem::path& pasta, const ProcessoVivo& vivo) {
    std::vector<Sessao> sessoes = lerRegistros(pasta);
    if (sessoes.size() > kSessoesPorMaquina) sessoes.resize(kSessoesPorMaquina);
    std::set<std::int32_t> vivos;
    for (Sessao& s : sessoes) {
        cortarParaExibir(s);
        if (s.pid && (!vivo || vivo(*s.pid))) vivos.insert(*s.pid);
    }
    std::string texto = sessoesJson("", sessoes, vivos);
    // Records cut for display are about 5 KiB each: past the line's bound only with
    // a folder written by hand, which then loses its last records.
    while (texto.size() + 64 > kLinhaMaxima && !sessoes.empty()) {
        sessoes.resize(sessoes.size() / 2);
        texto = sessoesJson("", sessoes, vivos);
    }
    return texto;
}

}  // namespace

std::string cabecalhoDoEspelho() {
    return "{\"kivo\":\"espelho\",\"versao\":" + std::to_string(kVersaoDoEspelho) + "}";
}

int transmitir(const OpcoesTransmitir& o) {
    signal(SIGPIPE, SIG_IGN);
    const auto relogio = o.relogio ? o.relogio : std::function<double()>(app::relogio);
    if (!escreverTudo(o.saida, cabecalhoDoEspelho() + "\n")) return 0;
    Vigia vigia(".json");
    vigia.vigiar(o.sessoes);
    using Relogio = std::chrono::steady_clock;
    const auto pulso = std::chrono::duration_cast<Relogio::duration>(std::chrono::duration<double>(kPulsoSegundos));
    std::string enviado;
    auto ultimo = Relogio::now();
    for (bool primeira = true;; primeira = false) {
        // What changed (a record, or an agent's process that ended) goes at once; the
        // clock alone when nothing did for a pulse's time.
        std::string atual = conjunto(o.sessoes, o.vivo);
        const auto agora = Relogio::now();
        std::string linha;
        if (primeira || atual != enviado) {
            linha = "{\"agora\":" + numero(relogio()) + "," + atual.substr(1) + "\n";
            enviado = std::move(atual);
        } else if (agora - ultimo >= pulso) {
            linha = "{\"agora\":" + numero(relogio()) + "}\n";
        }
        if (!linha.empty()) {
            if (!escreverTudo(o.saida, linha)) return 0;
            ultimo = agora;
        }
        // Until the folder changes, the pulse is due, or the reader leaves. Without a
        // watch (no folder yet, or not Linux), the folder is looked at every second.
        const auto falta = std::chrono::duration_cast<std::chrono::milliseconds>(ultimo + pulso - Relogio::now());
        long long espera = std::max<long long>(falta.count(), 0);
        if (!vigia.ativo()) espera = std::min<long long>(espera, 1000);
        pollfd fds[2] = {{o.saida, 0, 0}, {vigia.descritor(), POLLIN, 0}};
        const int r = poll(fds, vigia.descritor() >= 0 ? 2 : 1, static_cast<int>(espera));
        if (r < 0 && errno != EINTR) return 0;
        if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) return 0;
        if (r > 0 && (fds[1].revents & POLLIN) && vigia.colher()) {
            while (poll(&fds[1], 1, kRajadaMs) > 0) vigia.colher();
        }
        if (!vigia.ativo()) vigia.vigiar(o.sessoes);
    }
}

}  // namespace kivo::app
