// `kivo instalar` and `kivo desinstalar`: registering kivo_gancho for Claude Code's
// hook events in its user settings file, and taking it out again (what goes in the
// settings: configuracao.hpp; the programs' paths: programas.hpp). The file is
// written only when something changes: atomically (a temporary file in the same
// folder, then a rename) and after a copy of the previous file has been made. Every
// other setting and every other hook is kept as it was, in its order. A file that
// cannot be read as a JSON object is never written. Single-threaded use.
#pragma once

#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "instalar/configuracao.hpp"
#include "instalar/programas.hpp"

namespace kivo::app {

// What a subcommand prints and its exit status.
struct Resultado {
    int status = 0;
    std::string saida;  // for standard output
    std::string erros;  // for standard error
};

struct OpcoesInstalar {
    std::filesystem::path arquivo;  // the settings file (a symbolic link is followed)
    std::string gancho;             // absolute path of kivo_gancho; used by instalar
    bool mostrar = false;           // say what would change, write nothing
    std::time_t agora = 0;          // names the copy of the previous file
    bool linha = false;             // instalar: also "statusLine" (when there is none)
    std::string kivo;               // absolute path of kivo, for "statusLine"
    // instalar: the data folder to create with mode 0700 (nothing when empty);
    // desinstalar: named among what is left behind, when it exists.
    std::filesystem::path pastaDados;
    // Called just before the new file replaces the old one (tests change the file
    // there, as Claude Code may).
    std::function<void()> antesDeTrocar;
};

// Makes each of the eleven events hold exactly one entry for kivo_gancho,
// {"type":"command","command":<comandoPara(gancho)>,"timeout":10}, in a group of its
// own with the matcher "*" for tool events. A lone entry of ours in a group of its
// own (another path, the earlier bare-path form) is rewritten where it is; other
// entries of ours are replaced. With `linha`, sets "statusLine" to
// comandoDaLinha(kivo) when the settings have none, and otherwise leaves it and
// says how to combine the two. Only the text of the "hooks" (and "statusLine")
// member changes: every other byte of the file stays; a new member is added with
// the file's indentation. Creates the file and its folder when missing, and the
// data folder with mode 0700 (warning when an existing one is open to others).
// If the file changes between the reading and the replacement (Claude Code writes
// it too), starts again. Status 1, with the file untouched, when it is not JSON,
// its top level or its "hooks" is not an object, an event's value is not a list,
// the file is read-only or someone else's, the gancho path is not UTF-8, or it
// cannot be written.
Resultado instalar(const OpcoesInstalar& opcoes);

// The settings file as instalar reads it (a link followed): whether it exists, its
// object, or, in `erro`, why instalar would refuse it.
struct Configuracoes {
    bool existe = false;
    nlohmann::ordered_json valor = nlohmann::ordered_json::object();
    std::string erro;
};
Configuracoes lerConfiguracoes(const std::filesystem::path& arquivo);

// The copies instalar and desinstalar left beside `arquivo` (a link followed), by
// name, oldest first.
std::vector<std::filesystem::path> copiasDe(const std::filesystem::path& arquivo);

// Removes from the eleven events every hook entry whose command runs kivo_gancho,
// then the groups and event lists (and a "hooks" object) that this leaves empty, and
// a "statusLine" that runs `kivo linha`. Nothing else changes. A missing file has
// nothing to remove (status 0).
Resultado desinstalar(const OpcoesInstalar& opcoes);

// `kivo instalar --tmux`: in tmux's configuration file `opcoes.arquivo`, the key
// binding of `kivo ir` (prefix, then K), as a comment line and
// `bind-key K run-shell "'<kivo>' ir"` added at the end; an earlier binding of ours is
// rewritten where it stands; a K bound by a line of the user's own is refused. The
// same guarantees as the settings: every other byte kept, a copy of the previous file,
// an atomic replace with its permissions, a link followed, nothing written with
// `mostrar` or when nothing changes. desinstalarTmux takes out exactly those two
// lines; with `calado`, it says nothing when there is nothing to take out.
Resultado instalarTmux(const OpcoesInstalar& opcoes);
Resultado desinstalarTmux(const OpcoesInstalar& opcoes, bool calado = false);

// The file tmux reads its configuration from: the first that exists of ~/.tmux.conf,
// $XDG_CONFIG_HOME/tmux/tmux.conf and ~/.config/tmux/tmux.conf; ~/.tmux.conf when
// none does (the home folder as the records' paths find it). `xdg` is
// $XDG_CONFIG_HOME (null when unset).
std::filesystem::path arquivoDoTmux(const char* xdg);

}  // namespace kivo::app
