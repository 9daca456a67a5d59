#include "terminal/painel.hpp"

#include <sys/ioctl.h>

#include <algorithm>
#include <limits>
#include <vector>

#include "apresentacao/registros.hpp"
#include "kivo/estado.hpp"

namespace kivo::app {

Tamanho tamanhoDoTerminal(int fd) {
    winsize w{};
    if (ioctl(fd, TIOCGWINSZ, &w) != 0) return {};
    return {w.ws_row, w.ws_col};
}

bool usarCores(bool terminal, const char* noColor) {
    return terminal && (noColor == nullptr || *noColor == '\0');
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

// The name keeps at least this many columns on the session's line; with less room the
// status goes to the lines below.
constexpr int minimoDoNome = 12;

void acrescentar(std::string& texto, const std::string& linha, std::string_view cor, bool cores) {
    if (cores) {
        texto += cor;
        texto += linha;
        texto += "\x1b[0m\n";
    } else {
        texto += linha;
        texto += '\n';
    }
}

// A paragraph of the panel, indented by two spaces and broken to fit.
void paragrafo(std::string& texto, std::string_view frase, int largura) {
    for (const std::string& l : quebrar(frase, largura > 0 ? std::max(largura - 2, 1) : 0)) {
        texto += "  " + l + "\n";
    }
}

// The model and the cost beside a session, in at most `cabe` columns: the model is
// cut first, then left out, then the cost.
std::string extrasDe(const Consumo& consumo, int cabe = std::numeric_limits<int>::max()) {
    constexpr std::string_view ponto = " \u00B7 ";
    const std::string custo = consumo.custo ? std::string(ponto) + emDolares(*consumo.custo) : "";
    const std::string modelo = consumo.modelo ? *consumo.modelo : "";
    const int paraOModelo = cabe - larguraDe(custo) - 3;
    if (!modelo.empty() && paraOModelo >= std::min(larguraDe(modelo), 8)) {
        return std::string(ponto) + caber(modelo, paraOModelo) + custo;
    }
    return larguraDe(custo) <= cabe ? custo : "";
}

void linhaDe(std::string& texto, const Sessao& sessao, const std::string& nomeDistinto, double agora,
             const OpcoesPainel& opcoes, const Consumos& consumos) {
    std::string inicio = "  ";
    inicio += marcaDe(sessao.estado);
    inicio += ' ';
    const Item item = itemDe(sessao, agora, opcoes.processoVivo);
    const std::string& nome = nomeDistinto;
    // What tells equal names apart stays whole when the name gives way.
    const std::string sufixo = nome.starts_with(item.nome) ? nome.substr(item.nome.size()) : "";
    const auto nomeEm = [&](int colunas) {
        const int s = larguraDe(sufixo);
        return sufixo.empty() || colunas < s + 2 ? caber(nome, colunas) : caber(item.nome, colunas - s) + sufixo;
    };
    const std::string& status = item.situacao;
    std::string cauda;
    if (!item.ha.empty()) cauda = " \u00B7 " + item.ha;
    if (item.encerrado) cauda += " (processo encerrado)";
    const auto consumo = consumos.find(sessao.id);
    const Consumo* c = consumo == consumos.end() ? nullptr : &consumo->second;
    if (c && c->contexto) cauda += " \u00B7 " + porcentagem(*c->contexto);
    const std::string_view cor = corDe(sessao.estado);
    constexpr std::string_view traco = " \u2014 ";

    const int largura = opcoes.largura;
    if (largura <= 0) {
        acrescentar(texto, inicio + nome + std::string(traco) + status + cauda + (c ? extrasDe(*c) : ""), cor,
                    opcoes.cores);
        return;
    }
    const int fixo = larguraDe(inicio) + 3 + larguraDe(status) + larguraDe(cauda);
    const int nomeInteiro = larguraDe(nome);
    const int resta = largura - fixo;
    if (resta >= nomeInteiro || resta >= minimoDoNome) {
        const std::string extras = c ? extrasDe(*c, resta - nomeInteiro) : "";
        acrescentar(texto, inicio + nomeEm(resta - larguraDe(extras)) + std::string(traco) + status + cauda + extras,
                    cor, opcoes.cores);
        return;
    }
    // Too narrow for both on one line: the name above, the status and age below.
    acrescentar(texto, sufixo.empty() ? caber(inicio + nome, largura) : inicio + nomeEm(largura - larguraDe(inicio)),
                cor, opcoes.cores);
    // The age stays in one piece: after the status's last line when it fits there,
    // else on a line of its own.
    const int recuo = std::min(4, largura - 1);
    std::vector<std::string> abaixo = quebrar(status, largura - recuo);
    const std::string resto = cauda.substr(cauda.find_first_not_of(' ') == std::string::npos ? 0 : 1);
    if (!cauda.empty()) {
        if (larguraDe(abaixo.back()) + larguraDe(cauda) <= largura - recuo) {
            abaixo.back() += cauda;
        } else {
            for (std::string& l : quebrar(resto, largura - recuo)) abaixo.push_back(std::move(l));
        }
    }
    for (const std::string& l : abaixo) {
        acrescentar(texto, caber(std::string(static_cast<std::size_t>(recuo), ' ') + l, largura), cor,
                    opcoes.cores);
    }
}

}  // namespace

std::string desenharPainel(const std::vector<Sessao>& sessoes, double agora, const OpcoesPainel& opcoes,
                           const Consumos& consumos) {
    const Resumo resumo = vista(sessoes, agora, opcoes.processoVivo, opcoes.todas);
    const Rosto rosto = rostoDe(resumo.humor);
    std::string texto;
    paragrafo(texto, std::string(rosto.face) + "  " + legendaDe(resumo), opcoes.largura);
    texto += "\n";
    if (resumo.ordenadas.empty()) {
        paragrafo(texto,
                  !opcoes.semSessoes.empty()
                      ? opcoes.semSessoes
                      : "Nenhuma sess\u00E3o por aqui ainda. Depois de `kivo instalar`, cada sess\u00E3o do "
                        "Claude Code aparece nesta lista; `kivo verificar` confere a instala\u00E7\u00E3o.",
                  opcoes.largura);
        return texto;
    }
    const std::vector<std::string> nomes = nomesDistintos(resumo.ordenadas);
    for (std::size_t i = 0; i < nomes.size(); ++i) {
        linhaDe(texto, resumo.ordenadas[i], nomes[i], agora, opcoes, consumos);
    }
    if (const std::string total = custoTotal(resumo.ordenadas, consumos); !total.empty()) {
        texto += "\n";
        paragrafo(texto, total, opcoes.largura);
    }
    return texto;
}

std::string painel(const std::filesystem::path& pasta, double agora, const OpcoesPainel& opcoes) {
    const std::vector<Sessao> sessoes = lerRegistros(pasta);
    return desenharPainel(sessoes, agora, opcoes, lerConsumos(pastaDoConsumo(pasta), sessoes));
}

}  // namespace kivo::app
