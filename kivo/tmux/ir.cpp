#include "tmux/ir.hpp"

#include <algorithm>

#include "apresentacao/apresentacao.hpp"
#include "apresentacao/espelho.hpp"
#include "base/processo.hpp"
#include "base/ascendencia.hpp"
#include "base/texto.hpp"
#include "kivo/armazem.hpp"
#include "kivo/rotulos.hpp"

namespace kivo::app {

namespace {

constexpr std::size_t menorPrefixo = 4;

std::string listar(const std::vector<const Sessao*>& sessoes) {
    std::string texto;
    for (const Sessao* s : sessoes) {
        texto += "\n  " + limpo(s->id.substr(0, 8)) + "  " + limpo(s->nome()) + " \u2014 " +
                 limpo(Rotulos::doEstado(*s));
    }
    return texto;
}

Escolha umaOuErro(const std::vector<const Sessao*>& achadas, std::string_view pedido, std::string_view como) {
    if (achadas.size() == 1) return {*achadas.front(), ""};
    return {std::nullopt, std::to_string(achadas.size()) + " sess\u00F5es " + std::string(como) + " \u201C" +
                              limpo(pedido) + "\u201D; diga qual:" + listar(achadas)};
}

}  // namespace

Escolha escolherSessao(const Resumo& resumo, std::string_view pedido) {
    const std::vector<Sessao>& todas = resumo.ordenadas;
    if (pedido.empty()) {
        if (resumo.destaque) return {*resumo.destaque, ""};
        return {std::nullopt, "Nenhuma sess\u00E3o aberta para ir."};
    }
    std::vector<const Sessao*> achadas;
    for (const Sessao& s : todas) {
        if (s.id == pedido) return {s, ""};
    }
    if (pedido.size() >= menorPrefixo) {
        for (const Sessao& s : todas) {
            if (s.id.starts_with(pedido)) achadas.push_back(&s);
        }
        if (!achadas.empty()) return umaOuErro(achadas, pedido, "come\u00E7am com");
    }
    for (const Sessao& s : todas) {
        if (s.projeto() == pedido) achadas.push_back(&s);
    }
    if (!achadas.empty()) return umaOuErro(achadas, pedido, "do projeto");
    std::vector<const Sessao*> abertas;
    for (const Sessao& s : todas) abertas.push_back(&s);
    std::string erro = "Nenhuma sess\u00E3o com o id, o come\u00E7o de id (de " + std::to_string(menorPrefixo) +
                       " caracteres para cima) ou o projeto \u201C" + limpo(pedido) + "\u201D.";
    erro += abertas.empty() ? std::string(" Nenhuma sess\u00E3o aberta.") : " As abertas:" + listar(abertas);
    return {std::nullopt, erro};
}

std::string ondeFica(const PainelTmux& painel) {
    return "tmux, sess\u00E3o \u201C" + limpo(painel.sessao) + "\u201D, janela " + std::to_string(painel.indiceJanela) +
           ", painel " + std::to_string(painel.indicePainel);
}

namespace {

// `sessao` when it is a mirrored machine's: that machine, and its id there.
std::optional<std::pair<Maquina, std::string>> deOutraMaquina(const Sessao& sessao, const OpcoesIr& opcoes) {
    if (opcoes.espelhos.empty() || (sessao.pid && *sessao.pid != kPidEncerrado)) return std::nullopt;
    const std::size_t arroba = sessao.id.rfind('@');
    if (arroba == std::string::npos) return std::nullopt;
    for (Maquina& m : lerMaquinas(opcoes.espelhos)) {
        if (sessao.id.compare(arroba + 1, std::string::npos, m.nome) == 0) {
            return std::pair{std::move(m), sessao.id.substr(0, arroba)};
        }
    }
    return std::nullopt;
}

Ida irLa(const Maquina& maquina, const std::string& id, const std::string& quem, const OpcoesIr& opcoes) {
    std::vector<std::string> linha = opcoes.ssh.empty() ? std::vector<std::string>{"ssh"} : opcoes.ssh;
    for (const char* o : {"-o", "BatchMode=yes", "-T", "--"}) linha.emplace_back(o);
    linha.push_back(maquina.nome);
    linha.push_back(entreAspas(maquina.programa) + " ir " + entreAspas(id));
    const std::vector<std::string> argumentos(linha.begin() + 1, linha.end());
    const std::optional<Execucao> e = executar(linha.front(), argumentos, 15000, true);
    if (!e) return {1, quem + ": n\u00E3o consegui rodar " + linha.front() + "."};
    std::string dito = e->saida;
    while (!dito.empty() && (dito.back() == '\n' || dito.back() == '\r')) dito.pop_back();
    if (const std::size_t q = dito.rfind('\n'); q != std::string::npos) dito.erase(0, q + 1);
    if (dito.empty()) dito = e->status == 0 ? "feito" : "o ssh n\u00E3o respondeu";
    return {e->status == 0 ? 0 : 1, maquina.nome + ": " + limpo(dito)};
}

}  // namespace

Ida irPara(const Sessao& sessao, std::string_view nome, const OpcoesIr& opcoes) {
    const std::string quem(nome);
    if (const auto la = deOutraMaquina(sessao, opcoes)) return irLa(la->first, la->second, quem, opcoes);
    if (!sessao.pid || *sessao.pid < 2) {
        return {1, quem + ": o registro n\u00E3o diz o processo do agente, ent\u00E3o n\u00E3o sei onde ele roda."};
    }
    const pid_t pid = *sessao.pid;
    const std::vector<pid_t> linhagem = ancestrais(pid);
    if (linhagem.empty()) return {1, quem + ": o processo do agente (" + std::to_string(pid) + ") acabou."};
    const std::optional<PainelAchado> achado = opcoes.tmux.painelDe(linhagem, opcoes.servidores);
    if (!achado) {
        const std::string terminal = terminalDe(pid);
        const std::string origem = sessao.origem ? limpo(*sessao.origem) : "";
        std::string onde = terminal.empty() ? "fora do tmux" : "no terminal " + terminal;
        if (!origem.empty()) onde += " (" + origem + ")";
        return {1, quem + " n\u00E3o est\u00E1 no tmux: roda " + onde + "."};
    }
    const PainelTmux* painel = &achado->painel;
    std::string cliente = opcoes.dentroDoTmux ? opcoes.tmux.clienteAtual(painel->soquete) : "";
    if (cliente.empty()) {
        if (const auto c = clienteMaisRecente(achado->clientes)) cliente = c->nome;
    }
    const std::string lugar = ondeFica(*painel);
    if (cliente.empty()) {
        return {1, quem + " est\u00E1 no " + lugar + ", mas nenhum terminal est\u00E1 anexado a esse servidor (" +
                       painel->soquete + "): `tmux -S " + painel->soquete + " attach -t " + painel->id + "`."};
    }
    if (!opcoes.tmux.mover(cliente, *painel)) {
        return {1, quem + " est\u00E1 no " + lugar + ", mas o tmux n\u00E3o moveu o cliente " + limpo(cliente) + "."};
    }
    return {0, "Fui para " + quem + ": " + lugar + "."};
}

Ida ir(const std::filesystem::path& pasta, std::string_view pedido, const OpcoesIr& opcoes) {
    const double agora = relogio();
    const Resumo resumo = vista(lerComEspelhos(pasta, agora).sessoes, agora, processoExiste);
    const Escolha escolha = escolherSessao(resumo, pedido);
    if (!escolha.sessao) return {1, escolha.erro};
    const std::vector<std::string> nomes = nomesDistintos(resumo.ordenadas);
    std::string nome;
    for (std::size_t i = 0; i < nomes.size(); ++i) {
        if (resumo.ordenadas[i].id == escolha.sessao->id) nome = nomes[i];
    }
    return irPara(*escolha.sessao, nome, opcoes);
}

Olhando olhandoNoTmux(std::vector<std::string> servidores, Tmux tmux) {
    return [servidores = std::move(servidores), tmux = std::move(tmux)](const Sessao& sessao) {
        if (!sessao.pid || *sessao.pid < 2 || servidores.empty()) return false;
        const std::optional<PainelAchado> achado = tmux.painelDe(ancestrais(*sessao.pid), servidores);
        if (!achado) return false;
        return std::any_of(achado->clientes.begin(), achado->clientes.end(), [&](const ClienteTmux& c) {
            return c.anexado && c.focado && c.painel == achado->painel.id;
        });
    };
}

}  // namespace kivo::app
