// Writing to a descriptor, shared by the subcommands.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <string_view>

namespace kivo::app {

// Writes everything, retrying after signals; false once the descriptor refuses.
inline bool escreverTudo(int fd, std::string_view texto) {
    while (!texto.empty()) {
        const ssize_t n = write(fd, texto.data(), texto.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        texto.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace kivo::app
