#include "kivo/caminhos.hpp"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "caminhos.hpp"
#include "unicode.hpp"

namespace kivo::Caminhos {

namespace {

const char* variavel(const char* nome) {
    const char* v = std::getenv(nome);
    if (!v || !*v || !texto::utf8Valido(v)) return nullptr;
    return v;
}

}  // namespace

std::filesystem::path casa() {
    if (const char* home = variavel("HOME")) return home;
    std::vector<char> buf(16384);
    passwd pw{};
    passwd* achou = nullptr;
    if (getpwuid_r(getuid(), &pw, buf.data(), buf.size(), &achou) == 0 && achou && achou->pw_dir)
        return achou->pw_dir;
    return {};
}

std::filesystem::path base() {
    if (const char* dir = variavel("KIVO_DIR")) return dir;
    return casa() / ".kivo";
}

std::filesystem::path sessoes() { return base() / "sessoes"; }

}  // namespace kivo::Caminhos
