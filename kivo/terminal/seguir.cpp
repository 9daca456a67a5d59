#include "terminal/seguir.hpp"

#include <signal.h>
#include <sys/select.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <string_view>

#include "apresentacao/limpar.hpp"
#include "apresentacao/registros.hpp"
#include "base/descritor.hpp"
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

    // Sleeps up to `segundos`, or until a signal arrives.
    void esperar(long segundos) const {
        timespec espera{segundos, 0};
        pselect(0, nullptr, nullptr, nullptr, &espera, &mascara_);
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

}  // namespace

std::string quadro(const std::string& painel, const std::deque<std::string>& registro, int linhas,
                   int largura) {
    std::vector<std::string> partes;
    partes.push_back(caber("kivo \u00B7 atualiza a cada segundo \u00B7 Ctrl-C para sair", largura > 0 ? largura : 1 << 30));
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
    OpcoesPainel opcoesPainel{opcoes.cores, processoExiste, 0, opcoes.todas};
    Acompanhamento acompanhamento;
    double ultimaLimpeza = -intervaloDeLimpeza;
    std::deque<std::string> registro;
    std::string ultimo;

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
        const std::vector<Sessao> sessoes = lerRegistros(opcoes.pasta);
        ultimo = desenharPainel(sessoes, agora, opcoesPainel, lerConsumos(pastaDoConsumo(opcoes.pasta), sessoes));

        notificacoes.colher();
        bool sino = false;
        const std::vector<Novidade> novas = acompanhamento.ler(sessoes);
        std::map<std::string, std::string> nomes;  // by id, when two would read the same
        if (!novas.empty()) {
            const std::vector<Sessao> vistas = vista(sessoes, agora, processoExiste, opcoes.todas).ordenadas;
            const std::vector<std::string> distintos = nomesDistintos(vistas);
            for (std::size_t i = 0; i < vistas.size(); ++i) nomes.emplace(vistas[i].id, distintos[i]);
        }
        for (const Novidade& novidade : novas) {
            const Aviso aviso = avisoDe(novidade, nomes[novidade.sessao.id]);
            std::string linha = hora(agora) + "  " + aviso.titulo + ": " + aviso.corpo;
            if (!opcoes.terminal) ok = ok && escreverTudo(opcoes.saida, "  " + linha + "\n");
            registro.push_back(std::move(linha));
            if (registro.size() > registroMaximo) registro.pop_front();
            if (!notificacoes.enviar(aviso)) sino = true;
        }
        if (opcoes.terminal) {
            std::string tela = quadro(ultimo, registro, tamanho.linhas, tamanho.colunas);
            if (sino) tela += '\a';
            ok = ok && escreverTudo(opcoes.saida, tela);
        } else if (primeira) {
            ok = ok && escreverTudo(opcoes.saida, ultimo);
        }
        primeira = false;
        if (!ok || parar) break;
        sinais.esperar(1);
    }
    notificacoes.colher();
    if (opcoes.terminal) {
        // Back on the normal screen, the last panel stays behind for the user.
        escreverTudo(opcoes.saida, sairDaTela);
        escreverTudo(opcoes.saida, ultimo);
    }
    return 0;
}

}  // namespace kivo::app
