#include "instalar/instalar.hpp"

#include <fcntl.h>
#include <pwd.h>
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

// ---- writing it -------------------------------------------------------------------

// New files (the copy, the replacement) get the old file's mode and, for root, owner.
arquivos::Gravacao gravacaoComo(const Leitura& antes) {
    arquivos::Gravacao g{.duravel = true};
    if (antes.existe) {
        g.modo = antes.info.st_mode & 07777;
        g.modoExato = true;  // never more than the old file had
        g.comDono = true;
        g.uid = antes.info.st_uid;
        g.gid = antes.info.st_gid;
    }
    return g;
}

std::string carimbo(std::time_t agora) {
    tm local{};
    localtime_r(&agora, &local);
    char t[32];
    const std::size_t n = strftime(t, sizeof t, "%Y%m%d-%H%M%S", &local);
    return std::string(t, n);
}

// Copies the previous file beside it, as "<name>.kivo-backup-YYYYmmdd-HHMMSS" (with
// "-2", "-3"... when that name is taken). Returns the copy's path.
fs::path guardarCopia(const fs::path& alvo, const Leitura& antes, std::time_t agora) {
    const arquivos::Copia c =
        arquivos::copiar(alvo.string() + ".kivo-backup-" + carimbo(agora), antes.texto, gravacaoComo(antes));
    if (c.erro == EEXIST) throw FormaInvalida("n\u00E3o achei um nome livre para a c\u00F3pia de " + alvo.string());
    if (c.erro != 0) {
        throw FormaInvalida("n\u00E3o consegui guardar a c\u00F3pia " + c.caminho + ": " + erroDoSistema(c.erro));
    }
    return c.caminho;
}

// Whether the file is still the one read: same inode, size and modification time.
bool mesmoArquivo(const fs::path& alvo, const Leitura& antes) {
    struct stat agora {};
    if (lstat(alvo.c_str(), &agora) != 0) return !antes.existe && errno == ENOENT;
    if (!antes.existe) return false;
#ifdef __APPLE__
    const bool mesmaHora = agora.st_mtimespec.tv_sec == antes.info.st_mtimespec.tv_sec &&
                           agora.st_mtimespec.tv_nsec == antes.info.st_mtimespec.tv_nsec;
#else
    const bool mesmaHora = agora.st_mtim.tv_sec == antes.info.st_mtim.tv_sec &&
                           agora.st_mtim.tv_nsec == antes.info.st_mtim.tv_nsec;
#endif
    return agora.st_ino == antes.info.st_ino && agora.st_dev == antes.info.st_dev &&
           agora.st_size == antes.info.st_size && mesmaHora;
}

// Replaces the file atomically, provided it is still the one read (Claude Code writes
// it too). False, with nothing changed, when it is not.
bool substituir(const fs::path& alvo, std::string_view conteudo, const Leitura& antes,
                const std::function<void()>& antesDeTrocar) {
    const fs::path pasta = alvo.has_parent_path() ? alvo.parent_path() : fs::path(".");
    const arquivos::Troca t =
        arquivos::substituir(pasta.string(), alvo.filename().string(), conteudo, gravacaoComo(antes), [&] {
            if (antesDeTrocar) antesDeTrocar();
            return mesmoArquivo(alvo, antes);
        });
    if (t.desistiu) return false;
    if (t.erro != 0 && t.aoRenomear) {
        throw FormaInvalida("n\u00E3o consegui substituir " + alvo.string() + ": " + erroDoSistema(t.erro));
    }
    if (t.erro != 0) throw FormaInvalida("n\u00E3o consegui gravar em " + pasta.string() + ": " + erroDoSistema(t.erro));
    return true;
}

// A file the user cannot or should not replace: read-only (no write permission for
// anyone, or not for us), or someone else's.
void conferirPermissao(const fs::path& alvo, const Leitura& antes) {
    if (!antes.existe) return;
    if (geteuid() != 0 && antes.info.st_uid != geteuid()) {
        const passwd* dono = getpwuid(antes.info.st_uid);
        const std::string quem = dono ? std::string(dono->pw_name) : "o uid " + std::to_string(antes.info.st_uid);
        throw FormaInvalida(alvo.string() + " pertence a " + quem +
                            ", n\u00E3o a voc\u00EA; rode o comando como " + quem +
                            ", ou aponte CLAUDE_CONFIG_DIR (ou --arquivo) para um arquivo seu");
    }
    if ((antes.info.st_mode & 0222) == 0 || access(alvo.c_str(), W_OK) != 0) {
        throw FormaInvalida(alvo.string() + " \u00E9 s\u00F3 de leitura; para deixar o kivo mud\u00E1-lo, "
                            "d\u00EA permiss\u00E3o de escrita (chmod u+w) e rode de novo");
    }
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

// ---- tmux's key binding -----------------------------------------------------------

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
