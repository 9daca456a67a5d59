// A process's ancestry and terminal, read from the system (/proc on Linux; sysctl on
// macOS, where it is unverified). Reads only; thread-safe.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace kivo::app {

// The parent of `pid`, or nullopt when `pid` is gone or cannot be read.
std::optional<pid_t> paiDe(pid_t pid);

// `pid` itself, its parent, the parent's parent... up to (not including) pid 1 and
// at most 64 of them; empty when `pid` is gone.
std::vector<pid_t> ancestrais(pid_t pid);

// The terminal device `pid` reads or writes ("/dev/pts/3"), looked for on its
// standard descriptors; "" when none is a terminal or they cannot be read (another
// user's process).
std::string terminalDe(pid_t pid);

}  // namespace kivo::app
