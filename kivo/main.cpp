// kivo: the terminal companion. Reads the command line and runs one subcommand; the
// subcommands themselves live in the kivo_app library.
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>
#ifdef __APPLE__
#include <mach-o/dyld.h>
#endif

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "comando.hpp"
#include "instalar.hpp"
#include "kivo/caminhos.hpp"
#include "painel.hpp"
#include "seguir.hpp"

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

// The running executable, with links resolved, so that kivo_gancho is found beside it.
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

int painel(const std::vector<std::string_view>& args) {
    bool seguir = false;
    for (const std::string_view a : args) {
        if (a == "--seguir") {
            seguir = true;
        } else if (a == "--ajuda" || a == "-h") {
            escrever(stdout, std::string(ajuda));
            return 0;
        } else {
            return usoErrado("op\u00E7\u00E3o desconhecida para painel: " + std::string(a));
        }
    }
    const bool terminal = isatty(STDOUT_FILENO) == 1;
    const bool cores = kivo::app::usarCores(terminal, std::getenv("NO_COLOR"));
    if (seguir) return kivo::app::seguirPainel({kivo::Caminhos::sessoes(), terminal, cores, STDOUT_FILENO});
    escrever(stdout, kivo::app::painel(kivo::Caminhos::sessoes(), kivo::app::relogio(),
                                       {cores, kivo::app::processoExiste}));
    return 0;
}

int instalarOuDesinstalar(bool instalar, const std::vector<std::string_view>& args, const char* argv0) {
    std::optional<std::string> arquivo;
    std::optional<std::string> gancho;
    bool mostrar = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view a = args[i];
        // "--opcao valor" or "--opcao=valor"
        auto valor = [&](std::string_view nome, std::optional<std::string>& destino) {
            if (a == nome) {
                if (i + 1 >= args.size()) return false;
                destino = std::string(args[++i]);
                return true;
            }
            if (a.size() > nome.size() && a.substr(0, nome.size()) == nome && a[nome.size()] == '=') {
                destino = std::string(a.substr(nome.size() + 1));
                return true;
            }
            return false;
        };
        if (a == "--mostrar") {
            mostrar = true;
        } else if (valor("--arquivo", arquivo)) {
        } else if (instalar && valor("--gancho", gancho)) {
        } else if (a == "--arquivo" || (instalar && a == "--gancho")) {
            return usoErrado(std::string(a) + " precisa de um caminho");
        } else if (a == "--ajuda" || a == "-h") {
            escrever(stdout, std::string(ajuda));
            return 0;
        } else {
            return usoErrado("op\u00E7\u00E3o desconhecida para " +
                             std::string(instalar ? "instalar" : "desinstalar") + ": " + std::string(a));
        }
    }
    if (arquivo && arquivo->empty()) return usoErrado("--arquivo precisa de um caminho");

    kivo::app::OpcoesInstalar opcoes;
    opcoes.arquivo = arquivo ? std::filesystem::path(*arquivo) : kivo::app::arquivoPadrao();
    opcoes.mostrar = mostrar;
    opcoes.agora = std::time(nullptr);
    if (instalar) {
        std::string erro;
        const auto caminho = kivo::app::localizarGancho(gancho, esteExecutavel(argv0), erro);
        if (!caminho) {
            escrever(stderr, erro);
            return 1;
        }
        opcoes.gancho = *caminho;
    }
    const kivo::app::Resultado r = instalar ? kivo::app::instalar(opcoes) : kivo::app::desinstalar(opcoes);
    escrever(stdout, r.saida);
    escrever(stderr, r.erros);
    return r.status;
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
    if (args[0] == "web") return kivo::web::comandoWeb(resto);
    if (args[0] == "instalar") return instalarOuDesinstalar(true, resto, argv[0]);
    if (args[0] == "desinstalar") return instalarOuDesinstalar(false, resto, argv[0]);
    return usoErrado("comando desconhecido: " + std::string(args[0]));
}
