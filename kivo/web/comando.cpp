#include "comando.hpp"

#include <fcntl.h>
#include <signal.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <thread>

#include "espelho/espelhar.hpp"
#include "apresentacao/espelho.hpp"
#include "apresentacao/pasta.hpp"
#include "base/erros.hpp"
#include "base/opcoes.hpp"
#include "base/processo.hpp"
#include "kivo/caminhos.hpp"
#include "servidor.hpp"

namespace kivo::web {

namespace {

// A page of our own that sends the browser on to `endereco`: the browser is started
// with the path of this file, readable by this user only, and never with the token
// on its command line, which every local user can read (ps). The folder and file are
// removed when the object goes.
class Abertura {
public:
    explicit Abertura(const std::string& endereco) {
        const char* base = std::getenv("XDG_RUNTIME_DIR");
        if (base == nullptr || *base == '\0') base = std::getenv("TMPDIR");
        if (base == nullptr || *base == '\0') base = "/tmp";
        std::string modelo = std::string(base) + "/kivo-web-XXXXXX";
        if (mkdtemp(modelo.data()) == nullptr) return;  // mode 0700
        pasta_ = modelo;
        arquivo_ = pasta_ + "/abrir.html";
        const int fd =
            open(arquivo_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0) return;
        const std::string html =
            "<!doctype html><meta charset=\"utf-8\"><meta http-equiv=\"refresh\" content=\"0;url=" +
            endereco + "\"><title>kivo</title>\n";
        const bool ok = write(fd, html.data(), html.size()) == static_cast<ssize_t>(html.size());
        close(fd);
        pronto_ = ok;
    }
    ~Abertura() {
        if (!arquivo_.empty()) unlink(arquivo_.c_str());
        if (!pasta_.empty()) rmdir(pasta_.c_str());
    }
    Abertura(const Abertura&) = delete;
    Abertura& operator=(const Abertura&) = delete;

    // Starts the opener (xdg-open on Linux, open on macOS) without waiting for it and
    // reaps it when it ends; false when it cannot be started.
    bool abrir() const {
        if (!pronto_) return false;
#ifdef __APPLE__
        const char* programa = "open";
#else
        const char* programa = "xdg-open";
#endif
        const std::optional<pid_t> filho = app::iniciarFilho(programa, {arquivo_});
        if (!filho) return false;
        std::thread([filho = *filho] { waitpid(filho, nullptr, 0); }).detach();
        return true;
    }

private:
    std::string pasta_;
    std::string arquivo_;
    bool pronto_ = false;
};

constexpr std::string_view kAjudaWeb =
    "kivo web \u2014 o mascote num navegador, ao vivo.\n"
    "\n"
    "Uso: kivo web [--porta N] [--abrir] [--maquina HOST]...\n"
    "  --porta N       serve em 127.0.0.1:N (sem ela, numa porta livre)\n"
    "  --abrir         abre o endere\u00E7o no navegador (xdg-open ou open)\n"
    "  --maquina HOST  mostra tamb\u00E9m as sess\u00F5es de HOST, pelo ssh\n"
    "                  (kivo espelhar; repita para mais m\u00E1quinas)\n"
    "\n"
    "Mostra o endere\u00E7o com a chave desta execu\u00E7\u00E3o "
    "(http://127.0.0.1:PORTA/?t=CHAVE).\n"
    "S\u00F3 aceita conex\u00F5es da pr\u00F3pria m\u00E1quina; de outra, use um t\u00FAnel SSH:\n"
    "  ssh -L 8765:127.0.0.1:8765 maquina-dos-agentes kivo web --porta 8765\n"
    "Ctrl-C para sair.\n";

}  // namespace

int comandoWeb(const std::vector<std::string_view>& args) {
    if (app::pedeAjuda(args)) {
        std::fwrite(kAjudaWeb.data(), 1, kAjudaWeb.size(), stdout);
        return 0;
    }
    OpcoesWeb opcoes;
    std::string erro;
    if (!lerOpcoesWeb(args, opcoes, erro)) {
        std::fprintf(stderr, "kivo: %s\nVeja `kivo web --ajuda`.\n", erro.c_str());
        return 2;
    }
    // A records folder it cannot read would serve an empty page: say so instead.
    if (const auto problema = app::problemaDaPasta(Caminhos::base(), std::getenv("KIVO_DIR"))) {
        std::fprintf(stderr, "kivo web: a pasta dos registros, %s; %s.\n", problema->mensagem.c_str(),
                     problema->conserto.c_str());
        if (problema->grave) return 1;
    }
    opcoes.pasta = Caminhos::sessoes();
    return executarWeb(opcoes, stdout, stderr);
}

bool lerOpcoesWeb(const std::vector<std::string_view>& args, OpcoesWeb& opcoes, std::string& erro) {
    const app::Opcao conhecidas[] = {
        {"--abrir"},
        {"--porta", true, "--porta precisa de um n\u00FAmero",
         [](std::string_view valor) -> std::optional<std::string> {
             if (app::inteiro(valor, 1, 65535)) return std::nullopt;
             return "--porta precisa de um n\u00FAmero de 1 a 65535: " + std::string(valor);
         }},
    };
    std::vector<std::string_view> resto = args;
    if (!app::tirarRepetida(resto, "--maquina", opcoes.maquinas)) {
        erro = "--maquina precisa do nome de uma m\u00E1quina";
        return false;
    }
    const app::Opcoes o("web", resto, conhecidas);
    if (!o.ok()) {
        erro = o.erro;
        return false;
    }
    if (o.tem("--abrir")) opcoes.abrir = true;
    if (const auto porta = o.valor("--porta")) opcoes.porta = *app::inteiro(*porta, 1, 65535);
    return true;
}

int executarWeb(const OpcoesWeb& opcoes, std::FILE* saida, std::FILE* erros) {
#if defined(__GLIBC__)
    // One malloc arena for all the server's threads: requests are few and small, and
    // an arena per thread would take most of the process's own memory (15 MiB
    // against 4 with ten pages open).
    mallopt(M_ARENA_MAX, 1);
#endif
    // The signals wait for sigwait below; the server's threads inherit the mask.
    sigset_t sinais;
    sigemptyset(&sinais);
    for (const int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&sinais, s);
    sigset_t anterior;
    pthread_sigmask(SIG_BLOCK, &sinais, &anterior);
    struct sigaction ignorar {};
    ignorar.sa_handler = SIG_IGN;
    struct sigaction pipeAnterior {};
    sigaction(SIGPIPE, &ignorar, &pipeAnterior);  // a client gone shows as a failed write

    int status = 0;
    {
        OpcoesServidor o;
        o.pasta = opcoes.pasta;
        o.porta = opcoes.porta;
        // The page's button moves the tmux client used last: the server may itself run
        // in a tmux pane nobody looks at.
        app::OpcoesIr ir;
        ir.servidores = app::servidoresDoTmux(std::getenv("TMUX"), std::getenv("TMUX_TMPDIR"), getuid());
        ir.espelhos = app::pastaDosEspelhos(opcoes.pasta);
        ir.ssh = app::comandoSsh(std::getenv("KIVO_SSH"));
        o.olhando = app::olhandoNoTmux(ir.servidores);
        o.ir = [ir, pasta = o.pasta](const std::string& pedido) { return app::ir(pasta, pedido, ir); };
        Servidor servidor(o);
        try {
            servidor.iniciar();
        } catch (const std::system_error& e) {
            if (e.code().value() == EADDRINUSE) {
                std::fprintf(
                    erros,
                    "kivo web: a porta %d j\u00E1 est\u00E1 em uso. Escolha outra com --porta N, "
                    "ou deixe sem --porta para usar uma livre.\n",
                    opcoes.porta);
            } else {
                std::fprintf(erros,
                             "kivo web: n\u00E3o consegui abrir o servidor em 127.0.0.1:%d (%s).\n",
                             opcoes.porta, app::erroDoSistema(e.code().value()).c_str());
            }
            status = 1;
        }
        if (status == 0) {
            std::fprintf(
                saida,
                "kivo web: o mascote no navegador, ao vivo.\n"
                "  %s\n"
                "O endere\u00E7o leva uma chave desta execu\u00E7\u00E3o: n\u00E3o o compartilhe. "
                "Ctrl-C para sair.\n",
                servidor.endereco().c_str());
            std::fflush(saida);
            std::unique_ptr<Abertura> abertura;
            if (opcoes.abrir) {
                abertura = std::make_unique<Abertura>(servidor.endereco());
                if (!abertura->abrir()) {
                    std::fprintf(erros,
                                 "kivo web: n\u00E3o consegui abrir o navegador; abra o "
                                 "endere\u00E7o acima.\n");
                }
            }
            // Other machines' sessions, while it runs: kivo espelhar, from kivo's folder.
            std::optional<pid_t> espelho;
            if (!opcoes.maquinas.empty()) {
                std::error_code e;
                const std::filesystem::path eu = std::filesystem::read_symlink("/proc/self/exe", e);
                espelho = app::iniciarEspelho(e ? std::string("kivo") : (eu.parent_path() / "kivo").string(),
                                              opcoes.maquinas);
                if (!espelho) std::fprintf(erros, "kivo web: n\u00E3o consegui iniciar o kivo espelhar.\n");
            }
            int recebido = 0;
            while (sigwait(&sinais, &recebido) != 0) {
            }
            if (espelho) app::pararEspelho(*espelho);
            servidor.parar();
            std::fprintf(saida, "kivo web: encerrado.\n");
        }
    }
    sigaction(SIGPIPE, &pipeAnterior, nullptr);
    pthread_sigmask(SIG_SETMASK, &anterior, nullptr);
    return status;
}

}  // namespace kivo::web
