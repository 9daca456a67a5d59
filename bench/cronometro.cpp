// Times a command that reads a payload from a pipe: N runs, each a fork, exec and a
// write of the whole payload into the command's standard input, up to its exit.
// Prints the median wall time in microseconds and the largest peak RSS in KiB.
//
//   kivo_cronometro PAYLOAD RUNS COMMAND [ARGS...]
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

double agora() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "uso: %s PAYLOAD RUNS COMANDO [ARGS...]\n", argv[0]);
        return 2;
    }
    std::ifstream f(argv[1], std::ios::binary);
    const std::string payload{std::istreambuf_iterator<char>(f), {}};
    const int runs = std::atoi(argv[2]);
    signal(SIGPIPE, SIG_IGN);
    const int nulo = open("/dev/null", O_WRONLY);
    std::vector<double> tempos;
    long rssMaximo = 0;
    for (int i = 0; i < runs; ++i) {
        int p[2];
        if (pipe(p) != 0) return 1;
        const double t0 = agora();
        const pid_t pid = fork();
        if (pid == 0) {
            dup2(p[0], 0);
            dup2(nulo, 1);
            close(p[0]);
            close(p[1]);
            execv(argv[3], argv + 3);
            _exit(127);
        }
        close(p[0]);
        for (std::size_t feito = 0; feito < payload.size();) {
            const ssize_t n = write(p[1], payload.data() + feito, payload.size() - feito);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            feito += static_cast<std::size_t>(n);
        }
        close(p[1]);
        int st = 0;
        rusage uso{};
        wait4(pid, &st, 0, &uso);
        tempos.push_back(agora() - t0);
#ifdef __APPLE__
        rssMaximo = std::max(rssMaximo, static_cast<long>(uso.ru_maxrss / 1024));  // bytes there
#else
        rssMaximo = std::max(rssMaximo, uso.ru_maxrss);  // KiB
#endif
        if (!WIFEXITED(st) || WEXITSTATUS(st) != 0) {
            std::fprintf(stderr, "%s terminou com status %d\n", argv[3], st);
            return 1;
        }
    }
    std::sort(tempos.begin(), tempos.end());
    std::printf("%.1f %ld\n", tempos[tempos.size() / 2], rssMaximo);
    return 0;
}
