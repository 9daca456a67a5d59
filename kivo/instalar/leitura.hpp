// Reading Claude Code's settings file for the installer: only a regular file (or a
// link to one), opened without blocking, holding exactly one JSON object in UTF-8.
#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace kivo::app {

// Why the command stops without writing; the message is for the user. `doConteudo`
// when the file's content is at fault (rather than the disk).
struct FormaInvalida : std::runtime_error {
    explicit FormaInvalida(const std::string& mensagem, bool conteudo = false)
        : std::runtime_error(mensagem), doConteudo(conteudo) {}
    bool doConteudo;
};

struct Leitura {
    bool existe = false;
    std::string texto;
    struct stat info {};
};

// The file a settings path stands for: the target of a symbolic link, else the path.
std::filesystem::path alvoDe(const std::filesystem::path& arquivo);
// The file's bytes and status (nothing when it does not exist). Throws FormaInvalida.
Leitura ler(const std::filesystem::path& arquivo);
bool soEspacos(std::string_view t);
// The settings as a JSON object ("{}" for a missing or blank file). Throws FormaInvalida.
nlohmann::ordered_json interpretar(const Leitura& leitura, const std::filesystem::path& arquivo);

}  // namespace kivo::app
