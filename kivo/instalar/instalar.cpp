#include "instalar/instalar.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "arquivos.hpp"
#include "caminhos.hpp"
#include "base/erros.hpp"
#include "base/texto.hpp"
#include "instalar/json_edicao.hpp"
#include "instalar/leitura.hpp"
#include "instalar/troca.hpp"

namespace kivo::app {

namespace {

using Json = nlohmann::ordered_json;
namespace fs = std::filesystem;

std::string texto(const Json& config, Recuo recuo) {
    return config.dump(recuo.largura, recuo.caractere, false, Json::error_handler_t::strict) + "\n";
}

// The file's new text: `original` with the members in `trocas` set or removed, or the
// whole object written afresh when the file was missing or blank.
std::string novoTexto(const Leitura& antes, const Json& config,
                      const std::vector<std::pair<std::string, std::optional<Json>>>& trocas) {
    if (!antes.existe || soEspacos(antes.texto)) return texto(config, recuoDe(antes.texto));
    std::optional<std::string> t = antes.texto;
    try {
        for (const auto& [chave, valor] : trocas) {
            if (t) t = trocarMembro(*t, chave, valor);
        }
        // The edited text must say exactly what was meant, or nothing is written.
        if (t && Json::parse(*t, nullptr, true, false) == config) return *t;
    } catch (const std::exception&) {
    }
    throw FormaInvalida("n\u00E3o consegui editar o arquivo mantendo o resto dele como est\u00E1");
}

// Whether `t` is valid UTF-8, as the JSON library judges it when writing the file.
bool utf8Valido(std::string_view t) {
    try {
        (void)Json(std::string(t)).dump();
        return true;
    } catch (const Json::type_error&) {
        return false;
    }
}

// Creates the data folder for the user alone; says so, or warns when an existing
// one is open to other accounts.
std::string prepararPastaDeDados(const fs::path& pasta) {
    if (pasta.empty()) return "";
    struct stat info {};
    if (stat(pasta.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode) && (info.st_mode & 077) != 0) {
            char modo[8];
            std::snprintf(modo, sizeof modo, "%03o", static_cast<unsigned>(info.st_mode & 0777));
            return "Aviso: outras contas desta m\u00E1quina podem ler " + pasta.string() + " (modo " + modo +
                   "), onde ficam os t\u00EDtulos dos pedidos e as respostas dos agentes. Para fechar: chmod 700 " +
                   pasta.string() + "\n";
        }
        return "";
    }
    std::error_code erro;
    if (pasta.has_parent_path()) fs::create_directories(pasta.parent_path(), erro);
    if (mkdir(pasta.c_str(), 0700) != 0) {
        return "Aviso: n\u00E3o consegui criar a pasta dos registros " + pasta.string() + ": " +
               erroDoSistema(errno) + "\n";
    }
    return "Criei a pasta dos registros, " + pasta.string() + ", s\u00F3 para voc\u00EA (modo 700).\n";
}

// ---- the two commands -----------------------------------------------------------

// What desinstalar leaves behind, and how to remove it: the copies by name, the
// records folder.
std::string oQueFicou(const fs::path& arquivo, const fs::path& pastaDados) {
    std::string t;
    const std::vector<fs::path> copias = copiasDe(arquivo);
    if (!copias.empty()) {
        t += copias.size() == 1 ? "Ficou a c\u00F3pia que o kivo fez do arquivo:\n"
                                : "Ficaram as " + std::to_string(copias.size()) + " c\u00F3pias que o kivo fez do arquivo:\n";
        std::string apagar;
        for (const fs::path& c : copias) {
            t += "  " + limpo(c.string()) + "\n";
            apagar += " " + entreAspas(c.string());
        }
        t += std::string(copias.size() == 1 ? "Se n\u00E3o precisar mais dela" : "Se n\u00E3o precisar mais delas") +
             ": rm" + apagar + "\n";
    }
    std::error_code erro;
    if (!pastaDados.empty() && fs::is_directory(pastaDados, erro)) {
        t += "Ficou a pasta dos registros das sess\u00F5es, " + limpo(pastaDados.string()) +
             ". Para apag\u00E1-la: rm -r " + entreAspas(pastaDados.string()) + "\n";
    }
    return t;
}

enum class Operacao { instalar, desinstalar };

std::string listaDe(const std::vector<Mudanca>& mudancas, Operacao op) {
    std::string t;
    for (const Mudanca& m : mudancas) {
        if (op == Operacao::desinstalar) {
            t += "  - " + m.evento;
            if (m.removidas > 1) t += " (" + std::to_string(m.removidas) + " entradas)";
        } else {
            t += (m.removidas == 0 ? "  + " : "  ~ ") + m.evento;
            if (!m.antigos.empty()) {
                t += " (substitui " + m.antigos.front();
                if (m.antigos.size() > 1) t += " e mais " + std::to_string(m.antigos.size() - 1);
                t += ")";
            } else if (m.removidas > 0) {
                t += " (entrada refeita)";
            }
        }
        t += "\n";
    }
    return t;
}

Linha decidirLinha(Json& config, const OpcoesInstalar& opcoes, Operacao op) {
    if (op == Operacao::desinstalar) return tirarLinha(config);
    return opcoes.linha ? porLinha(config, comandoDaLinha(opcoes.kivo)) : Linha::igual;
}

std::string comoJuntarLinhas(const std::string& onde, const std::string& kivo) {
    return "Voc\u00EA j\u00E1 tem uma linha de status (\"statusLine\") em " + onde +
           "; ela ficou como estava.\nPara ver a do kivo ao lado da sua, fa\u00E7a o seu comando ler a entrada "
           "uma vez e pass\u00E1-la aos dois, por exemplo num script:\n"
           "    entrada=$(cat)\n"
           "    printf '%s' \"$entrada\" | SEU_COMANDO_DE_AGORA\n"
           "    printf ' \u00B7 '\n"
           "    printf '%s' \"$entrada\" | " + comandoDaLinha(kivo) + "\n";
}

// One reading, change and replacement of the file. nullopt when the file changed
// between the reading and the replacement (the caller starts again).
std::optional<Resultado> tentar(const OpcoesInstalar& opcoes, Operacao op, const fs::path& alvo,
                                const std::string& onde) {
    Resultado r;
    const std::string comando = comandoPara(opcoes.gancho);
    const Leitura antes = ler(alvo);
    if (!antes.existe && op == Operacao::desinstalar) {
        r.saida = "Nada a remover: " + onde + " n\u00E3o existe.\n";
        if (!opcoes.mostrar) r.saida += oQueFicou(opcoes.arquivo, opcoes.pastaDados);
        return r;
    }
    Json config = interpretar(antes, alvo);
    std::vector<Mudanca> mudancas;
    try {
        mudancas = op == Operacao::instalar ? registrar(config, comando, alvo) : remover(config, alvo);
    } catch (const ConfiguracaoInvalida& e) {
        throw FormaInvalida(e.what(), true);
    }
    const Linha linha = decidirLinha(config, opcoes, op);
    const std::string sobreLinha = linha == Linha::alheia ? comoJuntarLinhas(onde, opcoes.kivo) : "";

    if (mudancas.empty() && (linha == Linha::igual || linha == Linha::alheia)) {
        r.saida = op == Operacao::instalar
                      ? "Nada a mudar: " + comando + " j\u00E1 est\u00E1 registrado nos " +
                            std::to_string(eventosDoGancho.size()) + " eventos de " + onde + ".\n"
                      : "Nada a remover: o kivo n\u00E3o est\u00E1 registrado em " + onde + ".\n";
        r.saida += sobreLinha;
        if (op == Operacao::desinstalar && !opcoes.mostrar) r.saida += oQueFicou(opcoes.arquivo, opcoes.pastaDados);
        return r;
    }

    std::vector<std::pair<std::string, std::optional<Json>>> trocas;
    if (!mudancas.empty()) {
        trocas.emplace_back("hooks", config.contains("hooks") ? std::optional<Json>(config["hooks"]) : std::nullopt);
    }
    if (linha == Linha::posta || linha == Linha::tirada) {
        trocas.emplace_back("statusLine",
                            config.contains("statusLine") ? std::optional<Json>(config["statusLine"]) : std::nullopt);
    }
    const std::string novo = novoTexto(antes, config, trocas);
    std::string lista = listaDe(mudancas, op);
    if (linha == Linha::posta) lista += "  + statusLine: " + comandoDaLinha(opcoes.kivo) + "\n";
    if (linha == Linha::tirada) lista += "  - statusLine\n";
    if (opcoes.mostrar) {
        r.saida = (op == Operacao::instalar ? "Registraria " + comando + " em " + onde + ":\n"
                                            : "Removeria o kivo de " + onde + ":\n") +
                  lista;
        if (op == Operacao::instalar && !mudancas.empty()) {
            r.saida += "Cada evento marcado com + ou ~ fica com a entrada " +
                       Json{{"type", "command"}, {"command", comando}, {"timeout", limiteDoGancho}}.dump() + "\n";
        }
        r.saida += sobreLinha;
        r.saida += "Nada foi gravado (--mostrar).\n";
        return r;
    }

    conferirPermissao(alvo, antes);
    if (!antes.existe && alvo.has_parent_path()) {
        std::error_code erro;
        fs::create_directories(alvo.parent_path(), erro);
        if (erro) {
            throw FormaInvalida("n\u00E3o consegui criar a pasta " + alvo.parent_path().string() + ": " +
                                erroDoSistema(erro.value()));
        }
    }
    std::optional<fs::path> copia;
    if (antes.existe) copia = guardarCopia(alvo, antes, opcoes.agora);
    if (!substituir(alvo, novo, antes, opcoes.antesDeTrocar)) {
        if (copia) unlink(copia->c_str());
        return std::nullopt;
    }

    if (op == Operacao::instalar) {
        r.saida = (antes.existe ? "Registrei " : "Criei " + onde + " e registrei ") + comando + " (timeout de " +
                  std::to_string(limiteDoGancho) + " s)" + (antes.existe ? " em " + onde : std::string()) +
                  ":\n" + lista;
    } else {
        r.saida = "Removi o kivo de " + onde + ":\n" + lista;
    }
    r.saida += copia ? "C\u00F3pia do arquivo anterior: " + copia->string() + "\n"
                     : "N\u00E3o havia arquivo antes, ent\u00E3o n\u00E3o h\u00E1 c\u00F3pia.\n";
    r.saida += sobreLinha;
    if (op == Operacao::instalar) {
        r.saida += "As pr\u00F3ximas sess\u00F5es do Claude Code aparecem no `kivo painel`; "
                   "`kivo verificar` confere a instala\u00E7\u00E3o.\n";
    } else {
        r.saida += oQueFicou(opcoes.arquivo, opcoes.pastaDados);
    }
    return r;
}

Resultado executar(const OpcoesInstalar& opcoes, Operacao op) {
    Resultado r;
    const fs::path alvo = alvoDe(opcoes.arquivo);
    const std::string onde =
        alvo == opcoes.arquivo ? alvo.string() : opcoes.arquivo.string() + " (\u2192 " + alvo.string() + ")";
    try {
        if (op == Operacao::instalar && (!utf8Valido(opcoes.gancho) || !utf8Valido(opcoes.kivo))) {
            throw FormaInvalida("o caminho " + limpo(opcoes.gancho) +
                                " n\u00E3o \u00E9 UTF-8, e o arquivo de configura\u00E7\u00F5es \u00E9 JSON "
                                "(s\u00F3 UTF-8); instale o kivo numa pasta de nome UTF-8");
        }
        std::string pasta;
        if (op == Operacao::instalar && !opcoes.mostrar) pasta = prepararPastaDeDados(opcoes.pastaDados);
        constexpr int tentativas = 5;
        for (int n = 1;; ++n) {
            if (std::optional<Resultado> feito = tentar(opcoes, op, alvo, onde)) {
                r = std::move(*feito);
                break;
            }
            if (n == tentativas) {
                throw FormaInvalida(alvo.string() + " mudou " + std::to_string(tentativas) +
                                    " vezes enquanto eu o gravava (o Claude Code pode estar mexendo nele); "
                                    "rode o comando de novo");
            }
        }
        r.saida = pasta + r.saida;
    } catch (const FormaInvalida& e) {
        r.status = 1;
        r.erros = std::string("kivo: ") + e.what() + ".\nNada foi alterado.";
        if (e.doConteudo) {
            r.erros +=
                " O Claude Code ignora por inteiro um arquivo de configura\u00E7\u00F5es que n\u00E3o "
                "entende; corrija o arquivo e rode o comando de novo.";
        }
        r.erros += "\n";
        r.saida.clear();
    }
    return r;
}

}  // namespace

Configuracoes lerConfiguracoes(const fs::path& arquivo) {
    Configuracoes c;
    const fs::path alvo = alvoDe(arquivo);
    try {
        const Leitura l = ler(alvo);
        c.existe = l.existe;
        c.valor = interpretar(l, alvo);
    } catch (const FormaInvalida& e) {
        c.erro = e.what();
    }
    return c;
}

std::vector<fs::path> copiasDe(const fs::path& arquivo) {
    const fs::path alvo = alvoDe(arquivo);
    const std::string prefixo = alvo.filename().string() + ".kivo-backup-";
    std::vector<fs::path> copias;
    std::error_code erro;
    const fs::path pasta = alvo.has_parent_path() ? alvo.parent_path() : fs::path(".");
    for (const fs::directory_entry& e : fs::directory_iterator(pasta, erro)) {
        if (e.path().filename().string().starts_with(prefixo)) copias.push_back(e.path());
    }
    std::sort(copias.begin(), copias.end());
    return copias;
}

Resultado instalar(const OpcoesInstalar& opcoes) { return executar(opcoes, Operacao::instalar); }

Resultado desinstalar(const OpcoesInstalar& opcoes) { return executar(opcoes, Operacao::desinstalar); }

}  // namespace kivo::app
