#include "painel.hpp"

#include <cmath>
#include <exception>

#include "kivo/armazem.hpp"
#include "kivo/estado.hpp"
#include "kivo/resumo.hpp"
#include "kivo/rotulos.hpp"

namespace kivo::app {

bool usarCores(bool terminal, const char* noColor) {
    return terminal && (noColor == nullptr || *noColor == '\0');
}

Rosto rostoDe(Humor humor) {
    switch (humor) {
        case Humor::dormindo: return {"(-.-) zZ", "Tudo quieto: nenhum agente trabalhando."};
        case Humor::acordado: return {"(o.o)", "Acordado, de olho nos agentes."};
        case Humor::acenando: return {"(o.o)/", "Oi!"};
        case Humor::trabalhando: return {"(o.o)>", "Os agentes estão trabalhando."};
        case Humor::atencao: return {"(O.O)!", "Um agente precisa de você."};
        case Humor::comemorando: return {"\\(^o^)/", "Pronto! Um agente terminou."};
        case Humor::erro: return {"(x.x)", "Um agente parou com erro."};
    }
    return {"(o.o)", ""};
}

std::string limpo(std::string_view texto) {
    std::string saida;
    saida.reserve(texto.size());
    for (std::size_t i = 0; i < texto.size(); ++i) {
        const auto c = static_cast<unsigned char>(texto[i]);
        if (c < 0x20 || c == 0x7F) {
            saida += ' ';
        } else if (c == 0xC2 && i + 1 < texto.size() &&
                   static_cast<unsigned char>(texto[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(texto[i + 1]) <= 0x9F) {
            saida += ' ';  // U+0080 to U+009F: C1 controls, CSI among them
            ++i;
        } else {
            saida += texto[i];
        }
    }
    return saida;
}

namespace {

std::string_view marcaDe(Estado estado) {
    switch (estado) {
        case Estado::atencao: return "!";
        case Estado::trabalhando: return "~";
        case Estado::feito: return "\u2713";
        case Estado::erro: return "\u2717";
        case Estado::ocioso: return "\u00B7";
    }
    return " ";
}

std::string_view corDe(Estado estado) {
    switch (estado) {
        case Estado::atencao: return "\x1b[1;33m";
        case Estado::trabalhando: return "\x1b[36m";
        case Estado::feito: return "\x1b[32m";
        case Estado::erro: return "\x1b[1;31m";
        case Estado::ocioso: return "\x1b[2m";
    }
    return "";
}

// "agora", or "há 5 min"; empty when the times cannot be subtracted.
std::string haQuanto(double segundos) {
    if (!std::isfinite(segundos)) return "";
    try {
        std::string t = Rotulos::tempo(segundos);
        return t == "agora" ? t : "h\u00E1 " + t;
    } catch (const std::exception&) {
        return "";
    }
}

std::string linhaDe(const Sessao& sessao, double agora, const OpcoesPainel& opcoes) {
    std::string linha = "  ";
    linha += marcaDe(sessao.estado);
    linha += ' ';
    linha += limpo(sessao.nome());
    linha += " \u2014 ";
    linha += limpo(Rotulos::doEstado(sessao));
    if (const std::string ha = haQuanto(agora - sessao.mudouEstadoEm); !ha.empty()) {
        linha += " \u00B7 ";
        linha += ha;
    }
    if (sessao.pid && opcoes.processoVivo && !opcoes.processoVivo(*sessao.pid)) {
        linha += " (processo encerrado)";
    }
    if (opcoes.cores) linha = std::string(corDe(sessao.estado)) + linha + "\x1b[0m";
    return linha + "\n";
}

}  // namespace

std::string desenharPainel(const std::vector<Sessao>& sessoes, double agora,
                           const OpcoesPainel& opcoes) {
    const Resumo resumo = resumir(sessoes, agora);
    const Rosto rosto = rostoDe(resumo.humor);
    std::string texto = "  ";
    texto += rosto.face;
    texto += "  ";
    texto += rosto.legenda;
    texto += "\n\n";
    if (resumo.ordenadas.empty()) {
        texto +=
            "  Nenhuma sess\u00E3o por aqui ainda. Depois de `kivo instalar`, cada sess\u00E3o do "
            "Claude Code aparece nesta lista.\n";
        return texto;
    }
    for (const Sessao& sessao : resumo.ordenadas) texto += linhaDe(sessao, agora, opcoes);
    return texto;
}

std::string painel(const std::filesystem::path& pasta, double agora, const OpcoesPainel& opcoes) {
    return desenharPainel(Armazem(pasta).lerTodas(), agora, opcoes);
}

Aviso avisoDe(const Novidade& novidade) {
    std::string titulo = limpo(novidade.sessao.nome());
    switch (novidade.caso) {
        case Novidade::Caso::chamou: titulo += " precisa de voc\u00EA"; break;
        case Novidade::Caso::terminou: titulo += " terminou"; break;
        case Novidade::Caso::errou: titulo += " parou com erro"; break;
    }
    return {std::move(titulo), limpo(Rotulos::doEstado(novidade.sessao))};
}

}  // namespace kivo::app
