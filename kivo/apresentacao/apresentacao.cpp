#include "apresentacao/apresentacao.hpp"

#include <time.h>

#include <algorithm>
#include <cmath>
#include <exception>
#include <optional>

#include "base/texto.hpp"
#include "kivo/rotulos.hpp"

namespace kivo::app {

namespace {

bool continuacao(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

void cortarInicio(std::string& t) {
    if (t.size() <= kTextoExibido) return;
    std::size_t fim = kTextoExibido;
    while (fim > 0 && continuacao(t[fim])) --fim;
    t.resize(fim);
    t += "\u2026";
    t.shrink_to_fit();
}

void cortarInicio(std::optional<std::string>& t) {
    if (t) cortarInicio(*t);
}

}  // namespace

void cortarParaExibir(Sessao& sessao) {
    for (std::optional<std::string>* t : {&sessao.titulo, &sessao.detalhe, &sessao.origem, &sessao.ferramentaId})
        cortarInicio(*t);
    cortarInicio(sessao.id);
    std::string& cwd = sessao.cwd;
    if (cwd.size() > kTextoExibido) {
        std::size_t inicio = cwd.size() - kTextoExibido;
        while (inicio < cwd.size() && continuacao(cwd[inicio])) ++inicio;
        cwd = "\u2026" + cwd.substr(inicio);
    }
}


Resumo vista(const std::vector<Sessao>& sessoes, double agora, const ProcessoVivo& vivo, bool todas) {
    return resumir(todas ? sessoes : vigentes(sessoes, agora, vivo), agora);
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

std::string legendaDe(const Resumo& resumo) {
    const auto quantas = [&](Estado estado) {
        return std::count_if(resumo.ordenadas.begin(), resumo.ordenadas.end(),
                             [estado](const Sessao& s) { return s.estado == estado; });
    };
    const std::string_view uma = rostoDe(resumo.humor).legenda;
    std::ptrdiff_t n = 0;
    std::string_view plural;
    switch (resumo.humor) {
        case Humor::atencao: n = quantas(Estado::atencao), plural = " agentes precisam de voc\u00EA."; break;
        case Humor::erro: n = quantas(Estado::erro), plural = " agentes pararam com erro."; break;
        case Humor::comemorando: n = quantas(Estado::feito), plural = " agentes terminaram."; break;
        default: break;
    }
    if (n < 2) return std::string(uma);
    return (resumo.humor == Humor::comemorando ? "Pronto! " : "") + std::to_string(n) + std::string(plural);
}

std::vector<std::string> nomesDistintos(const std::vector<Sessao>& sessoes) {
    std::vector<std::string> nomes;
    std::map<std::string, std::vector<std::size_t>> iguais;
    for (std::size_t i = 0; i < sessoes.size(); ++i) {
        nomes.push_back(limpo(sessoes[i].nome()));
        iguais[nomes.back()].push_back(i);
    }
    for (const auto& [nome, indices] : iguais) {
        if (indices.size() < 2) continue;
        std::map<std::string, int> origens;
        for (const std::size_t i : indices) ++origens[sessoes[i].origem.value_or("")];
        for (const std::size_t i : indices) {
            const std::string origem = sessoes[i].origem.value_or("");
            if (!origem.empty() && origens[origem] == 1) {
                nomes[i] = nome + " (" + limpo(origem) + ")";
            } else {
                nomes[i] = nome + " #" + limpo(sessoes[i].id.substr(0, 6));
            }
        }
    }
    return nomes;
}

std::string haQuanto(double segundos) {
    if (!std::isfinite(segundos)) return "";
    try {
        std::string t = Rotulos::tempo(segundos);
        return t == "agora" ? t : "h\u00E1 " + t;
    } catch (const std::exception&) {
        return "";
    }
}

Item itemDe(const Sessao& sessao, double agora, const ProcessoVivo& vivo, const Remotas* remotas) {
    Item item{limpo(sessao.nome()), limpo(Rotulos::doEstado(sessao)), haQuanto(agora - sessao.mudouEstadoEm),
              sessao.pid.has_value() && vivo && !vivo(*sessao.pid)};
    if (remotas) {
        if (const auto r = remotas->find(sessao.id); r != remotas->end() && r->second.semContato) {
            item.situacao = semContatoCom(r->second, agora);
        }
    }
    return item;
}

std::string semContatoCom(const Remota& remota, double agora) {
    std::string t = "sem contato com " + remota.maquina;
    if (remota.contato > 0) {
        if (const std::string ha = haQuanto(agora - remota.contato); !ha.empty() && ha != "agora") t += " " + ha;
    }
    if (!remota.aviso.empty()) t += ": " + remota.aviso;
    return t;
}

Aviso avisoDe(const Novidade& novidade, std::string_view nome) {
    std::string titulo = nome.empty() ? limpo(novidade.sessao.nome()) : std::string(nome);
    switch (novidade.caso) {
        case Novidade::Caso::chamou: titulo += " precisa de voc\u00EA"; break;
        case Novidade::Caso::terminou: titulo += " terminou"; break;
        case Novidade::Caso::errou: titulo += " parou com erro"; break;
    }
    return {std::move(titulo), limpo(Rotulos::doEstado(novidade.sessao))};
}

double relogio() {
    timespec t{};
    clock_gettime(CLOCK_REALTIME, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

std::vector<Novidade> Acompanhamento::ler(const std::vector<Sessao>& sessoes) {
    std::vector<Novidade> lista;
    if (!primeira_) lista = novidades(anterior_, sessoes);
    primeira_ = false;
    anterior_.clear();
    for (const Sessao& s : sessoes) anterior_.insert_or_assign(s.id, s);
    return lista;
}

}  // namespace kivo::app
