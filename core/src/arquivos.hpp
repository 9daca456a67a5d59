// Private file layer of the store and of kivo's installer: whole-file reads, new
// files, atomic replacement, folder creation and listing, over POSIX calls. The few calls that can fail in interesting
// ways go through a table of function pointers, so tests can inject failures (a full
// disk, a failed rename) without touching the real file system. Never prints.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <functional>
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

// The file `nome` in the folder open as `pasta`, opened as lerTudoEm opens it: a
// descriptor to read and close, or -1 when it cannot be opened or is not a regular file.
int abrirEm(int pasta, const std::string& nome);

// Creates `pasta` and its missing parents, each 0700 (before the umask): records are
// private to their owner. A folder that exists is left as it is. Returns 0, or the errno of the failure
// (ENOTDIR when something that is not a folder is in the way).
int criarPastas(const std::string& pasta);

// How a new file is made.
struct Gravacao {
    mode_t modo = 0666;      // the mode it is created with (the umask applies)...
    bool modoExato = false;  // ...or exactly `modo` (the mode of the file it copies or replaces)
    bool comDono = false;    // for root: owned by `uid`:`gid` (the owner of the file replaced)
    uid_t uid = 0;
    gid_t gid = 0;
    bool duravel = false;    // on the disk before it counts (and a rename with its folder)
};

// Writes `dados` to the new file `caminho`, created exclusively (never an existing
// file, never through a link). Returns 0, or the errno of the failure, after removing
// what it made (EEXIST: the name is taken and nothing was touched).
int criar(const std::string& caminho, std::string_view dados, const Gravacao& g = {});

// A copy of `dados` made with criar() at `base`, or at "<base>-2" ... "<base>-99" when
// the name is taken. `caminho` is the file made, or the last name tried when `erro`
// (an errno; EEXIST when no name was free) is not 0.
struct Copia {
    std::string caminho;
    int erro = 0;
};
Copia copiar(const std::string& base, std::string_view dados, const Gravacao& g = {});

// Writes `dados` to a new temporary file in `pasta` (named ".<stem>.<random>.tmp")
// and renames it over `pasta/nome` once `conferir` (when given) agrees. Whatever
// fails, the temporary file is removed and `pasta/nome` is as it was.
struct Troca {
    int erro = 0;             // 0, or the errno of the failure
    bool aoRenomear = false;  // the failure was the rename, after the file was written
    bool desistiu = false;    // `conferir` said no
};
Troca substituir(const std::string& pasta, const std::string& nome, std::string_view dados,
                 const Gravacao& g = {}, const std::function<bool()>& conferir = {});

// Names in `pasta` in listing order ("." and ".." left out); empty when it cannot be
// listed.
std::vector<std::string> listar(const std::string& pasta);

}  // namespace kivo::arquivos
