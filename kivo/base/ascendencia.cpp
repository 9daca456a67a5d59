#include "base/ascendencia.hpp"

#include <unistd.h>
#ifdef __APPLE__
#include <sys/sysctl.h>
#endif

#include <fstream>
#include <sstream>

namespace kivo::app {

std::optional<pid_t> paiDe(pid_t pid) {
    if (pid < 1) return std::nullopt;
#ifdef __APPLE__
    int mib[4] = {CTL_KERN, KERN_PROC, KERN_PROC_PID, pid};
    kinfo_proc info{};
    std::size_t tamanho = sizeof info;
    if (sysctl(mib, 4, &info, &tamanho, nullptr, 0) != 0 || tamanho == 0) return std::nullopt;
    return info.kp_eproc.e_ppid;
#else
    std::ifstream arquivo("/proc/" + std::to_string(pid) + "/stat");
    std::string linha;
    if (!std::getline(arquivo, linha)) return std::nullopt;
    // "pid (comm) state ppid ...": comm may hold spaces and parentheses, so the
    // fields are counted from the last ')'.
    const std::size_t fecha = linha.rfind(')');
    if (fecha == std::string::npos) return std::nullopt;
    std::istringstream resto(linha.substr(fecha + 1));
    std::string estado;
    long pai = -1;
    if (!(resto >> estado >> pai) || pai < 0) return std::nullopt;
    return static_cast<pid_t>(pai);
#endif
}

std::vector<pid_t> ancestrais(pid_t pid) {
    std::vector<pid_t> linha;
    std::optional<pid_t> atual = pid;
    if (!paiDe(pid)) return linha;
    while (atual && *atual > 1 && linha.size() < 64) {
        linha.push_back(*atual);
        atual = paiDe(*atual);
    }
    return linha;
}

std::string terminalDe(pid_t pid) {
#ifdef __APPLE__
    (void)pid;
    return "";
#else
    for (const int fd : {0, 1, 2}) {
        const std::string link = "/proc/" + std::to_string(pid) + "/fd/" + std::to_string(fd);
        char alvo[256];
        const ssize_t n = readlink(link.c_str(), alvo, sizeof alvo - 1);
        if (n <= 0) continue;
        const std::string caminho(alvo, static_cast<std::size_t>(n));
        if (caminho.rfind("/dev/pts/", 0) == 0 || caminho.rfind("/dev/tty", 0) == 0) return caminho;
    }
    return "";
#endif
}

}  // namespace kivo::app
