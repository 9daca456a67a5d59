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

std::string formato(std::initializer_list<std::string_view> nomes) {
    std::string f;
    for (const std::string_view n : nomes) {
        if (!f.empty()) f += separador;
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

std::vector<PainelTmux> Tmux::paineis(const std::string& soquete) const {
    std::vector<PainelTmux> lista;
    const auto saida = rodar(soquete, {"list-panes", "-a", "-F",
                                       formato({"session_name", "window_id", "window_index", "pane_index", "pane_id",
                                                "pane_pid"})});
    if (!saida) return lista;
    for (const std::string_view l : linhas(*saida)) {
        const auto c = campos(l);
        if (c.size() != 6) continue;
        lista.push_back({soquete, std::string(c[0]), std::string(c[1]), numero<int>(c[2]), numero<int>(c[3]),
                         std::string(c[4]), numero<pid_t>(c[5])});
    }
    return lista;
}

std::vector<ClienteTmux> Tmux::clientes(const std::string& soquete) const {
    std::vector<ClienteTmux> lista;
    const auto saida =
        rodar(soquete, {"list-clients", "-F", formato({"client_name", "pane_id", "client_activity", "client_flags"})});
    if (!saida) return lista;
    for (const std::string_view l : linhas(*saida)) {
        const auto c = campos(l);
        if (c.size() != 4) continue;
        ClienteTmux cliente{std::string(c[0]), std::string(c[1]), numero<long long>(c[2])};
        std::string_view flags = c[3];
        while (!flags.empty()) {
            const std::size_t v = flags.find(',');
            const std::string_view f = flags.substr(0, v);
            if (f == "attached") cliente.anexado = true;
            if (f == "focused") cliente.focado = true;
            flags.remove_prefix(v == std::string_view::npos ? flags.size() : v + 1);
        }
        lista.push_back(std::move(cliente));
    }
    return lista;
}

std::optional<PainelTmux> Tmux::painelDe(const std::vector<pid_t>& linhagem,
                                         const std::vector<std::string>& servidores) const {
    for (const std::string& soquete : servidores) {
        const std::vector<PainelTmux> todos = paineis(soquete);
        for (const pid_t p : linhagem) {
            const auto achado = std::find_if(todos.begin(), todos.end(), [p](const PainelTmux& x) { return x.pid == p; });
            if (achado != todos.end()) return *achado;
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

std::optional<ClienteTmux> Tmux::clienteMaisRecente(const std::string& soquete) const {
    std::optional<ClienteTmux> escolhido;
    for (ClienteTmux& c : clientes(soquete)) {
        if (c.anexado && (!escolhido || c.atividade > escolhido->atividade)) escolhido = std::move(c);
    }
    return escolhido;
}

bool Tmux::mover(const std::string& cliente, const PainelTmux& painel) const {
    return rodar(painel.soquete, {"switch-client", "-c", cliente, "-t", painel.id, ";", "select-window", "-t",
                                  painel.janela, ";", "select-pane", "-t", painel.id})
        .has_value();
}

std::set<std::pair<std::string, std::string>> Tmux::olhados(const std::vector<std::string>& servidores) const {
    std::set<std::pair<std::string, std::string>> vistos;
    for (const std::string& soquete : servidores) {
        for (const ClienteTmux& c : clientes(soquete)) {
            if (c.anexado && c.focado) vistos.emplace(soquete, c.painel);
        }
    }
    return vistos;
}

}  // namespace kivo::app
