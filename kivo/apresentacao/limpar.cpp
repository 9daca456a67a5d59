#include "apresentacao/limpar.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <exception>
#include <set>

#include "apresentacao/espelho.hpp"
#include "apresentacao/consumo.hpp"
#include "apresentacao/registros.hpp"
#include "kivo/armazem.hpp"
#include "kivo/rotulos.hpp"
#include "kivo/tempos.hpp"
#include "base/texto.hpp"

namespace kivo::app {

namespace {

// A temporary file of the store: ".<stem>.json.<hex digits>.tmp".
bool ehTemporario(std::string_view nome) {
    constexpr std::string_view fim = ".tmp";
    return nome.size() > 1 + fim.size() && nome.front() == '.' && nome.substr(nome.size() - fim.size()) == fim &&
           nome.find(".json.") != std::string_view::npos;
}

double modificadoEm(const struct stat& info) {
#ifdef __APPLE__
    return static_cast<double>(info.st_mtimespec.tv_sec) + static_cast<double>(info.st_mtimespec.tv_nsec) / 1e9;
#else
    return static_cast<double>(info.st_mtim.tv_sec) + static_cast<double>(info.st_mtim.tv_nsec) / 1e9;
#endif
}

}  // namespace

Limpeza limpar(const std::filesystem::path& pasta, double agora, const ProcessoVivo& vivo, bool soMostrar) {
    Limpeza limpeza;
    const Armazem armazem(pasta);
    for (const Sessao& lida : lerRegistros(pasta)) {
        const auto motivo = descartavel(lida, agora, vivo);
        if (!motivo) continue;
        if (soMostrar) {
            limpeza.registros.push_back({lida, *motivo});
            continue;
        }
        std::optional<Removido> removido;
        armazem.atualizar(lida.id, [&](const std::optional<Sessao>& atual) {
            if (!atual) return Acao::ignorar();
            const auto agoraMotivo = descartavel(*atual, agora, vivo);
            if (!agoraMotivo) return Acao::ignorar();  // refreshed since the listing
            removido = Removido{*atual, *agoraMotivo};
            return Acao::apagar();
        });
        if (removido) limpeza.registros.push_back(std::move(*removido));
    }

    auto esquecido = [&](const std::filesystem::path& caminho) {
        struct stat info {};
        return lstat(caminho.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
               agora - modificadoEm(info) > idadeTemporario;
    };
    std::error_code erro;
    for (std::filesystem::directory_iterator it(pasta, erro), fim; !erro && it != fim; it.increment(erro)) {
        const std::string nome = it->path().filename().string();
        if (!ehTemporario(nome) || !esquecido(it->path())) continue;
        if (soMostrar || unlink(it->path().c_str()) == 0) limpeza.temporarios.push_back(nome);
    }

    // A consumption file is named as its session's record, without ".json"; its
    // temporary files are ".<name>.<hex>.tmp".
    std::set<std::string> indo;  // records that would go, when only shown
    for (const Removido& r : limpeza.registros) indo.insert(Armazem::nomeSeguro(r.sessao.id));
    const std::filesystem::path consumo = pastaDoConsumo(pasta);
    for (std::filesystem::directory_iterator it(consumo, erro), fim; !erro && it != fim; it.increment(erro)) {
        const std::string nome = it->path().filename().string();
        const bool temporario = nome.front() == '.';
        if (temporario ? !(nome.size() > 5 && nome.ends_with(".tmp") && esquecido(it->path()))
                       : Armazem::nomeSeguro(nome) != nome ||  // not one of ours
                             (armazem.ler(nome) && !(soMostrar && indo.count(nome)))) {
            continue;
        }
        if (soMostrar || unlink(it->path().c_str()) == 0) {
            (temporario ? limpeza.temporarios : limpeza.consumos).push_back(nome);
        }
    }

    // Mirrored machines: their files are replaced whole, so what is not a machine
    // of `kivo espelhar`'s is only a forgotten temporary file.
    const std::filesystem::path espelhos = pastaDosEspelhos(pasta);
    for (const Maquina& m : lerMaquinas(espelhos)) {
        // Its mirror writes at every pulse: silent this long, it is not running.
        if (!(agora - m.contato > Tempos::sessaoVelha)) continue;
        if (soMostrar || unlink((espelhos / (Armazem::nomeSeguro(m.nome) + ".json")).c_str()) == 0) {
            limpeza.maquinas.push_back(m.nome);
        }
    }
    for (std::filesystem::directory_iterator it(espelhos, erro), fim; !erro && it != fim; it.increment(erro)) {
        const std::string nome = it->path().filename().string();
        if (nome.front() != '.' || !nome.ends_with(".tmp") || !esquecido(it->path())) continue;
        if (soMostrar || unlink(it->path().c_str()) == 0) limpeza.temporarios.push_back(nome);
    }
    return limpeza;
}

std::string relatorio(const Limpeza& limpeza, double agora, bool soMostrar) {
    if (limpeza.registros.empty() && limpeza.temporarios.empty() && limpeza.consumos.empty() &&
        limpeza.maquinas.empty()) {
        return "Nada a limpar: nenhuma sess\u00E3o velha ou encerrada, nenhum arquivo tempor\u00E1rio esquecido.\n";
    }
    std::string t;
    if (!limpeza.registros.empty()) {
        const std::size_t n = limpeza.registros.size();
        t += std::string(soMostrar ? "Apagaria " : "Apaguei ") + std::to_string(n) +
             (n == 1 ? " registro de sess\u00E3o:\n" : " registros de sess\u00E3o:\n");
        for (const Removido& r : limpeza.registros) {
            std::string ha;
            try {
                ha = Rotulos::tempo(agora - r.sessao.atualizado);
            } catch (const std::exception&) {
            }
            t += "  - " + limpo(r.sessao.nome()) + " (" + limpo(r.sessao.id) + "): ";
            t += r.motivo == Motivo::velha ? "sem novidade h\u00E1 " + ha
                                           : "o processo do agente acabou (\u00FAltima novidade h\u00E1 " + ha + ")";
            t += "\n";
        }
    }
    if (!limpeza.temporarios.empty()) {
        const std::size_t n = limpeza.temporarios.size();
        t += std::string(soMostrar ? "Apagaria " : "Apaguei ") + std::to_string(n) +
             (n == 1 ? " arquivo tempor\u00E1rio esquecido:\n" : " arquivos tempor\u00E1rios esquecidos:\n");
        for (const std::string& nome : limpeza.temporarios) t += "  - " + limpo(nome) + "\n";
    }
    if (!limpeza.consumos.empty()) {
        const std::size_t n = limpeza.consumos.size();
        t += std::string(soMostrar ? "Apagaria " : "Apaguei ") + std::to_string(n) +
             (n == 1 ? " arquivo de consumo (contexto e custo) de uma sess\u00E3o sem registro:\n"
                     : " arquivos de consumo (contexto e custo) de sess\u00F5es sem registro:\n");
        for (const std::string& nome : limpeza.consumos) t += "  - " + limpo(nome) + "\n";
    }
    if (!limpeza.maquinas.empty()) {
        const std::size_t n = limpeza.maquinas.size();
        t += std::string(soMostrar ? "Esqueceria " : "Esqueci ") +
             (n == 1 ? "o espelho de uma m\u00E1quina sem contato h\u00E1 mais de 12 h:\n"
                     : "os espelhos de " + std::to_string(n) + " m\u00E1quinas sem contato h\u00E1 mais de 12 h:\n");
        for (const std::string& nome : limpeza.maquinas) t += "  - " + limpo(nome) + "\n";
    }
    if (soMostrar) t += "Nada foi apagado (--mostrar).\n";
    return t;
}

}  // namespace kivo::app
