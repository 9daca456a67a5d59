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
#include "apresentacao/limpar.hpp"
#include "apresentacao/pasta.hpp"
#include "base/erros.hpp"
#include "base/opcoes.hpp"
#include "base/texto.hpp"
#include "instalar/instalar.hpp"
#include "instalar/verificar.hpp"
#include "kivo/armazem.hpp"
#include "kivo/caminhos.hpp"
#include "terminal/linha.hpp"
#include "terminal/painel.hpp"
#include "terminal/seguir.hpp"

namespace {

using kivo::app::Opcao;
using kivo::app::Opcoes;

struct Chamada {
    std::span<const std::string_view> args;  // after the subcommand's name
    const char* argv0;
};

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
        inicio.resize(std::max<std::size_t>(inicio.size() + 1, 25), ' ');
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

int usoErrado(const std::string& mensagem, std::string_view comando = {}) {
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
    const Opcao conhecidas[] = {{"--seguir"}, {"--todas"}, {"--largura", true}};
    const Opcoes o("painel", c.args, conhecidas);
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
    if (o.tem("--seguir")) {
        if (problema) escrever(stderr, "kivo: a pasta dos registros, " + problema->mensagem + "; " + problema->conserto + ".\n");
        return kivo::app::seguirPainel({kivo::Caminhos::sessoes(), terminal, cores, o.tem("--todas"), STDOUT_FILENO});
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
        const bool coresProibidas = semCor != nullptr && *semCor != '\0';
        if (o.ok() && o.tem("--tmux")) {
            opcoes.estilo = coresProibidas ? kivo::app::Estilo::nenhum : kivo::app::Estilo::tmux;
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
        const std::vector<kivo::Sessao> sessoes = kivo::Armazem(pasta).lerTodas();
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
    const Opcao deInstalar[] = {{"--mostrar"}, {"--linha"}, {"--arquivo", true}, {"--gancho", true}};
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
    return r.status;
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

const std::vector<Comando>& comandos() {
    static const std::vector<Comando> tabela = {
        {{"painel"}, painel, {
            {"kivo painel", "mostra o mascote e uma linha por sess\u00E3o: o que est\u00E1\nfazendo e h\u00E1 quanto tempo"},
            {"kivo painel --seguir", "redesenha a cada segundo e avisa de cada novidade\n(Ctrl-C para sair)"},
            {"kivo painel --todas", "inclui as sess\u00F5es velhas e as de agentes encerrados"}},
         {{"--largura N", "cabe em N colunas, de 16 para cima (padr\u00E3o: a largura\ndo terminal)"}},
         "Com --seguir, cada novidade vira uma notifica\u00E7\u00E3o na \u00E1rea de trabalho (ou o\n"
         "sino do terminal). --todas mostra tamb\u00E9m as sess\u00F5es sem novidade h\u00E1 12 h e as\n"
         "de agentes encerrados, que o painel normalmente deixa de fora.\n"
         "Sem sess\u00F5es para mostrar, o painel diz por qu\u00EA; `kivo verificar`\nconfere a instala\u00E7\u00E3o inteira.\n"},
        {{"linha"}, linha, {
            {"kivo linha", "uma linha s\u00F3, para a linha de status do Claude Code\n"
                           "(l\u00EA o objeto dela na entrada) e para o tmux (--tmux)"}},
         {{"--tmux", "estilos do tmux em vez de cores ANSI"},
          {"--largura N", "cabe em N colunas (padr\u00E3o: 80)"}},
         "Sempre uma linha e status 0. No tmux (~/.tmux.conf):\n"
         "  set -g status-right '#(kivo linha --tmux --largura 40)'\n"},
        {{"limpar"}, limpar, {
            {"kivo limpar", "apaga os registros das sess\u00F5es velhas e encerradas\n(--mostrar s\u00F3 lista)"}},
         {{"--mostrar", "s\u00F3 lista o que apagaria"}}},
        {{"web"}, web, {
            {"kivo web", "o mascote num navegador, ao vivo, em 127.0.0.1\n(--porta N, --abrir; veja `kivo web --ajuda`)"}}},
        {{"instalar"}, [](const Chamada& c) { return instalarOuDesinstalar(true, c); }, {
            {"kivo instalar", "registra o kivo_gancho nos 11 eventos de gancho do\n"
                              "Claude Code, em ~/.claude/settings.json"}},
         {{"--arquivo CAMINHO", "usa outro arquivo de configura\u00E7\u00F5es"},
          {"--gancho CAMINHO", "registra este kivo_gancho, em vez do que est\u00E1 na\nmesma pasta do kivo"},
          {"--mostrar", "mostra o que mudaria em cada evento, sem gravar nada"},
          {"--linha", "p\u00F5e tamb\u00E9m `kivo linha` como linha de status, se\nainda n\u00E3o houver uma"}},
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

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    const Chamada chamada{std::span<const std::string_view>(args).subspan(args.empty() ? 0 : 1), argv[0]};
    if (args.empty()) return ajuda(chamada);
    for (const Comando& c : comandos()) {
        if (std::find(c.nomes.begin(), c.nomes.end(), args[0]) != c.nomes.end()) return c.executar(chamada);
    }
    return usoErrado("comando desconhecido: " + std::string(args[0]));
}
