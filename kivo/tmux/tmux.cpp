#include "tmux/tmux.hpp"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <string_view>

#include "base/processo.hpp"

namespace kivo::app {

namespace {

// Fields of one line of a format, separated by a byte no name contains.
constexpr char separador = '\x1f';

std::vector<std::string_view> campos(std::string_view linha) {
    std::vector<std::string_view> partes;
    for (;;) {
        const std::size_t s = linha.find(separador);
        partes.push_back(linha.substr(0, s));
        if (s == std::string_view::npos) return partes;
        linha.remove_prefix(s + 1);
    }
}

std::vector<std::string_view> linhas(std::string_view texto) {
    std::vector<std::string_view> todas;
    while (!texto.empty()) {
        const std::size_t fim = texto.find('\n');
        if (fim != 0) todas.push_back(texto.substr(0, fim));
        if (fim == std::string_view::npos) break;
        texto.remove_prefix(fim + 1);
    }
    return todas;
}

template <class N>
N numero(std::string_view texto) {
    N n{};
    std::from_chars(texto.data(), texto.data() + texto.size(), n);
    return n;
}

// The fields `nomes`, each after the separator.
std::string formato(std::initializer_list<std::string_view> nomes) {
    std::string f;
    for (const std::string_view n : nomes) {
        f += separador;
        f += "#{";
        f += n;
        f += "}";
    }
    return f;
}

}  // namespace

std::vector<std::string> servidoresDoTmux(const char* tmux, const char* tmpdir, uid_t uid) {
    std::vector<std::string> soquetes;
    if (tmux && *tmux) {
        const std::string_view t = tmux;
        soquetes.emplace_back(t.substr(0, t.find(',')));
    }
    const std::string pasta = std::string(tmpdir && *tmpdir ? tmpdir : "/tmp") + "/tmux-" + std::to_string(uid);
    std::vector<std::string> achados;
    if (DIR* d = opendir(pasta.c_str())) {
        while (const dirent* e = readdir(d)) {
            const std::string caminho = pasta + "/" + e->d_name;
            struct stat st {};
            if (lstat(caminho.c_str(), &st) == 0 && S_ISSOCK(st.st_mode) && st.st_uid == uid) achados.push_back(caminho);
        }
        closedir(d);
    }
    std::sort(achados.begin(), achados.end());
    for (std::string& a : achados) {
        if (std::find(soquetes.begin(), soquetes.end(), a) == soquetes.end()) soquetes.push_back(std::move(a));
    }
    return soquetes;
}

std::optional<std::string> Tmux::rodar(const std::string& soquete, const std::vector<std::string>& argumentos) const {
    std::vector<std::string> args{"-S", soquete};
    args.insert(args.end(), argumentos.begin(), argumentos.end());
    const std::optional<Execucao> e = executar(programa_, args, prazoDoTmux);
    if (!e || e->status != 0) return std::nullopt;
    return e->saida;
}

ServidorTmux Tmux::consultar(const std::string& soquete) const {
    ServidorTmux servidor;
    // Each line says what it is by its first field: "p" for a pane, "c" for a client.
    const auto saida = rodar(soquete, {"list-panes", "-a", "-F",
                                       "p" + formato({"session_name", "window_id", "window_index", "pane_index",
                                                      "pane_id", "pane_pid"}),
                                       ";", "list-clients", "-F",
                                       "c" + formato({"client_name", "pane_id", "client_activity", "client_flags"})});
    if (!saida) return servidor;
    for (const std::string_view l : linhas(*saida)) {
        const auto c = campos(l);
        if (c.size() == 7 && c[0] == "p") {
            servidor.paineis.push_back({soquete, std::string(c[1]), std::string(c[2]), numero<int>(c[3]),
                                        numero<int>(c[4]), std::string(c[5]), numero<pid_t>(c[6])});
        } else if (c.size() == 5 && c[0] == "c") {
            ClienteTmux cliente{std::string(c[1]), std::string(c[2]), numero<long long>(c[3])};
            std::string_view flags = c[4];
            while (!flags.empty()) {
                const std::size_t v = flags.find(',');
                const std::string_view f = flags.substr(0, v);
                if (f == "attached") cliente.anexado = true;
                if (f == "focused") cliente.focado = true;
                flags.remove_prefix(v == std::string_view::npos ? flags.size() : v + 1);
            }
            servidor.clientes.push_back(std::move(cliente));
        }
    }
    return servidor;
}

std::optional<PainelAchado> Tmux::painelDe(const std::vector<pid_t>& linhagem,
                                           const std::vector<std::string>& servidores) const {
    for (const std::string& soquete : servidores) {
        ServidorTmux s = consultar(soquete);
        for (const pid_t p : linhagem) {
            const auto achado =
                std::find_if(s.paineis.begin(), s.paineis.end(), [p](const PainelTmux& x) { return x.pid == p; });
            if (achado != s.paineis.end()) return PainelAchado{*achado, std::move(s.clientes)};
        }
    }
    return std::nullopt;
}

std::string Tmux::clienteAtual(const std::string& soquete) const {
    const auto saida = rodar(soquete, {"display-message", "-p", "#{client_name}"});
    if (!saida) return "";
    std::string nome = *saida;
    while (!nome.empty() && (nome.back() == '\n' || nome.back() == '\r')) nome.pop_back();
    return nome;
}

std::optional<ClienteTmux> clienteMaisRecente(const std::vector<ClienteTmux>& clientes) {
    std::optional<ClienteTmux> escolhido;
    for (const ClienteTmux& c : clientes) {
        if (c.anexado && (!escolhido || c.atividade > escolhido->atividade)) escolhido = c;
    }
    return escolhido;
}

bool Tmux::mover(const std::string& cliente, const PainelTmux& painel) const {
    return rodar(painel.soquete, {"switch-client", "-c", cliente, "-t", painel.id, ";", "select-window", "-t",
                                  painel.janela, ";", "select-pane", "-t", painel.id})
        .has_value();
}

}  // namespace kivo::app
