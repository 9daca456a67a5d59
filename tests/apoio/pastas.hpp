// Test helpers: a temporary folder removed with everything in it, whole-file reads and writes, a folder's names.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

namespace kivo::teste {
class PastaTemporaria {
public:
    PastaTemporaria() {
        std::string modelo = (std::filesystem::temp_directory_path() / "kivo-teste-XXXXXX").string();
        if (mkdtemp(modelo.data())) raiz_ = modelo;
    }
    ~PastaTemporaria() {
        std::error_code e;  // a test may have taken the write permission away
        std::filesystem::permissions(raiz_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, e);
        std::filesystem::remove_all(raiz_, e);
    }
    PastaTemporaria(const PastaTemporaria&) = delete;
    PastaTemporaria& operator=(const PastaTemporaria&) = delete;
    const std::filesystem::path& raiz() const { return raiz_; }

private:
    std::filesystem::path raiz_;
};

inline std::string conteudo(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}

inline void escrever(const std::filesystem::path& p, const std::string& s) { std::ofstream(p, std::ios::binary) << s; }

inline std::set<std::string> nomesEm(const std::filesystem::path& pasta) {
    std::set<std::string> n;
    std::error_code e;
    for (const auto& item : std::filesystem::directory_iterator(pasta, e)) n.insert(item.path().filename().string());
    return n;
}
}  // namespace kivo::teste
