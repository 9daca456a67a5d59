#include "arquivos.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#if defined(__linux__)
#include <sys/random.h>
#else
#include <stdlib.h>  // arc4random_buf (macOS, the BSDs)
#endif

namespace kivo::arquivos {

namespace {

int abrirPadrao(const char* caminho, int flags, mode_t modo) { return ::open(caminho, flags, modo); }

constexpr Operacoes kPadrao{&::write, &::rename, &abrirPadrao};

Operacoes& atuais() {
    static Operacoes ops = kPadrao;
    return ops;
}

// A name nobody can guess: 64 random bits (time and pid as a fallback).
std::string sufixoAleatorio() {
    unsigned long long r = 0;
#if defined(__linux__)
    if (getrandom(&r, sizeof r, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof r)) r = 0;
#else
    arc4random_buf(&r, sizeof r);
#endif
    timespec t{};
    clock_gettime(CLOCK_REALTIME, &t);
    r ^= (static_cast<unsigned long long>(t.tv_nsec) << 20) ^ static_cast<unsigned long long>(getpid());
    char b[20];
    std::snprintf(b, sizeof b, "%016llx", r);
    return b;
}

}  // namespace

Operacoes& operacoes() { return atuais(); }

std::string juntar(const std::string& pasta, std::string_view nome) {
    if (pasta.empty()) return std::string(nome);
    std::string r = pasta;
    if (r.back() != '/') r.push_back('/');
    r.append(nome);
    return r;
}
const Operacoes& padrao() { return kPadrao; }

namespace {

// The whole content of the file open as `fd` when it is a regular file; closes `fd`.
// With `curtoEhFim`, a read that returns less than was asked for is taken as the end
// (records are replaced whole, never appended), saving the read that would return 0.
std::optional<std::string> lerEFechar(int fd, bool curtoEhFim) {
    if (fd < 0) return std::nullopt;
    std::optional<std::string> conteudo;
    struct stat st{};
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        std::string s;
        s.resize(static_cast<std::size_t>(st.st_size) + 1);
        std::size_t n = 0;
        for (;;) {
            if (n == s.size()) s.resize(s.size() * 2);
            const ssize_t r = ::read(fd, s.data() + n, s.size() - n);
            if (r < 0 && errno == EINTR) continue;
            if (r < 0) break;
            n += static_cast<std::size_t>(r);
            if (r == 0 || (curtoEhFim && n < s.size())) {
                s.resize(n);
                conteudo = std::move(s);
                break;
            }
        }
    }
    ::close(fd);
    return conteudo;
}

// Without blocking (a FIFO would wait for a writer for ever) and without following a
// link; only a regular file is read.
constexpr int kLeitura = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW;

}  // namespace

std::optional<std::string> lerTudo(const std::string& caminho) {
    return lerEFechar(::open(caminho.c_str(), kLeitura), false);
}

std::optional<std::string> lerTudoEm(int pasta, const std::string& nome) {
    return lerEFechar(::openat(pasta, nome.c_str(), kLeitura), true);
}

int abrirEm(int pasta, const std::string& nome) {
    const int fd = ::openat(pasta, nome.c_str(), kLeitura);
    struct stat st{};
    if (fd < 0 || (fstat(fd, &st) == 0 && S_ISREG(st.st_mode))) return fd;
    ::close(fd);
    return -1;
}

int criarPastas(const std::string& pasta) {
    if (pasta.empty()) return 0;
    struct stat st{};
    if (::stat(pasta.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    const std::size_t barra = pasta.find_last_of('/', pasta.find_last_not_of('/'));
    if (barra != std::string::npos && barra > 0) {
        const int e = criarPastas(pasta.substr(0, barra));
        if (e != 0) return e;
    }
    if (::mkdir(pasta.c_str(), 0700) == 0) return 0;  // records are their owner's only
    const int e = errno;
    if (e == EEXIST && ::stat(pasta.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    return e;
}

namespace {

int escreverTudo(int fd, std::string_view dados) {
    const Operacoes& ops = atuais();
    for (std::size_t feito = 0; feito < dados.size();) {
        const ssize_t r = ops.escrever(fd, dados.data() + feito, dados.size() - feito);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return r < 0 ? errno : EIO;
        feito += static_cast<std::size_t>(r);
    }
    return 0;
}

}  // namespace

int criar(const std::string& caminho, std::string_view dados, const Gravacao& g) {
    // O_EXCL: never opens an existing file or follows a planted link.
    const int fd = atuais().abrir(caminho.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, g.modo);
    if (fd < 0) return errno;
    if (g.modoExato) ::fchmod(fd, g.modo);  // the bits the umask took off
    if (g.comDono && ::geteuid() == 0) {
        [[maybe_unused]] const int r = ::fchown(fd, g.uid, g.gid);
    }
    int erro = escreverTudo(fd, dados);
    if (erro == 0 && g.duravel && ::fsync(fd) != 0) erro = errno;
    if (::close(fd) != 0 && erro == 0) erro = errno;
    if (erro != 0) ::unlink(caminho.c_str());
    return erro;
}

Copia copiar(const std::string& base, std::string_view dados, const Gravacao& g) {
    Copia c;
    for (int n = 1; n < 100; ++n) {
        c.caminho = n == 1 ? base : base + "-" + std::to_string(n);
        c.erro = criar(c.caminho, dados, g);
        if (c.erro != EEXIST) break;
    }
    return c;
}

Troca substituir(const std::string& pasta, const std::string& nome, std::string_view dados, const Gravacao& g,
                 const std::function<bool()>& conferir) {
    Troca t;
    std::string temporario;
    t.erro = EEXIST;
    for (int tentativa = 0; tentativa < 16 && t.erro == EEXIST; ++tentativa) {
        temporario = juntar(pasta, "." + nome + "." + sufixoAleatorio() + ".tmp");
        t.erro = criar(temporario, dados, g);
    }
    if (t.erro != 0) return t;
    if (conferir && !conferir()) {
        t.desistiu = true;
    } else if (atuais().renomear(temporario.c_str(), juntar(pasta, nome).c_str()) != 0) {
        t.erro = errno;
        t.aoRenomear = true;
    }
    if (t.erro != 0 || t.desistiu) {
        ::unlink(temporario.c_str());
        return t;
    }
    // The rename itself reaches the disk with the folder.
    if (g.duravel) {
        if (const int fd = ::open(pasta.empty() ? "." : pasta.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); fd >= 0) {
            ::fsync(fd);
            ::close(fd);
        }
    }
    return t;
}

std::vector<std::string> listar(const std::string& pasta) {
    std::vector<std::string> nomes;
    DIR* d = ::opendir(pasta.c_str());
    if (!d) return nomes;
    while (const dirent* e = ::readdir(d)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        nomes.emplace_back(e->d_name);
    }
    ::closedir(d);
    return nomes;
}

}  // namespace kivo::arquivos
