#include "espelho/espelhar.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <nlohmann/json.hpp>
#include <optional>

#include "apresentacao/apresentacao.hpp"
#include "apresentacao/espelho.hpp"
#include "base/processo.hpp"
#include "base/texto.hpp"
#include "espelho/transmitir.hpp"

namespace kivo::app {

namespace {

using Json = nlohmann::json;

constexpr double kEsperaMaxima = 60;
// What is kept of what ssh says on its error stream: its last line, this long.
constexpr std::size_t kErrosGuardados = 4096;

int sinalPipe[2] = {-1, -1};

extern "C" void aoSinal(int) {
    const int salvo = errno;
    const char c = 1;
    [[maybe_unused]] const auto n = write(sinalPipe[1], &c, 1);
    errno = salvo;
}

std::string plural(std::size_t n, std::string_view um, std::string_view varios) {
    return std::to_string(n) + " " + std::string(n == 1 ? um : varios);
}

// One machine: its ssh child, what came from it, and what the views are told.
struct Ligacao {
    Maquina maquina;
    std::string alvo;          // as the user wrote it
    pid_t filho = -1;
    int saida = -1;
    int erros = -1;
    std::string linha;         // an unfinished line of its output
    std::string ultimoErro;    // ssh's last line on its error stream
    bool cabecalho = false;    // the stream's first line came, and was right
    bool recebeu = false;      // a full set of records came on this connection
    double ultimaLinha = 0;    // steady seconds
    double proxima = 0;        // the next attempt, steady seconds
    double espera = 1;         // and the one after, seconds later
    std::string motivo;        // why the connection ended, set before it does
};

double segundosFirmes() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void fechar(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
}

class Espelho {
public:
    explicit Espelho(const OpcoesEspelhar& o) : o_(o), relogio_(o.relogio ? o.relogio : std::function<double()>(relogio)) {
        for (const std::string& m : o.maquinas) {
            Ligacao l;
            l.alvo = m;
            l.maquina.nome = limpo(m);
            l.maquina.programa = o.remoto;
            ligacoes_.push_back(std::move(l));
        }
    }

    int rodar() {
        for (Ligacao& l : ligacoes_) gravar(l);
        for (;;) {
            const double agora = segundosFirmes();
            double proxima = agora + 3600;
            for (Ligacao& l : ligacoes_) {
                if (l.filho < 0 && agora >= l.proxima) conectar(l);
                if (l.filho < 0) {
                    proxima = std::min(proxima, l.proxima);
                } else if (l.cabecalho) {
                    proxima = std::min(proxima, l.ultimaLinha + kSilencioMaximo);
                } else {
                    proxima = std::min(proxima, l.ultimaLinha + 30);  // ssh's own connect timeout is longer
                }
            }
            std::vector<pollfd> fds{{sinalPipe[0], POLLIN, 0}};
            for (const Ligacao& l : ligacoes_) {
                if (l.saida >= 0) fds.push_back({l.saida, POLLIN, 0});
                if (l.erros >= 0) fds.push_back({l.erros, POLLIN, 0});
            }
            const double falta = std::max(0.0, proxima - segundosFirmes());
            const int r = poll(fds.data(), fds.size(), static_cast<int>(std::ceil(falta * 1000)));
            if (r < 0 && errno != EINTR) break;
            if (fds[0].revents) break;
            for (Ligacao& l : ligacoes_) {
                if (l.erros >= 0) lerErros(l);
                if (l.saida >= 0) lerSaida(l);
                const double t = segundosFirmes();
                if (l.filho >= 0 && l.saida >= 0 && l.motivo.empty()) {
                    const double limite = l.cabecalho ? kSilencioMaximo : 30;
                    if (t - l.ultimaLinha > limite) l.motivo = "sem resposta h\u00E1 " + std::to_string(int(limite)) + " s";
                }
                if (l.filho >= 0 && (l.saida < 0 || !l.motivo.empty())) terminar(l);
            }
        }
        for (Ligacao& l : ligacoes_) {
            if (l.filho >= 0) {
                l.motivo = "kivo espelhar parou";
                terminar(l, false);
            } else {
                l.maquina.aviso = "kivo espelhar parou";
                gravar(l);
            }
        }
        return 0;
    }

private:
    void dizer(const Ligacao& l, const std::string& texto) {
        if (!o_.mensagens) return;
        std::fprintf(o_.mensagens, "%s: %s\n", l.maquina.nome.c_str(), limpo(texto).c_str());
        std::fflush(o_.mensagens);
    }

    void gravar(Ligacao& l) {
        gravarMaquina(o_.espelhos, l.maquina);
    }

    void conectar(Ligacao& l) {
        const std::vector<std::string> linha = linhaDeComando(o_, l.alvo);
        Saidas saidas;
        const std::vector<std::string> argumentos(linha.begin() + 1, linha.end());
        const auto filho = iniciarFilho(linha[0], argumentos, {.isolado = true, .capturar = &saidas});
        l.linha.clear();
        l.ultimoErro.clear();
        l.cabecalho = false;
        l.recebeu = false;
        l.motivo.clear();
        l.ultimaLinha = segundosFirmes();
        if (!filho) {
            l.motivo = "n\u00E3o consegui rodar " + linha[0];
            desconectado(l, std::nullopt);
            return;
        }
        l.filho = *filho;
        l.saida = saidas.saida;
        l.erros = saidas.erros;
    }

    void lerErros(Ligacao& l) {
        char b[4096];
        for (;;) {
            const ssize_t n = read(l.erros, b, sizeof b);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return;  // nothing more now
            if (n == 0) {
                fechar(l.erros);
                return;
            }
            l.ultimoErro.append(b, static_cast<std::size_t>(n));
            if (l.ultimoErro.size() > 2 * kErrosGuardados) l.ultimoErro.erase(0, l.ultimoErro.size() - kErrosGuardados);
        }
    }

    void lerSaida(Ligacao& l) {
        char b[65536];
        for (;;) {
            const ssize_t n = read(l.saida, b, sizeof b);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return;
            if (n == 0) {
                fechar(l.saida);
                return;
            }
            std::string_view novo(b, static_cast<std::size_t>(n));
            while (!novo.empty() && l.motivo.empty()) {
                const std::size_t fim = novo.find('\n');
                if (fim == std::string_view::npos) {
                    l.linha.append(novo);
                    if (l.linha.size() > kLinhaMaxima) {
                        l.motivo = "mandou uma linha de mais de " + std::to_string(kLinhaMaxima / (1024 * 1024)) +
                                   " MiB; desconectei";
                        l.linha.clear();
                        l.linha.shrink_to_fit();
                    }
                    break;
                }
                l.linha.append(novo.substr(0, fim));
                novo.remove_prefix(fim + 1);
                if (l.linha.size() > kLinhaMaxima) {
                    l.motivo = "mandou uma linha de mais de " + std::to_string(kLinhaMaxima / (1024 * 1024)) +
                               " MiB; desconectei";
                } else {
                    receber(l, l.linha);
                }
                l.linha.clear();
                if (l.linha.capacity() > 65536) l.linha.shrink_to_fit();
            }
            if (!l.motivo.empty()) return;
        }
    }

    void receber(Ligacao& l, std::string_view texto) {
        l.ultimaLinha = segundosFirmes();
        const double agora = relogio_();
        if (!l.cabecalho) {
            const Json j = Json::parse(texto, nullptr, false);
            const bool nosso = j.is_object() && j.contains("kivo") && j["kivo"] == "espelho";
            if (!nosso) {
                l.motivo = "o que respondeu n\u00E3o \u00E9 o kivo transmitir";
                return;
            }
            if (!j.contains("versao") || !j["versao"].is_number_integer() || j["versao"] != kVersaoDoEspelho) {
                const std::string versao = j.contains("versao") ? j["versao"].dump() : "?";
                l.motivo = "o kivo de l\u00E1 fala a vers\u00E3o " + versao + " do espelho e este, a " +
                           std::to_string(kVersaoDoEspelho) + ": instale a mesma vers\u00E3o do kivo nas duas m\u00E1quinas";
                return;
            }
            l.cabecalho = true;
            return;
        }
        const Json j = Json::parse(texto, nullptr, false);
        const auto relogioDeLa = j.is_object() ? j.find("agora") : j.end();
        if (relogioDeLa == j.end() || !relogioDeLa->is_number() || !std::isfinite(relogioDeLa->get<double>())) {
            l.motivo = "mandou uma linha que n\u00E3o entendi";
            return;
        }
        // Their clock onto ours: the time a line takes over ssh is small beside
        // the ages shown (minutes), and a clock minutes or hours off is not.
        const double diferenca = agora - relogioDeLa->get<double>();
        const bool estava = l.maquina.conectado && l.recebeu;
        if (j.contains("sessoes")) {
            std::optional<Conjunto> c = lerConjunto(texto);
            if (!c) {
                l.motivo = "mandou uma linha que n\u00E3o entendi";
                return;
            }
            for (Sessao& s : c->sessoes) {
                s.atualizado += diferenca;
                s.mudouEstadoEm += diferenca;
            }
            const bool mudouQuantas = !l.recebeu || c->sessoes.size() != l.maquina.sessoes.size();
            l.maquina.sessoes = std::move(c->sessoes);
            l.maquina.vivos = std::move(c->vivos);
            l.recebeu = true;
            if (!estava || mudouQuantas) dizer(l, plural(l.maquina.sessoes.size(), "sess\u00E3o", "sess\u00F5es"));
        } else if (!l.recebeu) {
            l.motivo = "mandou uma linha que n\u00E3o entendi";
            return;
        }
        l.maquina.contato = agora;
        l.maquina.conectado = true;
        l.maquina.aviso.clear();
        l.espera = 1;
        gravar(l);
    }

    // Ends the connection (its child, its pipes), with l.motivo or what the child
    // said when it ended.
    void terminar(Ligacao& l, bool deNovo = true) {
        std::optional<int> status;
        if (l.motivo.empty()) {
            // Its output ended: ssh exits right after, unless the other side keeps
            // the channel open with its output closed.
            for (int i = 0; i < 40 && !(status = statusDoFilho(l.filho)); ++i) usleep(50 * 1000);
        }
        if (!status) {
            kill(-l.filho, SIGTERM);  // its group: ssh and what it started (a ProxyCommand)
            int s = 0;
            for (int i = 0; i < 40 && waitpid(l.filho, &s, WNOHANG) == 0; ++i) usleep(25 * 1000);
            if (waitpid(l.filho, &s, WNOHANG) == 0) {
                kill(-l.filho, SIGKILL);
                waitpid(l.filho, &s, 0);
            }
        }
        if (l.erros >= 0) lerErros(l);
        fechar(l.saida);
        fechar(l.erros);
        l.filho = -1;
        desconectado(l, status, deNovo);
    }

    void desconectado(Ligacao& l, std::optional<int> status, bool deNovo = true) {
        std::string motivo = l.motivo;
        std::string ultima = l.ultimoErro;
        while (!ultima.empty() && (ultima.back() == '\n' || ultima.back() == '\r')) ultima.pop_back();
        if (const std::size_t q = ultima.rfind('\n'); q != std::string::npos) ultima.erase(0, q + 1);
        if (motivo.empty() && status == 127) {
            motivo = "n\u00E3o achei " + o_.remoto + " l\u00E1 (indique o caminho com --kivo-remoto)";
        } else if (motivo.empty() && !l.cabecalho && status && *status != 255) {
            motivo = "o kivo de l\u00E1 n\u00E3o conhece \"transmitir\": atualize-o";
            if (!ultima.empty()) motivo += " (" + ultima + ")";
        } else if (motivo.empty()) {
            motivo = ultima.empty() ? "a conex\u00E3o caiu" : ultima;
        }
        if (motivo.size() > kTextoExibido) motivo.resize(kTextoExibido);
        l.maquina.conectado = false;
        l.maquina.aviso = limpo(motivo);
        l.motivo.clear();
        gravar(l);
        if (!deNovo) return;
        l.proxima = segundosFirmes() + l.espera;
        dizer(l, "sem contato (" + l.maquina.aviso + "); nova tentativa em " + std::to_string(int(l.espera)) + " s");
        l.espera = std::min(l.espera * 2, kEsperaMaxima);
    }

    const OpcoesEspelhar& o_;
    std::function<double()> relogio_;
    std::vector<Ligacao> ligacoes_;
};

}  // namespace

std::vector<std::string> comandoSsh(const char* kivoSsh) {
    std::vector<std::string> palavras;
    std::string_view resto = kivoSsh ? kivoSsh : "";
    while (!resto.empty()) {
        const std::size_t espaco = resto.find(' ');
        if (const std::string_view p = resto.substr(0, espaco); !p.empty()) palavras.emplace_back(p);
        resto.remove_prefix(espaco == std::string_view::npos ? resto.size() : espaco + 1);
    }
    if (palavras.empty()) palavras.emplace_back("ssh");
    return palavras;
}

std::vector<std::string> linhaDeComando(const OpcoesEspelhar& o, std::string_view maquina) {
    std::vector<std::string> linha = o.ssh.empty() ? std::vector<std::string>{"ssh"} : o.ssh;
    for (const char* opcao : {"-o", "BatchMode=yes", "-o", "ServerAliveInterval=15", "-o", "ServerAliveCountMax=3",
                              "-T", "--"}) {
        linha.emplace_back(opcao);
    }
    linha.emplace_back(maquina);
    linha.push_back(entreAspas(o.remoto) + " transmitir");
    return linha;
}

std::optional<pid_t> iniciarEspelho(const std::string& kivo, const std::vector<std::string>& maquinas) {
    std::vector<std::string> argumentos{"espelhar", "--com-pai", "--"};
    argumentos.insert(argumentos.end(), maquinas.begin(), maquinas.end());
    return iniciarFilho(kivo, argumentos, {.isolado = true});
}

void pararEspelho(pid_t filho) {
    kill(filho, SIGTERM);
    int status = 0;
    while (waitpid(filho, &status, 0) < 0 && errno == EINTR) {
    }
}

int espelhar(const OpcoesEspelhar& o) {
    for (const std::string& m : o.maquinas) {
        if (m.empty()) return 2;
    }
#ifdef __linux__
    if (o.comPai) {
        const pid_t pai = getppid();
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != pai) return 0;  // it died before the line above
    }
#endif
    if (pipe2(sinalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return 1;
    struct sigaction acao {}, antigas[3];
    acao.sa_handler = aoSinal;
    sigemptyset(&acao.sa_mask);
    const int sinais[3] = {SIGINT, SIGTERM, SIGHUP};
    for (int i = 0; i < 3; ++i) sigaction(sinais[i], &acao, &antigas[i]);
    signal(SIGPIPE, SIG_IGN);
    int r = 0;
    {
        Espelho espelho(o);
        r = espelho.rodar();
    }
    for (int i = 0; i < 3; ++i) sigaction(sinais[i], &antigas[i], nullptr);
    fechar(sinalPipe[0]);
    fechar(sinalPipe[1]);
    return r;
}

}  // namespace kivo::app
