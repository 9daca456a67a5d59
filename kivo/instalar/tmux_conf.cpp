// kivo instalar --tmux: the key binding that runs `kivo ir`, added to and taken from
// ~/.tmux.conf with the settings file's guarantees (troca.hpp).
#include <unistd.h>

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/texto.hpp"
#include "caminhos.hpp"
#include "instalar/instalar.hpp"
#include "instalar/leitura.hpp"
#include "instalar/troca.hpp"

namespace kivo::app {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view marcadorDoTmux =
    "# kivo: prefixo e K levam ao agente que precisa de voc\u00EA (kivo ir)";
constexpr std::string_view inicioDaLigacao = "bind-key K run-shell ";

// The binding's line. A path tmux would read differently inside its quotes is left
// to the PATH.
std::string ligacaoDoTmux(const std::string& kivo) {
    const bool simples = !kivo.empty() && std::none_of(kivo.begin(), kivo.end(), [](char c) {
        return c == '\'' || c == '"' || c == '$' || c == '#' || c == '\\' || static_cast<unsigned char>(c) < 0x20;
    });
    return std::string(inicioDaLigacao) + "\"'" + (simples ? kivo : "kivo") + "' ir\"";
}

std::vector<std::string> linhasDe(const std::string& texto) {
    std::vector<std::string> linhas;
    std::size_t i = 0;
    while (i < texto.size()) {
        const std::size_t fim = texto.find('\n', i);
        const std::size_t ate = fim == std::string::npos ? texto.size() : fim + 1;
        linhas.push_back(texto.substr(i, ate - i));
        i = ate;
    }
    return linhas;
}

std::string semFim(std::string linha) {
    while (!linha.empty() && (linha.back() == '\n' || linha.back() == '\r')) linha.pop_back();
    return linha;
}

// Where our two lines are: the comment's index, or npos.
std::size_t nossas(const std::vector<std::string>& linhas) {
    for (std::size_t i = 0; i + 1 < linhas.size(); ++i) {
        if (semFim(linhas[i]) == marcadorDoTmux && semFim(linhas[i + 1]).starts_with(inicioDaLigacao)) return i;
    }
    return std::string::npos;
}

// The new text with our lines added or rewritten (instalando) or taken out, and the
// line that says so; nullopt when nothing changes. Throws FormaInvalida when K is the
// user's.
std::optional<std::pair<std::string, std::string>> editarTmux(const std::string& texto, const std::string& ligacao,
                                                              bool instalando, const std::string& onde) {
    std::vector<std::string> linhas = linhasDe(texto);
    const std::size_t i = nossas(linhas);
    std::string mudanca;
    if (!instalando) {
        if (i == std::string::npos) return std::nullopt;
        mudanca = "  - " + semFim(linhas[i + 1]) + "\n";
        linhas.erase(linhas.begin() + static_cast<std::ptrdiff_t>(i), linhas.begin() + static_cast<std::ptrdiff_t>(i + 2));
    } else if (i != std::string::npos) {
        if (semFim(linhas[i + 1]) == ligacao) return std::nullopt;
        linhas[i + 1] = ligacao + (linhas[i + 1].ends_with("\n") ? "\n" : "");
        mudanca = "  ~ " + ligacao + "\n";
    } else {
        for (std::size_t l = 0; l < linhas.size(); ++l) {
            const std::string t = semFim(linhas[l]);
            const std::string_view v = std::string_view(t).substr(std::min(t.find_first_not_of(" \t"), t.size()));
            if (v.starts_with("bind-key K ") || v.starts_with("bind K ")) {
                throw FormaInvalida("a tecla K j\u00E1 est\u00E1 ligada em " + onde + " (linha " + std::to_string(l + 1) +
                                    "); ligue `kivo ir` a outra tecla \u00E0 m\u00E3o, como no README");
            }
        }
        if (!linhas.empty() && !linhas.back().ends_with("\n")) linhas.back() += "\n";
        linhas.push_back(std::string(marcadorDoTmux) + "\n");
        linhas.push_back(ligacao + "\n");
        mudanca = "  + " + ligacao + "\n";
    }
    std::string novo;
    for (const std::string& l : linhas) novo += l;
    return std::make_pair(std::move(novo), std::move(mudanca));
}

Resultado executarTmux(const OpcoesInstalar& opcoes, bool instalando, bool calado) {
    Resultado r;
    const fs::path alvo = alvoDe(opcoes.arquivo);
    const std::string onde = limpo(opcoes.arquivo.string());
    try {
        for (int n = 1; n <= 5; ++n) {
            const Leitura antes = ler(alvo);
            const auto edicao = editarTmux(antes.texto, ligacaoDoTmux(opcoes.kivo), instalando, onde);
            if (!edicao) {
                if (instalando) r.saida = "Nada a mudar: a tecla K do tmux j\u00E1 leva ao agente (" + onde + ").\n";
                if (!instalando && !calado) r.saida = "Nada a remover: a tecla do kivo n\u00E3o est\u00E1 em " + onde + ".\n";
                return r;
            }
            const auto& [novo, mudanca] = *edicao;
            if (opcoes.mostrar) {
                r.saida = (instalando ? "Acrescentaria a " : "Tiraria de ") + onde + ":\n" + mudanca +
                          "Nada foi gravado (--mostrar).\n";
                return r;
            }
            conferirPermissao(alvo, antes);
            if (!antes.existe && alvo.has_parent_path()) {
                std::error_code erro;
                fs::create_directories(alvo.parent_path(), erro);
            }
            std::optional<fs::path> copia;
            if (antes.existe) copia = guardarCopia(alvo, antes, opcoes.agora);
            if (!substituir(alvo, novo, antes, opcoes.antesDeTrocar)) {
                if (copia) unlink(copia->c_str());
                continue;
            }
            r.saida = (instalando ? "Acrescentei a " + onde + " a tecla do `kivo ir`:\n"
                                  : "Tirei de " + onde + " a tecla do `kivo ir`:\n") +
                      mudanca +
                      (copia ? "C\u00F3pia do arquivo anterior: " + copia->string() + "\n"
                             : "N\u00E3o havia arquivo antes, ent\u00E3o n\u00E3o h\u00E1 c\u00F3pia.\n");
            if (instalando) {
                r.saida += "No tmux, o prefixo e K (Ctrl-b K) levam ao agente que precisa de voc\u00EA; para valer "
                           "j\u00E1: tmux source-file " + entreAspas(opcoes.arquivo.string()) + "\n";
            }
            return r;
        }
        throw FormaInvalida(alvo.string() + " mudou enquanto eu o gravava; rode o comando de novo");
    } catch (const FormaInvalida& e) {
        r.status = 1;
        r.saida.clear();
        r.erros = std::string("kivo: ") + e.what() + ".\nNada foi alterado em " + onde + ".\n";
    }
    return r;
}

}  // namespace

Resultado instalarTmux(const OpcoesInstalar& opcoes) { return executarTmux(opcoes, true, false); }

Resultado desinstalarTmux(const OpcoesInstalar& opcoes, bool calado) { return executarTmux(opcoes, false, calado); }

fs::path arquivoDoTmux(const char* xdg) {
    const fs::path casa = Caminhos::casa();
    std::vector<fs::path> candidatos{casa / ".tmux.conf"};
    if (xdg && *xdg == '/') candidatos.push_back(fs::path(xdg) / "tmux" / "tmux.conf");
    candidatos.push_back(casa / ".config" / "tmux" / "tmux.conf");
    std::error_code erro;
    for (const fs::path& c : candidatos) {
        if (fs::exists(c, erro)) return c;
    }
    return candidatos.front();
}

}  // namespace kivo::app
