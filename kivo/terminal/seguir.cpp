#include "terminal/seguir.hpp"

#include <signal.h>
#include <sys/select.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <string_view>

#include "apresentacao/limpar.hpp"
#include "apresentacao/registros.hpp"
#include "base/descritor.hpp"
#include "apresentacao/espelho.hpp"
#include "kivo/armazem.hpp"
#include "terminal/notificacao.hpp"
#include "terminal/painel.hpp"

namespace kivo::app {

namespace {

constexpr std::size_t registroMaximo = 6;

constexpr std::string_view entrarNaTela = "\x1b[?1049h\x1b[?25l\x1b[?7l\x1b[2J";
constexpr std::string_view sairDaTela = "\x1b[?7h\x1b[?25h\x1b[?1049l";

volatile sig_atomic_t parar = 0;

extern "C" void aoParar(int) { parar = 1; }
// A new terminal size only has to cut the wait short: the next frame fits it.
extern "C" void aoRedimensionar(int) {}

std::string hora(double instante) {
    const auto segundos = static_cast<time_t>(instante);
    tm local{};
    localtime_r(&segundos, &local);
    char texto[16];
    const std::size_t n = strftime(texto, sizeof texto, "%H:%M:%S", &local);
    return std::string(texto, n);
}

// Handlers without SA_RESTART, so the wait below wakes up at once. The signals stay
// blocked except inside pselect, which closes the gap between testing the flag and
// going to sleep.
class Sinais {
public:
    Sinais() {
        struct sigaction acao {};
        sigemptyset(&acao.sa_mask);
        acao.sa_handler = aoParar;
        for (const int s : {SIGINT, SIGTERM, SIGHUP}) sigaction(s, &acao, &antigas_[indice(s)]);
        acao.sa_handler = aoRedimensionar;
        sigaction(SIGWINCH, &acao, &antigas_[indice(SIGWINCH)]);
        acao.sa_handler = SIG_IGN;  // a closed pipe ends the loop through write's error
        sigaction(SIGPIPE, &acao, &antigas_[indice(SIGPIPE)]);
        sigset_t bloquear;
        sigemptyset(&bloquear);
        for (const int s : {SIGINT, SIGTERM, SIGHUP, SIGWINCH}) sigaddset(&bloquear, s);
        sigprocmask(SIG_BLOCK, &bloquear, &mascara_);
    }
    ~Sinais() {
        sigprocmask(SIG_SETMASK, &mascara_, nullptr);
        for (const int s : {SIGINT, SIGTERM, SIGHUP, SIGWINCH, SIGPIPE}) {
            sigaction(s, &antigas_[indice(s)], nullptr);
        }
    }
    Sinais(const Sinais&) = delete;
    Sinais& operator=(const Sinais&) = delete;

    // Sleeps up to `segundos`, or until a signal arrives or `fd` (when not -1) has
    // something to read: true in that last case.
    bool esperar(long segundos, int fd = -1) const {
        timespec espera{segundos, 0};
        fd_set leitura;
        FD_ZERO(&leitura);
        if (fd >= 0) FD_SET(fd, &leitura);
        const int r = pselect(fd >= 0 ? fd + 1 : 0, &leitura, nullptr, nullptr, &espera, &mascara_);
        return r > 0 && fd >= 0 && FD_ISSET(fd, &leitura);
    }

private:
    static std::size_t indice(int s) {
        switch (s) {
            case SIGINT: return 0;
            case SIGTERM: return 1;
            case SIGHUP: return 2;
            case SIGWINCH: return 3;
            default: return 4;
        }
    }
    struct sigaction antigas_[5] {};
    sigset_t mascara_{};
};

// The keys' terminal in non-canonical mode without echo (signals still come from
// Ctrl-C), restored when this ends, whichever way the panel ends.
class ModoDeTeclas {
public:
    explicit ModoDeTeclas(int fd) : fd_(fd) {
        if (fd_ < 0 || tcgetattr(fd_, &antigo_) != 0) {
            fd_ = -1;
            return;
        }
        termios novo = antigo_;
        novo.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
        novo.c_cc[VMIN] = 0;
        novo.c_cc[VTIME] = 0;
        if (tcsetattr(fd_, TCSANOW, &novo) != 0) fd_ = -1;
    }
    ~ModoDeTeclas() {
        if (fd_ >= 0) tcsetattr(fd_, TCSANOW, &antigo_);
    }
    ModoDeTeclas(const ModoDeTeclas&) = delete;
    ModoDeTeclas& operator=(const ModoDeTeclas&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
    termios antigo_{};
};

// What the keys read at once ask: 0 none, 1 to 9 a line, 10 the highlighted session,
// -1 quit, -2 the terminal is gone. A read that holds an escape sequence (arrows,
// function keys) is ignored whole, digits and all.
int tecla(int fd) {
    char lidas[64];
    const ssize_t n = read(fd, lidas, sizeof lidas);
    if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) return -2;
    if (n < 0) return 0;
    const std::string_view texto(lidas, static_cast<std::size_t>(n));
    if (texto.find('\x1b') != std::string_view::npos) return 0;
    int pedido = 0;
    for (const char c : texto) {
        if (c == 'q' || c == 'Q') return -1;
        if (c >= '1' && c <= '9') pedido = c - '0';
        if (c == '\n' || c == '\r') pedido = 10;
    }
    return pedido;
}

}  // namespace

std::string quadro(const std::string& painel, const std::deque<std::string>& registro, int linhas,
                   int largura, std::string_view cabecalho) {
    std::vector<std::string> partes;
    partes.push_back(caber(cabecalho.empty() ? "kivo \u00B7 atualiza a cada segundo \u00B7 Ctrl-C para sair" : cabecalho,
                           largura > 0 ? largura : 1 << 30));
    partes.emplace_back();
    std::string_view resto = painel;
    while (!resto.empty()) {
        const std::size_t fim = resto.find('\n');
        partes.emplace_back(resto.substr(0, fim));
        if (fim == std::string_view::npos) break;
        resto.remove_prefix(fim + 1);
    }
    std::vector<std::string> fim{""};
    if (registro.empty()) {
        fim.push_back(caber("  Nenhuma novidade desde que o painel abriu.", largura > 0 ? largura : 1 << 30));
    } else {
        fim.emplace_back("  Novidades:");
        // The newest news first, so that on a short screen the oldest are the ones left out.
        std::vector<std::vector<std::string>> blocos;
        for (auto n = registro.rbegin(); n != registro.rend(); ++n) {
            // Continuation lines start under the text, after the time.
            const std::vector<std::string> pedacos = quebrar(*n, largura > 6 ? largura - 4 : 0);
            std::vector<std::string>& bloco = blocos.emplace_back();
            for (std::size_t i = 0; i < pedacos.size(); ++i) bloco.push_back((i == 0 ? "  " : "    ") + pedacos[i]);
        }
        std::size_t total = fim.size();
        for (const auto& b : blocos) total += b.size();
        while (linhas > 0 && blocos.size() > 1 && partes.size() + total > static_cast<std::size_t>(linhas)) {
            total -= blocos.back().size();
            blocos.pop_back();
        }
        for (auto b = blocos.rbegin(); b != blocos.rend(); ++b) fim.insert(fim.end(), b->begin(), b->end());
    }
    // Still too tall: the panel gives up its last lines before the news does.
    if (linhas > 0 && partes.size() + fim.size() > static_cast<std::size_t>(linhas)) {
        const std::size_t cabem = static_cast<std::size_t>(linhas);
        if (fim.size() >= cabem) {
            fim.erase(fim.begin(), fim.end() - static_cast<std::ptrdiff_t>(cabem));
            partes.clear();
        } else {
            partes.resize(std::min(partes.size(), cabem - fim.size()));
        }
    }
    partes.insert(partes.end(), fim.begin(), fim.end());

    // Each line is cleared before it is written: clearing after it would take the last
    // column of a line as wide as the terminal (the cursor stays on it, no wrap).
    std::string texto = "\x1b[H";
    for (std::size_t i = 0; i < partes.size(); ++i) {
        if (i > 0) texto += '\n';
        texto += "\x1b[K";
        texto += partes[i];
    }
    texto += "\x1b[J";
    return texto;
}

int seguirPainel(const OpcoesSeguir& opcoes) {
    parar = 0;
    const Sinais sinais;
    Notificacoes notificacoes = Notificacoes::doSistema();
    notificacoes.agirCom(opcoes.kivo);
    OpcoesPainel opcoesPainel{opcoes.cores, processoExiste, 0, opcoes.todas};
    Acompanhamento acompanhamento;
    Avisos avisos(opcoes.avisos, opcoes.memoria, opcoes.olhando);
    double ultimaLimpeza = -intervaloDeLimpeza;
    std::deque<std::string> registro;
    std::string ultimo;
    const ModoDeTeclas modo(opcoes.terminal && opcoes.ir ? opcoes.teclas : -1);
    opcoesPainel.numerar = modo.fd() >= 0;
    const auto anotar = [&](std::string linha) {
        registro.push_back(std::move(linha));
        if (registro.size() > registroMaximo) registro.pop_front();
    };
    Resumo visto;  // what the lines show, for the keys
    std::vector<Sessao> sessoes;
    Remotas remotas;  // other machines' sessions among them
    opcoesPainel.remotas = &remotas;
    double lidoEm = 0;

    bool ok = !opcoes.terminal || escreverTudo(opcoes.saida, entrarNaTela);
    bool primeira = true;
    while (ok && !parar) {
        const double agora = relogio();
        if (!opcoes.todas && !(agora - ultimaLimpeza < intervaloDeLimpeza)) {
            limpar(opcoes.pasta, agora, processoExiste, false);
            ultimaLimpeza = agora;
        }
        const Tamanho tamanho = opcoes.terminal ? tamanhoDoTerminal(opcoes.saida) : Tamanho{};
        opcoesPainel.largura = tamanho.colunas;
        Espelhadas lidas = lerComEspelhos(opcoes.pasta, agora);
        sessoes = std::move(lidas.sessoes);
        remotas = std::move(lidas.remotas);
        lidoEm = agora;
        ultimo = desenharPainel(sessoes, agora, opcoesPainel, lerConsumos(pastaDoConsumo(opcoes.pasta), sessoes));
        visto = vista(sessoes, agora, processoExiste, opcoes.todas);
        const std::vector<std::string> distintos = nomesDistintos(visto.ordenadas);
        std::map<std::string, std::string> nomes;  // by id, when two would read the same
        for (std::size_t i = 0; i < visto.ordenadas.size(); ++i) nomes.emplace(visto.ordenadas[i].id, distintos[i]);

        notificacoes.colher();
        bool sino = false;
        const std::vector<Novidade> novas = acompanhamento.ler(sessoes);
        const std::vector<Novidade> avisar = avisos.escolher(sessoes, novas, agora);
        for (const Novidade& novidade : novas) {
            const Aviso aviso = avisoDe(novidade, nomes[novidade.sessao.id]);
            std::string linha = hora(agora) + "  " + aviso.titulo + ": " + aviso.corpo;
            if (!opcoes.terminal) ok = ok && escreverTudo(opcoes.saida, "  " + linha + "\n");
            anotar(std::move(linha));
            if (std::find(avisar.begin(), avisar.end(), novidade) != avisar.end() &&
                !notificacoes.enviar(aviso, novidade.sessao.id)) {
                sino = true;
            }
        }
        if (opcoes.terminal) {
            std::string tela = quadro(ultimo, registro, tamanho.linhas, tamanho.colunas,
                                      modo.fd() >= 0 ? cabecalhoComTeclas : std::string_view());
            if (sino) tela += '\a';
            ok = ok && escreverTudo(opcoes.saida, tela);
        } else if (primeira) {
            ok = ok && escreverTudo(opcoes.saida, ultimo);
        }
        primeira = false;
        if (!ok || parar) break;
        if (!sinais.esperar(1, modo.fd())) continue;
        const int pedido = tecla(modo.fd());
        if (pedido < 0) break;
        if (pedido == 0) continue;
        const Sessao* alvo = nullptr;
        if (pedido == 10) {
            if (visto.destaque) alvo = &*visto.destaque;
        } else if (static_cast<std::size_t>(pedido) <= visto.ordenadas.size()) {
            alvo = &visto.ordenadas[static_cast<std::size_t>(pedido) - 1];
        }
        if (!alvo) {
            anotar(hora(relogio()) + "  Nenhuma sess\u00E3o " +
                   (pedido == 10 ? std::string("destacada") : "na linha " + std::to_string(pedido)) + ".");
            continue;
        }
        const Ida ida = opcoes.ir(*alvo, nomes[alvo->id]);
        anotar(hora(relogio()) + "  " + ida.mensagem);
    }
    notificacoes.colher();
    if (opcoes.terminal) {
        // Back on the normal screen, the last panel stays behind for the user.
        escreverTudo(opcoes.saida, sairDaTela);
        // What stays behind takes no keys: no numbers there.
        if (opcoesPainel.numerar) {
            opcoesPainel.numerar = false;
            ultimo = desenharPainel(sessoes, lidoEm, opcoesPainel, lerConsumos(pastaDoConsumo(opcoes.pasta), sessoes));
        }
        escreverTudo(opcoes.saida, ultimo);
    }
    return 0;
}

}  // namespace kivo::app
