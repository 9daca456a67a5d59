#include "instalar/leitura.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "arquivos.hpp"
#include "base/erros.hpp"

namespace kivo::app {

using Json = nlohmann::ordered_json;
namespace fs = std::filesystem;

namespace {

// What kind of thing stands at a path, for a refusal.
std::string tipoDe(mode_t modo) {
    if (S_ISDIR(modo)) return "uma pasta";
    if (S_ISFIFO(modo)) return "um FIFO (cano com nome)";
    if (S_ISCHR(modo) || S_ISBLK(modo)) return "um dispositivo";
    if (S_ISSOCK(modo)) return "um soquete";
    return "algo que n\u00E3o \u00E9 um arquivo comum";
}


FormaInvalida naoComum(const fs::path& arquivo, mode_t modo) {
    return FormaInvalida(arquivo.string() + " \u00E9 " + tipoDe(modo) +
                         ", n\u00E3o um arquivo comum; o arquivo de configura\u00E7\u00F5es precisa ser um arquivo "
                         "comum (ou um link para um)");
}

// Where the byte `posicao` of `t` sits, as "linha L, coluna C" (columns in characters).
std::string ondeEsta(std::string_view t, std::size_t posicao) {
    posicao = std::min(posicao, t.size());
    std::size_t linha = 1;
    std::size_t coluna = 1;
    for (std::size_t i = 0; i < posicao; ++i) {
        if (t[i] == '\n') {
            ++linha;
            coluna = 1;
        } else if ((static_cast<unsigned char>(t[i]) & 0xC0) != 0x80) {
            ++coluna;
        }
    }
    return "linha " + std::to_string(linha) + ", coluna " + std::to_string(coluna);
}

// The first byte of `t` that breaks UTF-8 (an overlong form, a surrogate, a code
// point past U+10FFFF, a cut sequence), or npos.
std::size_t foraDeUtf8(std::string_view t) {
    for (std::size_t i = 0; i < t.size();) {
        const auto c = static_cast<unsigned char>(t[i]);
        std::size_t n = 0;
        unsigned char min = 0x80, max = 0xBF;
        if (c < 0x80) {
            ++i;
            continue;
        }
        if (c >= 0xC2 && c <= 0xDF) n = 1;
        else if (c == 0xE0) n = 2, min = 0xA0;
        else if (c == 0xED) n = 2, max = 0x9F;
        else if (c >= 0xE1 && c <= 0xEF) n = 2;
        else if (c == 0xF0) n = 3, min = 0x90;
        else if (c >= 0xF1 && c <= 0xF3) n = 3;
        else if (c == 0xF4) n = 3, max = 0x8F;
        else return i;
        for (std::size_t k = 1; k <= n; ++k) {
            if (i + k >= t.size()) return i;
            const auto d = static_cast<unsigned char>(t[i + k]);
            if (d < (k == 1 ? min : 0x80) || d > (k == 1 ? max : 0xBF)) return i;
        }
        i += n + 1;
    }
    return std::string_view::npos;
}

}  // namespace

// The file a settings path stands for: the target of a symbolic link (so that a link
// kept by a dotfiles manager stays a link), else the path itself.
fs::path alvoDe(const fs::path& arquivo) {
    std::error_code erro;
    if (!fs::is_symlink(fs::symlink_status(arquivo, erro))) return arquivo;
    if (fs::path c = fs::canonical(arquivo, erro); !erro) return c;
    // A link to a file that does not exist yet: the file will be made where it points.
    fs::path destino = fs::read_symlink(arquivo, erro);
    if (erro) return arquivo;
    return destino.is_absolute() ? destino : arquivo.parent_path() / destino;
}


// Reads the whole file; throws FormaInvalida with a message when it cannot. Anything
// but a regular file is refused before it is opened, and the opening never waits (a
// FIFO or a device put in the file's place between the check and the opening is
// refused too).
Leitura ler(const fs::path& arquivo) {
    Leitura l;
    struct stat antes {};
    if (stat(arquivo.c_str(), &antes) != 0) {
        if (errno == ENOENT) return l;
        throw FormaInvalida("n\u00E3o consegui ler " + arquivo.string() + ": " + erroDoSistema(errno));
    }
    if (!S_ISREG(antes.st_mode)) throw naoComum(arquivo, antes.st_mode);
    const int fd = open(arquivo.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        if (errno == ENOENT) return l;
        throw FormaInvalida("n\u00E3o consegui ler " + arquivo.string() + ": " + erroDoSistema(errno));
    }
    fstat(fd, &l.info);
    if (!S_ISREG(l.info.st_mode)) {
        close(fd);
        throw naoComum(arquivo, l.info.st_mode);
    }
    char bloco[65536];
    while (true) {
        const ssize_t n = read(fd, bloco, sizeof bloco);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int e = errno;
            close(fd);
            throw FormaInvalida("n\u00E3o consegui ler " + arquivo.string() + ": " + erroDoSistema(e));
        }
        if (n == 0) break;
        l.texto.append(bloco, static_cast<std::size_t>(n));
    }
    close(fd);
    l.existe = true;
    return l;
}

bool soEspacos(std::string_view t) {
    return t.find_first_not_of(" \t\r\n") == std::string_view::npos;
}



// The settings as a JSON object; an empty file counts as "{}". The whole file must be
// one JSON text in UTF-8: a NUL byte, anything after the value or a byte that is not
// UTF-8 is refused with its place (readers differ on those, and a file that one of
// them stops reading early is not the file the person sees).
Json interpretar(const Leitura& leitura, const fs::path& arquivo) {
    if (!leitura.existe || soEspacos(leitura.texto)) return Json::object();
    const std::string_view t = leitura.texto;
    const auto recusar = [&](const std::string& porque, std::size_t onde) {
        return FormaInvalida(arquivo.string() + " n\u00E3o \u00E9 um JSON v\u00E1lido (" + ondeEsta(t, onde) + ")" +
                                 (porque.empty() ? "" : ": " + porque),
                             true);
    };
    if (const std::size_t nulo = t.find('\0'); nulo != std::string_view::npos) {
        throw recusar("tem um byte nulo", nulo);
    }
    if (const std::size_t ruim = foraDeUtf8(t); ruim != std::string_view::npos) {
        throw recusar("tem bytes que n\u00E3o s\u00E3o UTF-8", ruim);
    }
    Json config;
    try {
        config = Json::parse(t, nullptr, true, false);
    } catch (const Json::parse_error& e) {
        const std::size_t ate = e.byte > 0 ? e.byte - 1 : 0;
        const bool sobra = std::string_view(e.what()).find("expected end of input") != std::string_view::npos;
        throw recusar(sobra ? "h\u00E1 mais texto depois do valor" : "", ate);
    }
    if (!config.is_object()) {
        throw FormaInvalida(arquivo.string() + " n\u00E3o guarda um objeto JSON no n\u00EDvel de cima", true);
    }
    return config;
}

}  // namespace kivo::app
