#include "kivo/sessao.hpp"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <stdexcept>

#include "json.hpp"
#include "leitura_limitada.hpp"
#include "unicode.hpp"

namespace kivo {

bool Sessao::operator==(const Sessao& o) const {
    return texto::iguais(id, o.id) && texto::iguais(cwd, o.cwd) &&
           texto::iguaisOpcionais(titulo, o.titulo) && estado == o.estado &&
           texto::iguaisOpcionais(detalhe, o.detalhe) && atualizado == o.atualizado &&
           mudouEstadoEm == o.mudouEstadoEm && pid == o.pid && texto::iguaisOpcionais(origem, o.origem) &&
           texto::iguaisOpcionais(ferramentaId, o.ferramentaId) && faseFerramenta == o.faseFerramenta;
}

// --- Writing

namespace {

void escreverTexto(std::string& s, std::string_view t) {
    if (!texto::utf8Valido(t)) throw std::domain_error("record text is not valid UTF-8");
    static constexpr char hex[] = "0123456789abcdef";
    s.push_back('"');
    std::size_t desde = 0;
    for (std::size_t i = 0; i < t.size(); ++i) {
        const auto c = static_cast<unsigned char>(t[i]);
        if (c >= 0x20 && c != '"' && c != '\\' && c != '/') continue;
        s.append(t.data() + desde, i - desde);
        desde = i + 1;
        switch (c) {
            case '"': s += "\\\""; break;
            case '\\': s += "\\\\"; break;
            case '/': s += "\\/"; break;
            case '\b': s += "\\b"; break;
            case '\f': s += "\\f"; break;
            case '\n': s += "\\n"; break;
            case '\r': s += "\\r"; break;
            case '\t': s += "\\t"; break;
            default:
                s += "\\u00";
                s.push_back(hex[c >> 4]);
                s.push_back(hex[c & 0xF]);
        }
    }
    s.append(t.data() + desde, t.size() - desde);
    s.push_back('"');
}

// Shortest digits that read back exactly; fixed notation for decimal exponents from
// -4 to 15 (so times stay plain: 1700000000, 1765000000.25), scientific beyond
// (1e+16, 1e-07).
void escreverNumero(std::string& s, double v) {
    if (!std::isfinite(v)) throw std::domain_error("record time is not finite");
    char cientifico[64];
    const auto r = std::to_chars(cientifico, cientifico + sizeof cientifico, v,
                                 std::chars_format::scientific);
    const std::string_view sci(cientifico, static_cast<std::size_t>(r.ptr - cientifico));
    const std::size_t e = sci.find('e');
    const int expoente = std::stoi(std::string(sci.substr(e + 1)));
    if (expoente < -4 || expoente >= 16) {
        s.append(sci);
        return;
    }
    char fixo[64];
    const auto f = std::to_chars(fixo, fixo + sizeof fixo, v, std::chars_format::fixed);
    s.append(fixo, f.ptr);
}

void membro(std::string& s, const char* nome) {
    if (s.size() > 1) s.push_back(',');
    s.push_back('"');
    s += nome;
    s += "\":";
}

}  // namespace

std::string paraJson(const Sessao& x) {
    std::string s;
    s.reserve(256 + x.cwd.size() + (x.detalhe ? x.detalhe->size() : 0));
    s.push_back('{');
    membro(s, "atualizado");
    escreverNumero(s, x.atualizado);
    membro(s, "cwd");
    escreverTexto(s, x.cwd);
    if (x.detalhe) {
        membro(s, "detalhe");
        escreverTexto(s, *x.detalhe);
    }
    membro(s, "estado");
    escreverTexto(s, nomeDe(x.estado));
    if (x.faseFerramenta) {
        membro(s, "faseFerramenta");
        s += std::to_string(*x.faseFerramenta);
    }
    if (x.ferramentaId) {
        membro(s, "ferramentaId");
        escreverTexto(s, *x.ferramentaId);
    }
    membro(s, "id");
    escreverTexto(s, x.id);
    membro(s, "mudouEstadoEm");
    escreverNumero(s, x.mudouEstadoEm);
    if (x.origem) {
        membro(s, "origem");
        escreverTexto(s, *x.origem);
    }
    if (x.pid) {
        membro(s, "pid");
        s += std::to_string(*x.pid);
    }
    if (x.titulo) {
        membro(s, "titulo");
        escreverTexto(s, *x.titulo);
    }
    s.push_back('}');
    return s;
}

// --- Reading

namespace {

enum class Campo {
    id, cwd, titulo, estado, detalhe, atualizado, mudouEstadoEm, pid, origem,
    ferramentaId, faseFerramenta, outro
};
constexpr std::size_t kCampos = 11;

Campo campoDe(std::string_view k) {
    static constexpr std::pair<std::string_view, Campo> tabela[] = {
        {"id", Campo::id},
        {"cwd", Campo::cwd},
        {"titulo", Campo::titulo},
        {"estado", Campo::estado},
        {"detalhe", Campo::detalhe},
        {"atualizado", Campo::atualizado},
        {"mudouEstadoEm", Campo::mudouEstadoEm},
        {"pid", Campo::pid},
        {"origem", Campo::origem},
        {"ferramentaId", Campo::ferramentaId},
        {"faseFerramenta", Campo::faseFerramenta},
    };
    for (const auto& [nome, campo] : tabela)
        if (nome == k) return campo;
    return Campo::outro;
}

// Reads the top-level members straight into their fields. A member given twice
// counts by its last occurrence, as in a parsed object.
class LeitorSessao {
public:
    enum class Situacao : unsigned char { ausente, nulo, valor, invalido };

    bool inicioObjeto() { return abrir(); }
    bool inicioLista() { return abrir(); }
    bool fimObjeto() { return fechar(); }
    bool fimLista() { return fechar(); }
    bool querChave(std::size_t p) { return p == 1; }
    bool querTexto(std::size_t p) { return p == 1 && campo_ != Campo::outro; }
    bool querNumero(std::size_t p) { return p == 1 && campo_ != Campo::outro; }
    bool chave(std::string& k) {
        if (prof_ == 1) campo_ = campoDe(k);
        return true;
    }
    bool texto(std::string& t) {
        if (prof_ != 1 || campo_ == Campo::outro) return true;
        switch (campo_) {
            case Campo::atualizado:
            case Campo::mudouEstadoEm:
            case Campo::pid:
            case Campo::faseFerramenta: return marcar(Situacao::invalido);
            default: textos_[indice()] = std::move(t); return marcar(Situacao::valor);
        }
    }
    bool numero(std::string_view lexema) {
        if (prof_ != 1 || campo_ == Campo::outro) return true;
        switch (campo_) {
            case Campo::atualizado: atualizado_ = json::paraDouble(lexema); break;
            case Campo::mudouEstadoEm: mudouEstadoEm_ = json::paraDouble(lexema); break;
            case Campo::pid: {
                const auto v = json::inteiroExato(lexema, INT32_MIN, INT32_MAX);
                if (!v) return marcar(Situacao::invalido);
                pid_ = static_cast<std::int32_t>(*v);
                break;
            }
            case Campo::faseFerramenta: {
                const auto v = json::inteiroExato(lexema, INT64_MIN, INT64_MAX);
                if (!v) return marcar(Situacao::invalido);
                fase_ = *v;
                break;
            }
            default: return marcar(Situacao::invalido);
        }
        return marcar(Situacao::valor);
    }
    bool literal(json::Literal l) {
        if (prof_ != 1 || campo_ == Campo::outro) return true;
        return marcar(l == json::Literal::nulo ? Situacao::nulo : Situacao::invalido);
    }

    std::optional<Sessao> resultado() const {
        if (!ehObjeto_) return std::nullopt;
        for (std::size_t i = 0; i < kCampos; ++i)
            if (situacao_[i] == Situacao::invalido) return std::nullopt;
        for (Campo c : {Campo::id, Campo::cwd, Campo::estado, Campo::atualizado, Campo::mudouEstadoEm})
            if (situacao_[static_cast<std::size_t>(c)] != Situacao::valor) return std::nullopt;
        const auto estado = estadoDe(textos_[static_cast<std::size_t>(Campo::estado)]);
        if (!estado) return std::nullopt;
        auto opcional = [&](Campo c) -> std::optional<std::string> {
            if (situacao_[static_cast<std::size_t>(c)] != Situacao::valor) return std::nullopt;
            return textos_[static_cast<std::size_t>(c)];
        };
        auto presente = [&](Campo c) { return situacao_[static_cast<std::size_t>(c)] == Situacao::valor; };
        Sessao s;
        s.id = textos_[static_cast<std::size_t>(Campo::id)];
        s.cwd = textos_[static_cast<std::size_t>(Campo::cwd)];
        s.titulo = opcional(Campo::titulo);
        s.estado = *estado;
        s.detalhe = opcional(Campo::detalhe);
        s.atualizado = atualizado_;
        s.mudouEstadoEm = mudouEstadoEm_;
        if (presente(Campo::pid)) s.pid = pid_;
        s.origem = opcional(Campo::origem);
        s.ferramentaId = opcional(Campo::ferramentaId);
        if (presente(Campo::faseFerramenta)) s.faseFerramenta = fase_;
        return s;
    }

protected:
    std::size_t indice() const { return static_cast<std::size_t>(campo_); }
    bool marcar(Situacao s) {
        situacao_[indice()] = s;
        return true;
    }
    bool abrir() {
        if (prof_ == 0) ehObjeto_ = true;  // replaced below for a top-level list
        if (prof_ == 1 && campo_ != Campo::outro) marcar(Situacao::invalido);
        ++prof_;
        return true;
    }
    bool fechar() {
        --prof_;
        return true;
    }

    std::size_t prof_ = 0;
    bool ehObjeto_ = false;
    Campo campo_ = Campo::outro;
    Situacao situacao_[kCampos] = {};
    std::string textos_[kCampos];
    double atualizado_ = 0;
    double mudouEstadoEm_ = 0;
    std::int32_t pid_ = 0;
    std::int64_t fase_ = 0;
};

class LeitorSessaoRaiz : public LeitorSessao {
public:
    bool inicioLista() {
        if (raiz_) return false;  // a top-level list is no record
        raiz_ = false;
        return LeitorSessao::inicioLista();
    }
    bool inicioObjeto() {
        raiz_ = false;
        return LeitorSessao::inicioObjeto();
    }
    // Top-level scalars are no record either.
    bool texto(std::string& t) { return !raiz_ && LeitorSessao::texto(t); }
    bool numero(std::string_view l) { return !raiz_ && LeitorSessao::numero(l); }
    bool literal(json::Literal l) { return !raiz_ && LeitorSessao::literal(l); }

private:
    bool raiz_ = true;
};

// The same with every text and number copied kept within a bound.
class LeitorSessaoLimitado : public LeitorSessaoRaiz {
public:
    explicit LeitorSessaoLimitado(std::size_t limite) : limite_(std::max<std::size_t>(limite, 16)) {}

    json::Corte corte(std::size_t, bool ehChave) const {
        return {.bytes = limite_, .fim = !ehChave && campo_ == Campo::cwd};
    }
    bool cortado() {
        cortado_ = true;
        return true;
    }
    bool chave(std::string& k) {
        if (!std::exchange(cortado_, false)) return LeitorSessaoRaiz::chave(k);
        campo_ = Campo::outro;  // longer than any member's name
        return true;
    }
    // A cut id would not name the record's file (a cut estado, longer than any state's
    // name, is no state already).
    bool texto(std::string& t) {
        if (std::exchange(cortado_, false) && prof_ == 1 && campo_ == Campo::id) return marcar(Situacao::invalido);
        return LeitorSessaoRaiz::texto(t);
    }
    bool numero(std::string_view lexema) {
        if (std::exchange(cortado_, false) && prof_ == 1) return marcar(Situacao::invalido);
        return LeitorSessaoRaiz::numero(lexema);
    }

private:
    std::size_t limite_;
    bool cortado_ = false;
};

// A file's bytes, a piece at a time.
class FonteDescritor {
public:
    const char* p = nullptr;
    const char* fim = nullptr;

    FonteDescritor(int fd, std::vector<char>& pedaco) : fd_(fd), pedaco_(pedaco) {
        if (pedaco_.size() < limitada::kPedaco) pedaco_.resize(limitada::kPedaco);
    }

    bool recarregar() {
        while (!acabou_) {
            const ssize_t n = ::read(fd_, pedaco_.data(), pedaco_.size());
            if (n < 0 && errno == EINTR) continue;
            acabou_ = n < static_cast<ssize_t>(pedaco_.size());
            if (n <= 0) break;
            p = pedaco_.data();
            fim = p + n;
            return true;
        }
        return false;
    }

private:
    int fd_;
    std::vector<char>& pedaco_;
    bool acabou_ = false;
};

}  // namespace

std::optional<Sessao> sessaoDeJson(std::string_view texto) {
    json::FonteMemoria f(texto);
    LeitorSessaoRaiz leitor;
    if (!json::analisar(f, leitor)) return std::nullopt;
    return leitor.resultado();
}

std::optional<Sessao> limitada::sessaoDeJson(std::string_view texto, std::size_t limite) {
    json::FonteMemoria f(texto);
    LeitorSessaoLimitado leitor(limite);
    if (!json::analisar(f, leitor)) return std::nullopt;
    return leitor.resultado();
}

std::optional<Sessao> limitada::sessaoDe(int fd, std::size_t limite, std::vector<char>& pedaco) {
    FonteDescritor f(fd, pedaco);
    LeitorSessaoLimitado leitor(limite);
    if (!json::analisar(f, leitor)) return std::nullopt;
    return leitor.resultado();
}

// --- Names

namespace {

// Where "-[0-9a-f]{6,}$" matches in `t`, or npos. Found by hand for valid UTF-8, since
// compiling the regular expression costs millions of instructions, more than a whole
// view of the sessions; like the expression, "$" also matches before one line
// terminator that ends the text. Other text goes through the expression itself.
std::size_t sufixoHexadecimal(std::string_view t) {
    if (!texto::utf8Valido(t)) {
        static const texto::Regex sufixo("-[0-9a-f]{6,}$");
        return sufixo.inicio(t);
    }
    std::size_t fim = t.size();
    for (const std::string_view terminador :
         {"\r\n", "\n", "\v", "\f", "\r", "\u0085", "\u2028", "\u2029"}) {
        if (t.ends_with(terminador)) {
            fim -= terminador.size();
            break;
        }
    }
    const std::size_t traco = fim == 0 ? std::string_view::npos : t.rfind('-', fim - 1);
    if (traco == std::string_view::npos || fim - traco - 1 < 6) return texto::npos;
    for (std::size_t i = traco + 1; i < fim; ++i) {
        const char c = t[i];
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return texto::npos;
    }
    return traco;
}

}  // namespace

std::string Sessao::nomeDoProjeto(std::string_view caminho) {
    std::string_view ultimo = caminho;
    const std::size_t fim = caminho.find_last_not_of('/');
    if (fim == std::string_view::npos) {
        ultimo = caminho.empty() ? std::string_view() : std::string_view("/");
    } else {
        const std::string_view semBarras = caminho.substr(0, fim + 1);
        const std::size_t barra = semBarras.rfind('/');
        ultimo = barra == std::string_view::npos ? semBarras : semBarras.substr(barra + 1);
    }
    const std::size_t p = sufixoHexadecimal(ultimo);
    if (p != texto::npos && p > 0) return std::string(ultimo.substr(0, p));
    if (!ultimo.empty() && ultimo != "/") return std::string(ultimo);
    return "Claude";
}

std::string Sessao::projeto() const { return nomeDoProjeto(cwd); }

std::string Sessao::nome() const {
    std::string n = projeto();
    if (titulo && !titulo->empty()) {
        n += " \u00B7 ";
        n += *titulo;
    }
    return n;
}

}  // namespace kivo
