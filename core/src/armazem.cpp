#include "kivo/armazem.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "arquivos.hpp"
#include "leitura_limitada.hpp"
#include "unicode.hpp"

namespace kivo {

namespace {

constexpr std::size_t kMaximoCodigos = 100;

// A record file: the extension after the last "." (not a leading one) is "json".
bool ehRegistro(std::string_view nome) {
    const std::size_t ponto = nome.rfind('.');
    return ponto != std::string_view::npos && ponto > 0 && nome.substr(ponto + 1) == "json";
}

// The records of `pasta` in listing order, each decoded by `decodificar(fd, nome)`
// from the folder open as `fd`.
template <class Decodificar>
std::vector<Sessao> lerPasta(const std::filesystem::path& caminho, Decodificar decodificar) {
    std::vector<Sessao> sessoes;
    std::vector<std::string> nomes;
    const std::string pasta = caminho.empty() ? "." : caminho.native();
    try {
        nomes = arquivos::listar(pasta);
    } catch (...) {
        return sessoes;
    }
    const int fd = ::open(pasta.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return sessoes;
    for (const std::string& nome : nomes) {
        // A file that fails (too big for memory, say) is skipped; the others still count.
        try {
            if (!ehRegistro(nome)) continue;
            if (auto s = decodificar(fd, nome)) sessoes.push_back(std::move(*s));
        } catch (...) {
        }
    }
    ::close(fd);
    return sessoes;
}

// The folder's lock, held from construction to destruction. A link planted as the
// lock file is never followed (nothing is created or changed outside the folder):
// the update then goes on unlocked, as when the lock cannot be taken.
class Trava {
public:
    explicit Trava(const std::string& pasta)
        : fd_(arquivos::operacoes().abrir(arquivos::juntar(pasta, ".trava").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600)) {
        if (fd_ >= 0) {
            while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
            }
        }
    }
    ~Trava() {
        if (fd_ >= 0) {
            ::flock(fd_, LOCK_UN);
            ::close(fd_);
        }
    }
    Trava(const Trava&) = delete;
    Trava& operator=(const Trava&) = delete;

private:
    int fd_;
};

}  // namespace

Armazem::Armazem(std::filesystem::path pasta) : pasta_(std::move(pasta)) {}

const std::filesystem::path& Armazem::pasta() const { return pasta_; }

std::string Armazem::nomeSeguro(std::string_view id) {
    std::string nome;
    std::size_t codigos = 0;
    for (std::size_t i = 0; i < id.size() && codigos < kMaximoCodigos;) {
        const std::size_t inicio = i;
        const auto b = static_cast<unsigned char>(id[i]);
        bool manter;
        if (b < 0x80) {
            ++i;
            manter = (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') ||
                     b == '_' || b == '-';
        } else {
            const char32_t c = texto::decodificar(id, i);
            // A byte that is not UTF-8 decodes as U+FFFD, a symbol: dropped.
            manter = texto::letraMarcaOuNumero(c);
        }
        if (manter) {
            nome.append(id.substr(inicio, i - inicio));
            ++codigos;
        }
    }
    return nome.empty() ? "sem-id" : nome;
}

std::optional<Sessao> Armazem::ler(std::string_view id) const {
    try {
        const auto conteudo = arquivos::lerTudo(arquivos::juntar(pasta_.native(), nomeSeguro(id) + ".json"));
        if (!conteudo) return std::nullopt;
        return sessaoDeJson(*conteudo);
    } catch (...) {
        return std::nullopt;
    }
}

std::vector<Sessao> Armazem::lerTodas() const {
    return lerPasta(pasta_, [](int pasta, const std::string& nome) -> std::optional<Sessao> {
        const auto conteudo = arquivos::lerTudoEm(pasta, nome);
        if (!conteudo) return std::nullopt;
        return sessaoDeJson(*conteudo);
    });
}

std::vector<Sessao> limitada::lerTodas(const std::filesystem::path& pasta, std::size_t limite) {
    std::vector<char> pedaco;
    return lerPasta(pasta, [&](int dentro, const std::string& nome) -> std::optional<Sessao> {
        const int fd = arquivos::abrirEm(dentro, nome);
        if (fd < 0) return std::nullopt;
        std::optional<Sessao> s;
        try {
            s = sessaoDe(fd, limite, pedaco);
        } catch (...) {
        }
        ::close(fd);
        return s;
    });
}

void Armazem::gravar(const Sessao& sessao) const {
    const std::string& pasta = pasta_.native();
    if (const int e = arquivos::criarPastas(pasta); e != 0)
        throw std::system_error(e, std::generic_category(), "cannot create folder " + pasta);
    substituir(sessao);
}

void Armazem::substituir(const Sessao& sessao) const {
    const std::string& pasta = pasta_.native();
    const std::string bytes = paraJson(sessao);
    const std::string nome = nomeSeguro(sessao.id) + ".json";
    if (const int e = arquivos::substituir(pasta, nome, bytes).erro; e != 0)
        throw std::system_error(e, std::generic_category(), "cannot write " + arquivos::juntar(pasta, nome));
}

void Armazem::apagar(std::string_view id) const {
    try {
        ::unlink(arquivos::juntar(pasta_.native(), nomeSeguro(id) + ".json").c_str());
    } catch (...) {
    }
}

void Armazem::atualizar(std::string_view id,
                        const std::function<Acao(const std::optional<Sessao>&)>& f) const {
    try {
        const bool pastaPronta = arquivos::criarPastas(pasta_.native()) == 0;
        const Trava trava(pasta_.native());
        const Acao acao = f(ler(id));
        switch (acao.caso) {
            case Acao::Caso::gravar:
                if (acao.sessao) {
                    try {
                        if (pastaPronta)
                            substituir(*acao.sessao);
                        else
                            gravar(*acao.sessao);
                    } catch (...) {
                    }
                }
                break;
            case Acao::Caso::apagar: apagar(id); break;
            case Acao::Caso::ignorar: break;
        }
    } catch (...) {
        // Never visible to the caller; the lock is released by Trava.
    }
}

}  // namespace kivo
