#include "instalar/programas.hpp"

#include <unistd.h>

#include <cstring>
#include <system_error>

namespace kivo::app {

namespace fs = std::filesystem;

std::optional<std::vector<std::string>> palavrasDoShell(std::string_view w) {
    std::vector<std::string> lista;
    std::string palavra;
    bool dentro = false;  // inside a word
    for (std::size_t i = 0; i < w.size(); ++i) {
        const char c = w[i];
        if (c == ' ' || c == '\t' || c == '\n') {
            if (dentro) lista.push_back(std::move(palavra));
            palavra.clear();
            dentro = false;
            continue;
        }
        dentro = true;
        if (c == '\'') {
            const std::size_t f = w.find('\'', i + 1);
            if (f == std::string_view::npos) return std::nullopt;
            palavra.append(w.substr(i + 1, f - i - 1));
            i = f;
        } else if (c == '"') {
            std::size_t j = i + 1;
            for (; j < w.size() && w[j] != '"'; ++j) {
                if (w[j] == '$' || w[j] == '`') return std::nullopt;
                if (w[j] == '\\' && j + 1 < w.size() && std::strchr("\"\\$`", w[j + 1]) != nullptr) ++j;
                palavra += w[j];
            }
            if (j >= w.size()) return std::nullopt;
            i = j;
        } else if (c == '\\') {
            if (i + 1 >= w.size()) return std::nullopt;
            palavra += w[++i];
        } else if (std::strchr(";&|<>()$`*?[]{}~#!", c) != nullptr) {
            return std::nullopt;
        } else {
            palavra += c;
        }
    }
    if (dentro) lista.push_back(std::move(palavra));
    return lista;
}

bool terminaEm(std::string_view caminho, std::string_view nome) {
    const std::size_t barra = caminho.rfind('/');
    return caminho.substr(barra == std::string_view::npos ? 0 : barra + 1) == nome;
}

fs::path executavelInvocado(std::string_view argv0, const char* path, const fs::path& resolvido) {
    if (argv0.empty()) return resolvido;
    std::error_code erro;
    fs::path invocado;
    if (argv0.find('/') != std::string_view::npos) {
        invocado = fs::absolute(fs::path(argv0), erro).lexically_normal();
        if (erro) return resolvido;
    } else {
        std::string_view resto = path ? path : "";
        while (!resto.empty() && invocado.empty()) {
            const std::size_t dois = resto.find(':');
            const std::string_view pasta = resto.substr(0, dois);
            resto.remove_prefix(dois == std::string_view::npos ? resto.size() : dois + 1);
            if (pasta.empty() || pasta.front() != '/') continue;  // only absolute entries
            const fs::path candidato = fs::path(pasta) / fs::path(argv0);
            if (access(candidato.c_str(), X_OK) == 0) invocado = candidato.lexically_normal();
        }
    }
    if (invocado.empty() || !fs::is_regular_file(invocado.parent_path() / "kivo_gancho", erro)) return resolvido;
    return invocado;
}

bool noCacheDoNpx(std::string_view caminho) { return caminho.find("/_npx/") != std::string_view::npos; }

std::optional<std::string> localizarGancho(const std::optional<std::string>& dado,
                                           const fs::path& executavel, std::string& erro) {
    std::error_code ec;
    fs::path caminho;
    if (dado) {
        caminho = fs::absolute(*dado, ec).lexically_normal();
        if (ec) caminho = *dado;
    } else {
        caminho = executavel.parent_path() / "kivo_gancho";
    }
    const fs::file_status s = fs::status(caminho, ec);
    if (!fs::is_regular_file(s) || access(caminho.c_str(), X_OK) != 0) {
        erro = dado ? "kivo: " + caminho.string() + " n\u00E3o \u00E9 um arquivo execut\u00E1vel.\n"
                    : "kivo: n\u00E3o achei o kivo_gancho ao lado do kivo (" + caminho.string() +
                          "). Indique onde ele est\u00E1 com --gancho CAMINHO.\n";
        return std::nullopt;
    }
    return caminho.string();
}

}  // namespace kivo::app
