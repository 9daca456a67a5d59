// The subcommands that reach past this terminal: kivo ir (to an agent's pane, here or
// over ssh), kivo espelhar and kivo transmitir (other machines), kivo web (its own program).
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>
#ifdef __APPLE__
#include <mach-o/dyld.h>
#endif

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "apresentacao/consumo.hpp"
#include "apresentacao/espelho.hpp"
#include "apresentacao/limpar.hpp"
#include "apresentacao/pasta.hpp"
#include "apresentacao/registros.hpp"
#include "base/erros.hpp"
#include "base/opcoes.hpp"
#include "base/texto.hpp"
#include "espelho/espelhar.hpp"
#include "espelho/transmitir.hpp"
#include "instalar/instalar.hpp"
#include "instalar/verificar.hpp"
#include "kivo/caminhos.hpp"
#include "terminal/linha.hpp"
#include "terminal/painel.hpp"
#include "terminal/seguir.hpp"
#include "tmux/ir.hpp"
#include "comandos.hpp"

namespace kivo::cli {

using kivo::app::Opcao;
using kivo::app::Opcoes;

// The ways to an agent, here and on the mirrored machines.
kivo::app::OpcoesIr opcoesIr(bool dentroDoTmux) {
    const char* tmux = std::getenv("TMUX");
    kivo::app::OpcoesIr ir;
    ir.servidores = kivo::app::servidoresDoTmux(tmux, std::getenv("TMUX_TMPDIR"), getuid());
    ir.dentroDoTmux = dentroDoTmux && tmux != nullptr && *tmux != '\0';
    ir.espelhos = kivo::app::pastaDosEspelhos(kivo::Caminhos::sessoes());
    ir.ssh = kivo::app::comandoSsh(std::getenv("KIVO_SSH"));
    return ir;
}

// kivo ir [SESSÃO]: the user's tmux client to the agent's pane.
int ir(const Chamada& c) {
    std::vector<std::string_view> marcas;
    std::vector<std::string_view> pedidos;
    bool soPedidos = false;
    for (const std::string_view a : c.args) {
        if (!soPedidos && a == "--") {
            soPedidos = true;
        } else if (soPedidos || !a.starts_with("-")) {
            pedidos.push_back(a);
        } else {
            marcas.push_back(a);
        }
    }
    const Opcao conhecidas[] = {{"--recente"}};
    const Opcoes o("ir", marcas, conhecidas);
    if (!o.ok()) return usoErrado(o.erro, "ir");
    if (o.ajudaPedida) return ajudaDe("ir");
    if (pedidos.size() > 1) return usoErrado("diga uma sess\u00E3o s\u00F3", "ir");
    if (const auto problema = problemaDosRegistros(); problema && problema->grave) return pastaIlegivel(*problema);
    const char* tmux = std::getenv("TMUX");
    const kivo::app::OpcoesIr opcoes = opcoesIr(!o.tem("--recente"));
    const kivo::app::Ida ida = kivo::app::ir(kivo::Caminhos::sessoes(), pedidos.empty() ? "" : pedidos[0], opcoes);
    // From a key binding (run-shell) what reaches standard output covers the pane and
    // standard error is thrown away: a success says nothing there, a failure says why
    // on standard output.
    const bool terminal = isatty(STDOUT_FILENO) == 1;
    if (ida.status == 0 && terminal) escrever(stdout, ida.mensagem + "\n");
    const bool noTmux = tmux != nullptr && *tmux != '\0';
    if (ida.status != 0) escrever(noTmux && !terminal ? stdout : stderr, "kivo: " + ida.mensagem + "\n");
    return ida.status;
}

int espelhar(const Chamada& c) {
    // Options first; the machines are the other words, and everything after "--".
    std::vector<std::string_view> opcoesDadas;
    kivo::app::OpcoesEspelhar opcoes;
    bool soMaquinas = false;
    for (std::size_t i = 0; i < c.args.size(); ++i) {
        const std::string_view a = c.args[i];
        if (soMaquinas || a.empty() || a[0] != '-') {
            opcoes.maquinas.emplace_back(a);
        } else if (a == "--") {
            soMaquinas = true;
        } else {
            opcoesDadas.push_back(a);
            if (a == "--kivo-remoto" && i + 1 < c.args.size()) opcoesDadas.push_back(c.args[++i]);
        }
    }
    const Opcao conhecidas[] = {{"--kivo-remoto", true}, {"--com-pai"}};
    const Opcoes o("espelhar", opcoesDadas, conhecidas);
    if (!o.ok()) return usoErrado(o.erro, "espelhar");
    if (o.ajudaPedida) return ajudaDe("espelhar");
    if (opcoes.maquinas.empty()) return usoErrado("diga de que m\u00E1quina (kivo espelhar HOST)", "espelhar");
    if (std::any_of(opcoes.maquinas.begin(), opcoes.maquinas.end(), [](const std::string& m) { return m.empty(); }))
        return usoErrado("um nome de m\u00E1quina vazio", "espelhar");
    if (const auto remoto = o.valor("--kivo-remoto")) {
        if (remoto->empty()) return usoErrado("--kivo-remoto precisa de um caminho", "espelhar");
        opcoes.remoto = *remoto;
    }
    opcoes.ssh = kivo::app::comandoSsh(std::getenv("KIVO_SSH"));
    opcoes.espelhos = kivo::app::pastaDosEspelhos(kivo::Caminhos::sessoes());
    // Started by a view: what happens shows there, and it ends with that view.
    opcoes.comPai = o.tem("--com-pai");
    if (opcoes.comPai) opcoes.mensagens = nullptr;
    return kivo::app::espelhar(opcoes);
}

int transmitir(const Chamada& c) {
    const Opcoes o("transmitir", c.args, {});
    if (!o.ok()) return usoErrado(o.erro, "transmitir");
    if (o.ajudaPedida) return ajudaDe("transmitir");
    return kivo::app::transmitir({.sessoes = kivo::Caminhos::sessoes(), .saida = STDOUT_FILENO,
                                  .relogio = kivo::app::relogio, .vivo = kivo::app::processoExiste});
}

// `kivo web` is its own program, kivo_web beside this one: the server links an HTTP
// library and threads that the rest of kivo, started every few hundred milliseconds
// for the status line, should not load. This process becomes it.
int web(const Chamada& c) {
    const std::filesystem::path programa = esteExecutavel(c.argv0).parent_path() / "kivo_web";
    std::vector<std::string> textos{programa.string()};
    for (const std::string_view a : c.args) textos.emplace_back(a);
    std::vector<char*> argv;
    for (std::string& t : textos) argv.push_back(t.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    escrever(stderr, "kivo: n\u00E3o consegui iniciar " + programa.string() + ": " + kivo::app::erroDoSistema(errno) + "\n");
    return 1;
}

}  // namespace kivo::cli
