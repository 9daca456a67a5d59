#include "terminal/linha.hpp"

#include <unistd.h>

#include <cerrno>
#include <functional>

#include "apresentacao/apresentacao.hpp"
#include "base/texto.hpp"
#include "kivo/rotulos.hpp"

namespace kivo::app {

namespace {

enum class Cor { nenhuma, amarelo, ciano, verde, vermelho };

struct Pedaco {
    std::string texto;  // limpo(), without styles
    Cor cor = Cor::nenhuma;
};

Cor corDoHumor(Humor humor) {
    switch (humor) {
        case Humor::atencao: return Cor::amarelo;
        case Humor::trabalhando: return Cor::ciano;
        case Humor::comemorando: return Cor::verde;
        case Humor::erro: return Cor::vermelho;
        default: return Cor::nenhuma;
    }
}

std::string_view abrir(Cor cor, Estilo estilo) {
    if (estilo == Estilo::ansi) {
        switch (cor) {
            case Cor::amarelo: return "\x1b[1;33m";
            case Cor::ciano: return "\x1b[36m";
            case Cor::verde: return "\x1b[32m";
            case Cor::vermelho: return "\x1b[1;31m";
            case Cor::nenhuma: break;
        }
    } else if (estilo == Estilo::tmux) {
        switch (cor) {
            case Cor::amarelo: return "#[fg=yellow,bold]";
            case Cor::ciano: return "#[fg=cyan]";
            case Cor::verde: return "#[fg=green]";
            case Cor::vermelho: return "#[fg=red,bold]";
            case Cor::nenhuma: break;
        }
    }
    return "";
}

std::string escrito(const Pedaco& p, Estilo estilo) {
    std::string texto;
    if (estilo == Estilo::tmux) {
        for (const char c : p.texto) {
            texto += c;
            if (c == '#') texto += '#';  // "##" is a literal "#" for tmux
        }
    } else {
        texto = p.texto;
    }
    const std::string_view inicio = abrir(p.cor, estilo);
    if (inicio.empty()) return texto;
    return std::string(inicio) + texto + (estilo == Estilo::tmux ? "#[default]" : "\x1b[0m");
}

std::string contagem(std::size_t n, std::string_view um, std::string_view varios) {
    return std::to_string(n) + " " + std::string(n == 1 ? um : varios);
}

constexpr std::string_view separador = " \u00B7 ";

// A project name takes at most this many columns: what the session wants matters more.
constexpr int maximoDoProjeto = 20;

// The narrowest warning of a full context: "x 90% do contexto".
constexpr int minimoDeUmCheio = 17;

int larguraDas(const std::vector<Pedaco>& pedacos) {
    int total = 0;
    for (std::size_t i = 0; i < pedacos.size(); ++i) total += larguraDe(pedacos[i].texto) + (i > 0 ? 3 : 0);
    return total;
}

}  // namespace

std::string desenharLinha(const std::vector<Sessao>& sessoes, double agora, const OpcoesLinha& opcoes,
                          const std::function<Consumos()>& consumos) {
    const int largura = std::max(opcoes.largura, 1);
    const Resumo resumo = vista(sessoes, agora, opcoes.processoVivo);

    const Pedaco face{std::string(rostoDe(resumo.humor).face), corDoHumor(resumo.humor)};
    // The texts of the sessions that call, as far as they could fit: past the width,
    // they are only counted (with hundreds of sessions, building every text would
    // cost more than the rest of the line).
    std::vector<Pedaco> chamando;
    std::vector<const Sessao*> quemChama;  // the session behind each of `chamando`
    std::size_t totalChamando = 0, trabalhando = 0, prontos = 0, erros = 0;
    int ocupado = larguraDe(face.texto);
    for (const Sessao& s : resumo.ordenadas) {
        if (opcoes.esta && s.id == *opcoes.esta) continue;
        switch (s.estado) {
            case Estado::atencao:
                if (ocupado <= largura) {
                    chamando.push_back({caber(limpo(s.projeto()), maximoDoProjeto) + ": " + limpo(Rotulos::doEstado(s)),
                                        Cor::amarelo});
                    quemChama.push_back(&s);
                    ocupado += larguraDe(chamando.back().texto) + 3;
                }
                ++totalChamando;
                break;
            case Estado::trabalhando: ++trabalhando; break;
            case Estado::feito: ++prontos; break;
            case Estado::erro: ++erros; break;
            case Estado::ocioso: break;
        }
    }
    // Those that would read the same are told apart by the start of their ids.
    std::vector<bool> repetido(chamando.size(), false);
    for (std::size_t i = 0; i < chamando.size(); ++i) {
        for (std::size_t j = i + 1; j < chamando.size(); ++j) {
            if (chamando[j].texto == chamando[i].texto) repetido[i] = repetido[j] = true;
        }
    }
    for (std::size_t k = 0; k < chamando.size(); ++k) {
        if (!repetido[k]) continue;
        const Sessao& s = *quemChama[k];
        chamando[k].texto = caber(limpo(s.projeto()), maximoDoProjeto) + " #" + limpo(s.id.substr(0, 6)) + ": " +
                            limpo(Rotulos::doEstado(s));
    }
    std::vector<Pedaco> contagens;
    if (erros > 0) contagens.push_back({contagem(erros, "com erro", "com erro"), Cor::vermelho});
    if (trabalhando > 0) contagens.push_back({contagem(trabalhando, "trabalhando", "trabalhando"), Cor::ciano});
    if (prontos > 0) contagens.push_back({contagem(prontos, "pronto", "prontos"), Cor::verde});

    std::vector<Pedaco> cheios;  // see below
    // The first list that fits, in this order: everything; fewer of the sessions
    // about to run out of context (the last one goes first); none of them and fewer of
    // the sessions that call, the rest as "+N chamando", with the counts; the most
    // urgent one and "+N" with fewer counts (the last one goes first); the same with
    // its text cut; the face alone.
    auto montar = [&](std::size_t quantos, std::size_t comContagens, std::size_t comCheios = 0) {
        std::vector<Pedaco> lista{face};
        lista.insert(lista.end(), chamando.begin(), chamando.begin() + static_cast<std::ptrdiff_t>(quantos));
        if (quantos < totalChamando) {
            lista.push_back({"+" + std::to_string(totalChamando - quantos) + " chamando", Cor::amarelo});
        }
        lista.insert(lista.end(), cheios.begin(), cheios.begin() + static_cast<std::ptrdiff_t>(comCheios));
        lista.insert(lista.end(), contagens.begin(), contagens.begin() + static_cast<std::ptrdiff_t>(comContagens));
        return lista;
    };

    // The sessions about to run out of context, each "<project> 92% do contexto", as
    // far as they could fit. They give way first, so they are only looked for (and
    // the consumption files only read) when the line without them leaves room for one.
    const int semCheios = larguraDas(montar(chamando.size(), contagens.size()));
    if (consumos && semCheios + 3 + minimoDeUmCheio <= largura) {
        const Consumos lidos = consumos();
        int ocupadoPorCheios = semCheios;
        for (const Sessao& s : resumo.ordenadas) {
            if (ocupadoPorCheios > largura) break;
            const auto c = lidos.find(s.id);
            if (c == lidos.end() || !quaseCheio(c->second) || (opcoes.esta && s.id == *opcoes.esta)) continue;
            cheios.push_back({caber(limpo(s.projeto()), maximoDoProjeto) + " " + porcentagem(*c->second.contexto) +
                                  " do contexto",
                              Cor::amarelo});
            ocupadoPorCheios += larguraDe(cheios.back().texto) + 3;
        }
    }

    std::vector<Pedaco> lista;
    bool coube = false;
    for (std::size_t q = cheios.size(); q > 0 && !coube; --q) {
        lista = montar(chamando.size(), contagens.size(), q);
        coube = larguraDas(lista) <= largura;
    }
    for (std::size_t k = chamando.size() + 1; k-- > 0 && !coube;) {
        if (k == 0 && !chamando.empty()) break;  // the most urgent one is never left out
        lista = montar(k, contagens.size());
        coube = larguraDas(lista) <= largura;
    }
    for (std::size_t c = contagens.size(); !coube && !chamando.empty() && c-- > 0;) {
        lista = montar(1, c);
        coube = larguraDas(lista) <= largura;
    }
    if (!coube && !chamando.empty()) {
        lista = montar(1, 0);
        const int resto = largura - (larguraDas(lista) - larguraDe(lista[1].texto));
        coube = resto >= 2;
        if (coube) lista[1].texto = caber(lista[1].texto, resto);
    }
    while (!coube && lista.size() > 1 && chamando.empty()) {
        lista.pop_back();
        coube = larguraDas(lista) <= largura;
    }
    if (!coube) lista = {Pedaco{caber(face.texto, largura), face.cor}};  // a very narrow line

    std::string texto;
    for (std::size_t i = 0; i < lista.size(); ++i) {
        if (lista[i].texto.empty()) continue;
        if (!texto.empty()) texto += separador;
        texto += escrito(lista[i], opcoes.estilo);
    }
    return texto + "\n";
}

std::string lerEntrada(int fd, std::size_t limite) {
    std::string texto;
    if (isatty(fd) == 1) return texto;
    char bloco[16384];
    while (true) {
        const ssize_t n = read(fd, bloco, sizeof bloco);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        const std::size_t cabe = limite > texto.size() ? limite - texto.size() : 0;
        texto.append(bloco, std::min(cabe, static_cast<std::size_t>(n)));
    }
    return texto;
}

}  // namespace kivo::app
