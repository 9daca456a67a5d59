// Watching a folder for changes to the files in it, without polling: inotify on
// Linux. Files are replaced by a rename into the folder, so IN_MOVED_TO is the usual
// event; the others cover removals and writes in place. While the folder does not
// exist yet, its parent is watched for it to appear. Elsewhere nothing is watched
// (descritor() is -1) and the caller reads on a timer instead. Not thread-safe.
#pragma once

#include <filesystem>
#include <string>

namespace kivo::app {

class Vigia {
public:
    // Names ending in `sufixo` count; with none, names not starting with "." (which a
    // temporary file does).
    explicit Vigia(std::string sufixo);
    ~Vigia();
    Vigia(const Vigia&) = delete;
    Vigia& operator=(const Vigia&) = delete;

    // Readable (poll) when events are pending; -1 where nothing can be watched.
    int descritor() const { return fd_; }
    bool ativo() const { return wd_ >= 0; }
    // Watching the folder, or its parent for the folder to appear.
    bool atento() const { return wd_ >= 0 || wdPai_ >= 0; }

    // Watches `pasta`; false when it does not exist (yet).
    bool vigiar(const std::filesystem::path& pasta);

    // Reads the pending events: whether a file that counts changed (or the folder
    // appeared). A folder that went away stops the watch (ativo() turns false).
    bool colher();

private:
    int fd_ = -1;
    int wd_ = -1;
    int wdPai_ = -1;
    std::string nome_;
    std::string sufixo_;
};

}  // namespace kivo::app
