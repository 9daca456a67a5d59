// kivo: the terminal companion. One table of subcommands, which also writes the
// general help; the subcommands themselves live in the kivo_app library.
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


// One entry of a help list: a form, and what it does (lines broken by "\n").
struct Uso {
    std::string_view forma;
    std::string_view texto;
};

struct Comando {
    std::vector<std::string_view> nomes;  // what selects it
    int (*executar)(const Chamada&);
    std::vector<Uso> ajuda;               // its lines under "Uso:"
    std::vector<Uso> opcoes = {};         // its own help: its options
    std::string_view nota = {};           // its own help: the closing lines
};

const std::vector<Comando>& comandos();

// A help list: the form in a column of 23 after two spaces, the text beside it.
std::string lista(const std::vector<Uso>& usos) {
    std::string texto;
    for (const Uso& u : usos) {
        std::string_view resto = u.texto;
        std::string inicio = "  " + std::string(u.forma);
        // Padded by display width: a form may hold a letter of two bytes ("SESS\u00C3O").
        inicio.append(static_cast<std::size_t>(std::max(25 - kivo::app::larguraDe(inicio), 1)), ' ');
        for (bool primeira = true; primeira || !resto.empty(); primeira = false) {
            const std::size_t fim = resto.find('\n');
            texto += primeira ? inicio : std::string(25, ' ');
            texto += resto.substr(0, fim);
            texto += '\n';
            resto.remove_prefix(fim == std::string_view::npos ? resto.size() : fim + 1);
        }
    }
    return texto;
}

std::string textoDeAjuda() {
    std::string texto =
        "kivo \u2014 acompanha no terminal as sess\u00F5es de agente do Claude Code.\n"
        "\n"
        "Uso:\n";
    for (const Comando& c : comandos()) texto += lista(c.ajuda);
    texto += "\nAs op\u00E7\u00F5es de um comando: `kivo COMANDO --ajuda`. O ambiente (KIVO_DIR,\n"
             "CLAUDE_CONFIG_DIR, NO_COLOR) e o resto: `man kivo`.\n";
    return texto;
}

void escrever(std::FILE* f, const std::string& texto) {
    std::fwrite(texto.data(), 1, texto.size(), f);
}

int ajuda(const Chamada&) {
    escrever(stdout, textoDeAjuda());
    return 0;
}

// A subcommand's own help: its forms, its options and a note; at most 20 lines.
int ajudaDe(std::string_view nome) {
    for (const Comando& c : comandos()) {
        if (c.nomes.front() != nome) continue;
        std::string texto = "Uso:\n" + lista(c.ajuda);
        if (!c.opcoes.empty()) texto += "\nOp\u00E7\u00F5es:\n" + lista(c.opcoes);
        if (!c.nota.empty()) texto += "\n" + std::string(c.nota);
        texto += "\nTodos os comandos: `kivo --ajuda`; o manual: `man kivo`.\n";
        escrever(stdout, texto);
    }
    return 0;
}

int usoErrado(const std::string& mensagem, std::string_view comando) {
    std::fprintf(stderr, "kivo: %s\nVeja `kivo %s%s--ajuda`.\n", mensagem.c_str(), std::string(comando).c_str(),
                 comando.empty() ? "" : " ");
    return 2;
}

// The records folder when a view cannot read it: said on standard error, status 1.
// A missing folder is not an error: the view says so in place of its list.
std::optional<kivo::app::ProblemaDaPasta> problemaDosRegistros() {
    return kivo::app::problemaDaPasta(kivo::Caminhos::base(), std::getenv("KIVO_DIR"));
}

int pastaIlegivel(const kivo::app::ProblemaDaPasta& p) {
    escrever(stderr, "kivo: pasta dos registros: " + p.mensagem + ".\n" + p.conserto + "; `kivo verificar` confere o resto.\n");
    return 1;
}

int versao(const Chamada&) {
    std::printf("kivo %s\n", KIVO_VERSAO);
    return 0;
}

// The running executable, with links resolved.
std::filesystem::path esteExecutavel(const char* argv0) {
    char caminho[PATH_MAX];
#ifdef __APPLE__
    char bruto[PATH_MAX];
    uint32_t tamanho = sizeof bruto;
    if (_NSGetExecutablePath(bruto, &tamanho) == 0 && realpath(bruto, caminho)) return caminho;
#else
    if (realpath("/proc/self/exe", caminho)) return caminho;
#endif
    if (argv0 && realpath(argv0, caminho)) return caminho;
    return argv0 ? argv0 : "kivo";
}

// --largura's value: nullopt when absent; -1 when not a whole number from `minimo`.
std::optional<int> largura(const Opcoes& o, int minimo = 1) {
    const auto v = o.valor("--largura");
    if (!v) return std::nullopt;
    return kivo::app::inteiro(*v, minimo, INT_MAX).value_or(-1);
}

// The panel's narrowest width: its indent, the widest face, and the sentence's
// longest word on the lines below, none of them split.
constexpr int larguraMinimaDoPainel = 16;

int painel(const Chamada& c) {
    std::vector<std::string_view> args(c.args.begin(), c.args.end());
    std::vector<std::string> maquinas;
    if (!kivo::app::tirarRepetida(args, "--maquina", maquinas)) {
        return usoErrado("--maquina precisa do nome de uma m\u00E1quina", "painel");
    }
    const Opcao conhecidas[] = {{"--seguir"}, {"--todas"}, {"--largura", true}, {"--avisos", true}};
    const Opcoes o("painel", args, conhecidas);
    if (!o.ok()) return usoErrado(o.erro, "painel");
    if (o.ajudaPedida) return ajudaDe("painel");
    const std::optional<int> l = largura(o, larguraMinimaDoPainel);
    if (l == -1) {
        return usoErrado("--largura precisa de um n\u00FAmero de colunas, de " +
                             std::to_string(larguraMinimaDoPainel) + " para cima",
                         "painel");
    }
    const std::optional<kivo::app::ProblemaDaPasta> problema = problemaDosRegistros();
    if (problema && problema->grave) return pastaIlegivel(*problema);
    const bool terminal = isatty(STDOUT_FILENO) == 1;
    const bool cores = kivo::app::usarCores(terminal, std::getenv("NO_COLOR"));
    const std::optional<kivo::app::NivelDeAvisos> avisos =
        kivo::app::nivelDeAvisos(o.valor("--avisos").value_or("importantes"));
    if (!avisos) return usoErrado("--avisos \u00E9 todos, importantes ou nenhum", "painel");
    if (o.tem("--seguir")) {
        if (problema) escrever(stderr, "kivo: a pasta dos registros, " + problema->mensagem + "; " + problema->conserto + ".\n");
        kivo::app::OpcoesSeguir s{kivo::Caminhos::sessoes(), terminal, cores, o.tem("--todas"), STDOUT_FILENO};
        const kivo::app::OpcoesIr ir = opcoesIr(true);
        // The keys only where a person types them: the panel on a terminal, read from one.
        if (terminal && isatty(STDIN_FILENO) == 1) s.teclas = STDIN_FILENO;
        s.ir = [ir](const kivo::Sessao& sessao, const std::string& nome) { return kivo::app::irPara(sessao, nome, ir); };
        s.avisos = *avisos;
        s.memoria = kivo::app::pastaDosAvisos(s.pasta);
        s.olhando = kivo::app::olhandoNoTmux(ir.servidores);
        s.kivo = esteExecutavel(c.argv0).string();
        // The other machines' sessions come while it runs (kivo espelhar, its child).
        std::optional<pid_t> espelho;
        if (!maquinas.empty()) {
            espelho = kivo::app::iniciarEspelho(s.kivo, maquinas);
            if (!espelho) escrever(stderr, "kivo: n\u00E3o consegui iniciar o kivo espelhar.\n");
        }
        const int status = kivo::app::seguirPainel(s);
        if (espelho) kivo::app::pararEspelho(*espelho);
        return status;
    }
    kivo::app::OpcoesPainel opcoes{cores, kivo::app::processoExiste};
    opcoes.todas = o.tem("--todas");
    if (problema) {
        opcoes.semSessoes = "Nenhuma sess\u00E3o: a pasta dos registros, " + problema->mensagem + " (" +
                            problema->conserto + "; `kivo verificar` confere o resto).";
    }
    // A terminal gets lines of its width; a pipe whole lines, unless --largura says.
    opcoes.largura = l ? *l : (terminal ? kivo::app::tamanhoDoTerminal(STDOUT_FILENO).colunas : 0);
    escrever(stdout, kivo::app::painel(kivo::Caminhos::sessoes(), kivo::app::relogio(), opcoes));
    return 0;
}

int linha(const Chamada& c) {
    // Exactly one line and status 0 on every path: it lives in status bars, so a
    // refused option is not reported either.
    try {
        const Opcao conhecidas[] = {{"--tmux"}, {"--largura", true}};
        const Opcoes o("linha", c.args, conhecidas);
        if (o.ajudaPedida) return ajudaDe("linha");
        kivo::app::OpcoesLinha opcoes;
        const char* semCor = std::getenv("NO_COLOR");
        // An explicit --tmux is asked for on the command line, so NO_COLOR does not undo it.
        if (o.ok() && o.tem("--tmux")) {
            opcoes.estilo = kivo::app::Estilo::tmux;
        } else if (kivo::app::usarCores(isatty(STDOUT_FILENO) == 1, semCor)) {
            opcoes.estilo = kivo::app::Estilo::ansi;
        }
        if (const std::optional<int> l = o.ok() ? largura(o) : std::nullopt; l && *l > 0) opcoes.largura = *l;
        const std::optional<kivo::app::Informe> informe =
            kivo::app::informeDaLinha(kivo::app::lerEntrada(STDIN_FILENO));
        if (informe) opcoes.esta = informe->sessao;
        opcoes.processoVivo = kivo::app::processoExiste;
        // A records folder it cannot read is a short mark, never a quiet face.
        if (const auto problema = problemaDosRegistros()) {
            escrever(stdout, kivo::app::caber("(?.?) kivo: " + problema->curta, opcoes.largura) + "\n");
            return 0;
        }
        const double agora = kivo::app::relogio();
        const std::filesystem::path pasta = kivo::Caminhos::sessoes();
        const std::vector<kivo::Sessao> sessoes = kivo::app::lerComEspelhos(pasta, agora).sessoes;
        const std::filesystem::path consumo = kivo::app::pastaDoConsumo(pasta);
        escrever(stdout, kivo::app::desenharLinha(sessoes, agora, opcoes,
                                                  [&] { return kivo::app::lerConsumos(consumo, sessoes); }));
        std::fflush(stdout);
        // Kept after the line is out, and only for a session with a record: what is
        // kept for a session that has none, no view would show.
        try {
            if (informe && std::any_of(sessoes.begin(), sessoes.end(),
                                       [&](const kivo::Sessao& s) { return s.id == informe->sessao; })) {
                kivo::app::guardarConsumo(consumo, informe->sessao, informe->consumo, agora);
            }
        } catch (...) {
        }
    } catch (...) {
        escrever(stdout, "\n");
    }
    return 0;
}

int limpar(const Chamada& c) {
    const Opcao conhecidas[] = {{"--mostrar"}};
    const Opcoes o("limpar", c.args, conhecidas);
    if (!o.ok()) return usoErrado(o.erro, "limpar");
    if (o.ajudaPedida) return ajudaDe("limpar");
    if (const auto problema = problemaDosRegistros(); problema && problema->grave) return pastaIlegivel(*problema);
    const double agora = kivo::app::relogio();
    const bool mostrar = o.tem("--mostrar");
    const kivo::app::Limpeza l = kivo::app::limpar(kivo::Caminhos::sessoes(), agora, kivo::app::processoExiste, mostrar);
    escrever(stdout, kivo::app::relatorio(l, agora, mostrar));
    return 0;
}

int instalarOuDesinstalar(bool instalar, const Chamada& c) {
    const Opcao deInstalar[] = {{"--mostrar"}, {"--linha"}, {"--tmux"}, {"--arquivo", true}, {"--gancho", true}};
    const Opcao deDesinstalar[] = {{"--mostrar"}, {"--arquivo", true}};
    const Opcoes o(instalar ? "instalar" : "desinstalar", c.args,
                   instalar ? std::span<const Opcao>(deInstalar) : std::span<const Opcao>(deDesinstalar));
    const std::string_view nome = instalar ? "instalar" : "desinstalar";
    if (!o.ok()) return usoErrado(o.erro, nome);
    if (o.ajudaPedida) return ajudaDe(nome);
    const std::optional<std::string> arquivo = o.valor("--arquivo");
    if (arquivo && arquivo->empty()) return usoErrado("--arquivo precisa de um caminho", nome);

    kivo::app::OpcoesInstalar opcoes;
    opcoes.arquivo = arquivo ? std::filesystem::path(*arquivo) : kivo::app::arquivoPadrao();
    opcoes.mostrar = o.tem("--mostrar");
    opcoes.linha = o.tem("--linha");
    opcoes.agora = std::time(nullptr);
    if (instalar) {
        // The path as the user reaches it (a package manager's link survives upgrades).
        const char* argv0 = c.argv0;
        const std::filesystem::path kivo =
            kivo::app::executavelInvocado(argv0 ? argv0 : "", std::getenv("PATH"), esteExecutavel(argv0));
        std::string erro;
        const auto caminho = kivo::app::localizarGancho(o.valor("--gancho"), kivo, erro);
        if (!caminho) {
            escrever(stderr, erro);
            return 1;
        }
        // npx runs packages from its cache, which npm empties at will.
        const std::string noNpx = kivo::app::noCacheDoNpx(*caminho) ? *caminho
                                  : opcoes.linha && kivo::app::noCacheDoNpx(kivo.string()) ? kivo.string()
                                                                                          : "";
        if (!noNpx.empty()) {
            escrever(stderr, "kivo: " + noNpx +
                                 " est\u00E1 no cache do npx, que o npm apaga quando quer: registrado, deixaria de "
                                 "existir.\nInstale de vez com `npm install -g` (o mesmo pacote que voc\u00EA deu ao npx) "
                                 "e rode `kivo instalar` de novo.\n");
            return 1;
        }
        opcoes.gancho = *caminho;
        opcoes.kivo = kivo.string();
    }
    opcoes.pastaDados = kivo::Caminhos::base();
    const kivo::app::Resultado r = instalar ? kivo::app::instalar(opcoes) : kivo::app::desinstalar(opcoes);
    escrever(stdout, r.saida);
    escrever(stderr, r.erros);
    // tmux's key: with --tmux, and taken out again by every desinstalar that finds it.
    if (instalar && !o.tem("--tmux")) return r.status;
    kivo::app::OpcoesInstalar tmux = opcoes;
    tmux.arquivo = kivo::app::arquivoDoTmux(std::getenv("XDG_CONFIG_HOME"));
    const kivo::app::Resultado t = instalar ? kivo::app::instalarTmux(tmux) : kivo::app::desinstalarTmux(tmux, true);
    escrever(stdout, t.saida);
    escrever(stderr, t.erros);
    return std::max(r.status, t.status);
}

int verificar(const Chamada& c) {
    const Opcao conhecidas[] = {{"--arquivo", true}};
    const Opcoes o("verificar", c.args, conhecidas);
    if (!o.ok()) return usoErrado(o.erro, "verificar");
    if (o.ajudaPedida) return ajudaDe("verificar");
    const std::optional<std::string> arquivo = o.valor("--arquivo");
    if (arquivo && arquivo->empty()) return usoErrado("--arquivo precisa de um caminho", "verificar");
    const auto tem = [](const char* nome) {
        const char* v = std::getenv(nome);
        return v != nullptr && *v != '\0';
    };
    kivo::app::OpcoesVerificar v;
    v.arquivo = arquivo ? std::filesystem::path(*arquivo) : kivo::app::arquivoPadrao();
    v.deOnde = arquivo ? "--arquivo" : tem("CLAUDE_CONFIG_DIR") ? "CLAUDE_CONFIG_DIR" : "";
    v.ganchoAoLado = esteExecutavel(c.argv0).parent_path() / "kivo_gancho";
    v.base = kivo::Caminhos::base();
    v.kivoDir = std::getenv("KIVO_DIR");
    v.agora = kivo::app::relogio();
    v.path = std::getenv("PATH");
    v.sessaoGrafica = tem("DISPLAY") || tem("WAYLAND_DISPLAY") || tem("DBUS_SESSION_BUS_ADDRESS");
    const kivo::app::Resultado r = kivo::app::verificar(v);
    escrever(stdout, r.saida);
    return r.status;
}

const std::vector<Comando>& comandos() {
    static const std::vector<Comando> tabela = {
        {{"painel"}, painel, {
            {"kivo painel", "mostra o mascote e uma linha por sess\u00E3o: o que est\u00E1\nfazendo e h\u00E1 quanto tempo"},
            {"kivo painel --seguir", "redesenha a cada segundo e avisa das novidades\n(1\u20139, Enter: ir ao agente; q: sair)"},
            {"kivo painel --todas", "inclui as sess\u00F5es velhas e as de agentes encerrados"}},
         {{"--largura N", "cabe em N colunas, de 16 para cima (padr\u00E3o: a largura\ndo terminal)"},
          {"--avisos QUAIS", "com --seguir: todos, importantes (padr\u00E3o) ou nenhum"},
          {"--maquina HOST", "com --seguir: tamb\u00E9m as sess\u00F5es de HOST, pelo ssh"}},
         "Com --seguir, cada novidade importante vira uma notifica\u00E7\u00E3o na \u00E1rea de\n"
         "trabalho (ou o sino do terminal); no terminal, 1\u20139 e Enter levam ao agente.\n"
         "--todas mostra tamb\u00E9m as sess\u00F5es sem novidade h\u00E1 12 h e as de agentes\n"
         "encerrados. Sem sess\u00F5es para mostrar, o painel diz por qu\u00EA.\n"},
        {{"linha"}, linha, {
            {"kivo linha", "uma linha s\u00F3, para a linha de status do Claude Code\n"
                           "(l\u00EA o objeto dela na entrada) e para o tmux (--tmux)"}},
         {{"--tmux", "estilos do tmux em vez de cores ANSI"},
          {"--largura N", "cabe em N colunas (padr\u00E3o: 80)"}},
         "Sempre uma linha e status 0. No tmux (~/.tmux.conf):\n"
         "  set -g status-right '#(kivo linha --tmux --largura 40)'\n"},
        {{"ir"}, ir, {
            {"kivo ir [SESS\u00C3O]", "leva o seu terminal do tmux ao painel do agente\n(sem SESS\u00C3O: o que precisa de voc\u00EA)"}},
         {{"--recente", "move o cliente do tmux usado por \u00FAltimo, mesmo\nrodando dentro do tmux"}},
         "SESS\u00C3O: o id, o come\u00E7o dele (4 caracteres ou mais) ou o nome do projeto.\n"
         "Fora do tmux, diz onde o agente est\u00E1. Uma tecla no tmux (~/.tmux.conf):\n"
         "  bind-key K run-shell 'kivo ir'\n"},
        {{"limpar"}, limpar, {
            {"kivo limpar", "apaga os registros das sess\u00F5es velhas e encerradas\n(--mostrar s\u00F3 lista)"}},
         {{"--mostrar", "s\u00F3 lista o que apagaria"}}},
        {{"web"}, web, {
            {"kivo web", "o mascote num navegador, ao vivo, em 127.0.0.1\n(--porta N, --abrir; veja `kivo web --ajuda`)"}}},
        {{"espelhar"}, espelhar, {
            {"kivo espelhar HOST...", "traz as sess\u00F5es de outras m\u00E1quinas, pelo ssh, para\n"
                                      "o painel, a linha e a p\u00E1gina daqui (Ctrl-C para sair)"}},
         {{"--kivo-remoto CAMINHO", "o kivo de l\u00E1 (padr\u00E3o: kivo, no PATH de l\u00E1)"}},
         "Roda `kivo transmitir` em cada m\u00E1quina pelo seu ssh (o ~/.ssh/config, as\n"
         "chaves, os saltos valem); KIVO_SSH troca o comando (KIVO_SSH=\"ssh -F arq\").\n"
         "Sem contato, tenta de novo em 1, 2, 4... at\u00E9 60 s.\n"},
        {{"transmitir"}, transmitir, {
            {"kivo transmitir", "o outro lado do espelhar: escreve as sess\u00F5es\ndaqui, e cada mudan\u00E7a"}}},
        {{"instalar"}, [](const Chamada& c) { return instalarOuDesinstalar(true, c); }, {
            {"kivo instalar", "registra o kivo_gancho nos 11 eventos de gancho do\n"
                              "Claude Code, em ~/.claude/settings.json"}},
         {{"--arquivo CAMINHO", "usa outro arquivo de configura\u00E7\u00F5es"},
          {"--gancho CAMINHO", "registra este kivo_gancho, em vez do que est\u00E1 na\nmesma pasta do kivo"},
          {"--mostrar", "mostra o que mudaria em cada evento, sem gravar nada"},
          {"--linha", "p\u00F5e tamb\u00E9m `kivo linha` como linha de status, se\nainda n\u00E3o houver uma"},
          {"--tmux", "p\u00F5e tamb\u00E9m no ~/.tmux.conf a tecla K, que roda\n`kivo ir`"}},
         "Antes de mudar o arquivo, guarda uma c\u00F3pia ao lado\n"
         "(settings.json.kivo-backup-AAAAMMDD-HHMMSS). Rodar de novo n\u00E3o muda nada.\n"},
        {{"desinstalar"}, [](const Chamada& c) { return instalarOuDesinstalar(false, c); }, {
            {"kivo desinstalar", "tira do arquivo s\u00F3 o que o `kivo instalar` p\u00F4s"}},
         {{"--arquivo CAMINHO", "usa outro arquivo de configura\u00E7\u00F5es"},
          {"--mostrar", "mostra o que sairia, sem gravar nada"}},
         "No fim, diz o que ficou (as c\u00F3pias do arquivo, a pasta dos registros)\ne como apagar.\n"},
        {{"verificar"}, verificar, {
            {"kivo verificar", "confere a instala\u00E7\u00E3o item por item, com o conserto"}},
         {{"--arquivo CAMINHO", "confere outro arquivo de configura\u00E7\u00F5es"}},
         "Um item por linha: as configura\u00E7\u00F5es do Claude Code, o gancho em cada evento,\n"
         "a linha de status, a pasta dos registros, o \u00FAltimo evento, o tmux e as\n"
         "notifica\u00E7\u00F5es.\nSai com status 0 quando o essencial est\u00E1 no lugar, 1 quando n\u00E3o.\n"},
        {{"--versao", "--version", "-V"}, versao, {{"kivo --versao", "mostra a vers\u00E3o (tamb\u00E9m --version, -V)"}}},
        {{"--ajuda", "-h", "--help", "ajuda", "help"}, ajuda,
         {{"kivo --ajuda", "mostra esta ajuda (tamb\u00E9m -h, --help, help)"}}},
    };
    return tabela;
}

}  // namespace kivo::cli

int main(int argc, char** argv) {
    using namespace kivo::cli;
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    const Chamada chamada{std::span<const std::string_view>(args).subspan(args.empty() ? 0 : 1), argv[0]};
    if (args.empty()) return ajuda(chamada);
    for (const Comando& c : comandos()) {
        if (std::find(c.nomes.begin(), c.nomes.end(), args[0]) != c.nomes.end()) return c.executar(chamada);
    }
    return usoErrado("comando desconhecido: " + std::string(args[0]));
}
