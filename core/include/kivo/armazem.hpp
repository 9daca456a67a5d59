// The session store: one JSON file per session in one folder, shared by many
// processes. Every read-modify-write runs under one exclusive flock on the folder's
// ".trava"; every file is replaced atomically, so readers need no lock. An Armazem
// holds no open files or caches: const methods may be called from any thread.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kivo/acao.hpp"
#include "kivo/sessao.hpp"

namespace kivo {

class Armazem {
public:
    explicit Armazem(std::filesystem::path pasta);
    const std::filesystem::path& pasta() const;

    // File-name stem for an id: its letters, marks, numbers, "_" and "-" (first 100
    // code points), or "sem-id" when none is left.
    static std::string nomeSeguro(std::string_view id);

    // The record stored for `id`, or nullopt when the file is missing, unreadable or
    // not a regular file (it is opened without blocking and without following a
    // link). Takes no lock. Never throws.
    std::optional<Sessao> ler(std::string_view id) const;

    // Every readable record of the folder, in listing order; unreadable files and
    // anything that is not a regular file (a FIFO, a link) are skipped, each on its
    // own, never blocking; a missing folder gives an empty list and is not created.
    // Takes no lock. Never throws.
    std::vector<Sessao> lerTodas() const;

    // Creates the folder and replaces the record's file atomically. Takes no lock.
    // Throws std::system_error (folder or file could not be written; the old file
    // is then unchanged) or std::domain_error (a time is not finite).
    void gravar(const Sessao& sessao) const;

    // Removes the record's file, if any. Never throws.
    void apagar(std::string_view id) const;

    // Under the folder's lock: reads the record for `id`, calls `f` exactly once
    // with it (or nullopt) and carries out the returned action. `f` must not update
    // the same folder. Failures are swallowed; never throws.
    void atualizar(std::string_view id,
                   const std::function<Acao(const std::optional<Sessao>&)>& f) const;

private:
    void substituir(const Sessao& sessao) const;  // gravar, once the folder exists

    std::filesystem::path pasta_;
};

}  // namespace kivo
