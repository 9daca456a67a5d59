// Private file layer of the store: whole-file reads, atomic replacement, folder
// creation and listing, over POSIX calls. The few calls that can fail in interesting
// ways go through a table of function pointers, so tests can inject failures (a full
// disk, a failed rename) without touching the real file system. Never prints.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kivo::arquivos {

struct Operacoes {
    ssize_t (*escrever)(int fd, const void* dados, std::size_t n);
    int (*renomear)(const char* de, const char* para);
    int (*abrir)(const char* caminho, int flags, mode_t modo);
};
// The calls in use; tests may replace them (and must restore `padrao()`).
Operacoes& operacoes();
const Operacoes& padrao();

// `pasta` + "/" + `nome` (just `nome` for an empty folder path).
std::string juntar(const std::string& pasta, std::string_view nome);

// The whole content of a regular file, or nullopt when it cannot be read or is not a
// regular file (a FIFO, a device, a folder, a symbolic link). Never blocks on opening.
std::optional<std::string> lerTudo(const std::string& caminho);

// The same for the file `nome` in the folder open as `pasta` (a descriptor), for
// readers of many files: no path walk, and a read that returns less than the size
// the file had when opened is taken as its end (records are replaced whole, never
// appended), saving the read that would return 0.
std::optional<std::string> lerTudoEm(int pasta, const std::string& nome);

// Creates `pasta` and its missing parents, each 0700 (before the umask): records are
// private to their owner. A folder that exists is left as it is. Returns 0, or the errno of the failure
// (ENOTDIR when something that is not a folder is in the way).
int criarPastas(const std::string& pasta);

// Writes `dados` to a new, exclusively created temporary file in `pasta` (named
// ".<stem>.<random>.tmp") and renames it over `pasta/nome`. Returns 0, or the errno
// of the failure, after removing the temporary file.
int substituir(const std::string& pasta, const std::string& nome, std::string_view dados);

// Names in `pasta` in listing order ("." and ".." left out); empty when it cannot be
// listed.
std::vector<std::string> listar(const std::string& pasta);

}  // namespace kivo::arquivos
