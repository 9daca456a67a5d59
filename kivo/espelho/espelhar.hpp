// `kivo espelhar`: keeps, in the data folder, a mirror of other machines' sessions
// for every view here (apresentacao/espelho.hpp). For each machine it runs `kivo
// transmitir` over there through the user's own ssh (their config, keys, jump hosts),
// reads its lines, and replaces the machine's file whenever something changed: the
// records with their times moved onto this machine's clock by the difference the
// other side reports, the pids alive over there, and when it was last heard from.
// A machine that drops, or cannot be reached, is marked so at once and tried again
// after 1, 2, 4 ... up to 60 seconds; a line past kLinhaMaxima, or anything that is
// not the stream, ends the connection with a message. One thread; runs until
// SIGINT, SIGTERM or SIGHUP.
#pragma once

#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <sys/types.h>
#include <string>
#include <string_view>
#include <vector>

namespace kivo::app {

struct OpcoesEspelhar {
    std::vector<std::string> maquinas;   // as the user wrote them: passed to ssh after "--"
    std::vector<std::string> ssh;        // the ssh command's words (KIVO_SSH split on spaces)
    std::string remoto = "kivo";         // kivo over there
    std::filesystem::path espelhos;      // where the files go
    std::function<double()> relogio;
    // One line per change of a machine's state ("gpu-box: 3 sessões",
    // "gpu-box: sem contato (…); nova tentativa em 4 s"); null: none.
    std::FILE* mensagens = stderr;
    // Started by a view (--maquina): ends with it (Linux: when its parent dies).
    bool comPai = false;
};

// The ssh command from KIVO_SSH (null or blank: "ssh"), split on spaces.
std::vector<std::string> comandoSsh(const char* kivoSsh);

// The command line that reaches `maquina`: the ssh words, BatchMode and keepalive
// options, "--", the machine, and the remote command (`remoto` quoted for the
// remote shell, then "transmitir").
std::vector<std::string> linhaDeComando(const OpcoesEspelhar& opcoes, std::string_view maquina);

// Starts `kivo espelhar` (the program `kivo`) for `maquinas` as a child that ends
// with this process, its output thrown away (what happens shows in the views); its
// id, or nullopt when it could not start. pararEspelho ends it and waits for it.
std::optional<pid_t> iniciarEspelho(const std::string& kivo, const std::vector<std::string>& maquinas);
void pararEspelho(pid_t filho);

// Runs until asked to stop; 0 then, 2 when a machine's name is empty or starts
// with "-" after the options were read.
int espelhar(const OpcoesEspelhar& opcoes);

}  // namespace kivo::app
