// kivo: the terminal companion. Reads the command line and runs one subcommand; the
// subcommands themselves live in the kivo_app library.
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>
#ifdef __APPLE__
#include <mach-o/dyld.h>
#endif

#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "instalar/instalar.hpp"
#include "kivo/armazem.hpp"
#include "kivo/caminhos.hpp"
#include "apresentacao/limpar.hpp"
#include "terminal/linha.hpp"
#include "terminal/painel.hpp"
#include "terminal/seguir.hpp"

namespace {

constexpr std::string_view ajuda =
    "kivo \u2014 acompanha no terminal as sess\u00F5es de agente do Claude Code.\n"
    "\n"
    "Uso:\n"
    "  kivo painel            mostra o mascote e uma linha por sess\u00E3o: o que est\u00E1\n"
    "                         fazendo e h\u00E1 quanto tempo\n"
    "  kivo painel --seguir   redesenha a cada segundo e avisa de cada novidade\n"
    "                         (notifica\u00E7\u00E3o na \u00E1rea de trabalho ou sino do terminal);\n"
    "                         Ctrl-C para sair\n"
    "  kivo painel --todas    inclui as sess\u00F5es velhas (12 h sem novidade) e as de\n"
    "                         agentes encerrados, que o painel normalmente deixa de fora\n"
    "  kivo linha             uma linha s\u00F3, para a linha de status do Claude Code\n"
    "                         (l\u00EA o objeto dela na entrada) e para o tmux (--tmux)\n"
    "  kivo limpar            apaga os registros das sess\u00F5es velhas e encerradas\n"
    "                         (--mostrar s\u00F3 lista)\n"
    "  kivo web               o mascote num navegador, ao vivo, em 127.0.0.1\n"
    "                         (--porta N, --abrir; veja `kivo web --ajuda`)\n"
    "  kivo instalar          registra o kivo_gancho nos 11 eventos de gancho do\n"
    "                         Claude Code, em ~/.claude/settings.json\n"
    "  kivo desinstalar       tira do arquivo s\u00F3 o que o `kivo instalar` p\u00F4s\n"
    "  kivo --versao          mostra a vers\u00E3o\n"
    "  kivo --ajuda           mostra esta ajuda\n"
    "\n"
    "Op\u00E7\u00F5es de instalar e desinstalar:\n"
    "  --arquivo CAMINHO      usa outro arquivo de configura\u00E7\u00F5es\n"
    "  --gancho CAMINHO       (instalar) registra este kivo_gancho, em vez do que est\u00E1\n"
    "                         na mesma pasta do kivo\n"
    "  --mostrar              mostra o que mudaria, sem gravar nada\n"
    "  --linha                (instalar) p\u00F5e tamb\u00E9m `kivo linha` como linha de status,\n"
    "                         se ainda n\u00E3o houver uma\n"
    "\n"
    "Op\u00E7\u00F5es de painel e linha:\n"
    "  --largura N            cabe em N colunas (padr\u00E3o: a largura do terminal; na\n"
    "                         linha, 80)\n"
    "  --tmux                 (linha) estilos do tmux em vez de cores ANSI\n"
    "\n"
    "Antes de mudar o arquivo, o kivo guarda uma c\u00F3pia dele ao lado\n"
    "(settings.json.kivo-backup-AAAAMMDD-HHMMSS). Rodar de novo n\u00E3o muda nada.\n"
    "\n"
    "Ambiente:\n"
    "  KIVO_DIR               pasta dos registros (padr\u00E3o: ~/.kivo)\n"
    "  CLAUDE_CONFIG_DIR      pasta de configura\u00E7\u00F5es do Claude Code (padr\u00E3o: ~/.claude)\n"
    "  NO_COLOR               quando tem valor, o painel sai sem cores\n";

int usoErrado(const std::string& mensagem) {
    std::fprintf(stderr, "kivo: %s\nVeja `kivo --ajuda`.\n", mensagem.c_str());
    return 2;
}

void escrever(std::FILE* f, const std::string& texto) {
    std::fwrite(texto.data(), 1, texto.size(), f);
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

// The options of one subcommand: flags and "--name value" / "--name=value".
class Opcoes {
public:
    // `calado`: a refused option is not reported (the status line prints nothing else).
    Opcoes(std::string comando, const std::vector<std::string_view>& args, bool calado = false)
        : comando_(std::move(comando)), args_(args), calado_(calado) {}

    // Reads every argument; false (after printing why) on one that is not known.
    bool ler(const std::vector<std::string_view>& marcas, const std::vector<std::string_view>& comValor) {
        for (std::size_t i = 0; i < args_.size(); ++i) {
            const std::string_view a = args_[i];
            if (a == "--ajuda" || a == "-h") {
                ajudaPedida = true;
                continue;
            }
            if (std::find(marcas.begin(), marcas.end(), a) != marcas.end()) {
                marcadas_.emplace_back(a);
                continue;
            }
            bool conhecida = false;
            for (const std::string_view nome : comValor) {
                if (a == nome) {
                    if (i + 1 >= args_.size()) {
                        if (!calado_) erro = usoErrado(std::string(a) + " precisa de um valor");
                        return false;
                    }
                    valores_[std::string(nome)] = std::string(args_[++i]);
                    conhecida = true;
                } else if (a.size() > nome.size() && a.substr(0, nome.size()) == nome && a[nome.size()] == '=') {
                    valores_[std::string(nome)] = std::string(a.substr(nome.size() + 1));
                    conhecida = true;
                }
                if (conhecida) break;
            }
            if (!conhecida) {
                if (!calado_) erro = usoErrado("op\u00E7\u00E3o desconhecida para " + comando_ + ": " + std::string(a));
                return false;
            }
        }
        return true;
    }
    bool tem(std::string_view marca) const {
        return std::find(marcadas_.begin(), marcadas_.end(), marca) != marcadas_.end();
    }
    std::optional<std::string> valor(const std::string& nome) const {
        const auto it = valores_.find(nome);
        if (it == valores_.end()) return std::nullopt;
        return it->second;
    }
    // A number of columns: nullopt when absent; -1 when not a whole number from 1.
    std::optional<int> largura() const {
        const auto v = valor("--largura");
        if (!v) return std::nullopt;
        int n = 0;
        const auto [fim, e] = std::from_chars(v->data(), v->data() + v->size(), n);
        if (e != std::errc() || fim != v->data() + v->size() || n < 1) return -1;
        return n;
    }

    bool ajudaPedida = false;
    int erro = 2;

private:
    std::string comando_;
    std::vector<std::string_view> args_;
    bool calado_;
    std::vector<std::string> marcadas_;
    std::map<std::string, std::string> valores_;
};

int larguraDoTerminal(int fd) {
    winsize w{};
    return ioctl(fd, TIOCGWINSZ, &w) == 0 ? w.ws_col : 0;
}

int painel(const std::vector<std::string_view>& args) {
    Opcoes o("painel", args);
    if (!o.ler({"--seguir", "--todas"}, {"--largura"})) return o.erro;
    if (o.ajudaPedida) {
        escrever(stdout, std::string(ajuda));
        return 0;
    }
    const std::optional<int> largura = o.largura();
    if (largura == -1) return usoErrado("--largura precisa de um n\u00FAmero de colunas");
    const bool terminal = isatty(STDOUT_FILENO) == 1;
    const bool cores = kivo::app::usarCores(terminal, std::getenv("NO_COLOR"));
    if (o.tem("--seguir")) {
        return kivo::app::seguirPainel({kivo::Caminhos::sessoes(), terminal, cores, o.tem("--todas"), STDOUT_FILENO});
    }
    kivo::app::OpcoesPainel opcoes{cores, kivo::app::processoExiste};
    opcoes.todas = o.tem("--todas");
    // A terminal gets lines of its width; a pipe whole lines, unless --largura says.
    opcoes.largura = largura ? *largura : (terminal ? larguraDoTerminal(STDOUT_FILENO) : 0);
    escrever(stdout, kivo::app::painel(kivo::Caminhos::sessoes(), kivo::app::relogio(), opcoes));
    return 0;
}

int linha(const std::vector<std::string_view>& args) {
    // Exactly one line and status 0 on every path: it lives in status bars.
    try {
        Opcoes o("linha", args, true);
        const bool entendida = o.ler({"--tmux"}, {"--largura"});
        kivo::app::OpcoesLinha opcoes;
        const char* semCor = std::getenv("NO_COLOR");
        const bool coresProibidas = semCor != nullptr && *semCor != '\0';
        if (entendida && o.tem("--tmux")) {
            opcoes.estilo = coresProibidas ? kivo::app::Estilo::nenhum : kivo::app::Estilo::tmux;
        } else if (kivo::app::usarCores(isatty(STDOUT_FILENO) == 1, semCor)) {
            opcoes.estilo = kivo::app::Estilo::ansi;
        }
        if (const std::optional<int> l = entendida ? o.largura() : std::nullopt; l && *l > 0) opcoes.largura = *l;
        opcoes.esta = kivo::app::sessaoDaEntrada(kivo::app::lerEntrada(STDIN_FILENO));
        opcoes.processoVivo = kivo::app::processoExiste;
        const double agora = kivo::app::relogio();
        escrever(stdout, kivo::app::desenharLinha(kivo::Armazem(kivo::Caminhos::sessoes()).lerTodas(), agora, opcoes));
    } catch (...) {
        escrever(stdout, "\n");
    }
    return 0;
}

int limpar(const std::vector<std::string_view>& args) {
    Opcoes o("limpar", args);
    if (!o.ler({"--mostrar"}, {})) return o.erro;
    if (o.ajudaPedida) {
        escrever(stdout, std::string(ajuda));
        return 0;
    }
    const double agora = kivo::app::relogio();
    const bool mostrar = o.tem("--mostrar");
    const kivo::app::Limpeza l = kivo::app::limpar(kivo::Caminhos::sessoes(), agora, kivo::app::processoExiste, mostrar);
    escrever(stdout, kivo::app::relatorio(l, agora, mostrar));
    return 0;
}

int instalarOuDesinstalar(bool instalar, const std::vector<std::string_view>& args, const char* argv0) {
    Opcoes o(instalar ? "instalar" : "desinstalar", args);
    const bool ok = instalar ? o.ler({"--mostrar", "--linha"}, {"--arquivo", "--gancho"})
                             : o.ler({"--mostrar"}, {"--arquivo"});
    if (!ok) return o.erro;
    if (o.ajudaPedida) {
        escrever(stdout, std::string(ajuda));
        return 0;
    }
    const std::optional<std::string> arquivo = o.valor("--arquivo");
    if (arquivo && arquivo->empty()) return usoErrado("--arquivo precisa de um caminho");

    kivo::app::OpcoesInstalar opcoes;
    opcoes.arquivo = arquivo ? std::filesystem::path(*arquivo) : kivo::app::arquivoPadrao();
    opcoes.mostrar = o.tem("--mostrar");
    opcoes.linha = o.tem("--linha");
    opcoes.agora = std::time(nullptr);
    if (instalar) {
        // The path as the user reaches it (a package manager's link survives upgrades).
        const std::filesystem::path kivo =
            kivo::app::executavelInvocado(argv0 ? argv0 : "", std::getenv("PATH"), esteExecutavel(argv0));
        std::string erro;
        const auto caminho = kivo::app::localizarGancho(o.valor("--gancho"), kivo, erro);
        if (!caminho) {
            escrever(stderr, erro);
            return 1;
        }
        opcoes.gancho = *caminho;
        opcoes.kivo = kivo.string();
        opcoes.pastaDados = kivo::Caminhos::base();
    }
    const kivo::app::Resultado r = instalar ? kivo::app::instalar(opcoes) : kivo::app::desinstalar(opcoes);
    escrever(stdout, r.saida);
    escrever(stderr, r.erros);
    return r.status;
}

// `kivo web` is its own program, kivo_web beside this one: the server links an HTTP
// library and threads that the rest of kivo, started every few hundred milliseconds
// for the status line, should not load.
int web(const std::vector<std::string_view>& args, const char* argv0) {
    const std::filesystem::path programa = esteExecutavel(argv0).parent_path() / "kivo_web";
    std::vector<std::string> textos{programa.string()};
    for (const std::string_view a : args) textos.emplace_back(a);
    std::vector<char*> argv;
    for (std::string& t : textos) argv.push_back(t.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    escrever(stderr, "kivo: n\u00E3o consegui iniciar " + programa.string() + ": " + std::strerror(errno) + "\n");
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--ajuda" || args[0] == "-h" || args[0] == "--help" || args[0] == "ajuda") {
        escrever(stdout, std::string(ajuda));
        return 0;
    }
    const std::vector<std::string_view> resto(args.begin() + 1, args.end());
    if (args[0] == "--versao" || args[0] == "--version" || args[0] == "-V") {
        std::printf("kivo %s\n", KIVO_VERSAO);
        return 0;
    }
    if (args[0] == "painel") return painel(resto);
    if (args[0] == "linha") return linha(resto);
    if (args[0] == "limpar") return limpar(resto);
    if (args[0] == "web") return web(resto, argv[0]);
    if (args[0] == "instalar") return instalarOuDesinstalar(true, resto, argv[0]);
    if (args[0] == "desinstalar") return instalarOuDesinstalar(false, resto, argv[0]);
    return usoErrado("comando desconhecido: " + std::string(args[0]));
}
