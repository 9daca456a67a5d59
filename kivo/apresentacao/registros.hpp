// What every view reads of the records folder: Armazem::lerTodas's records (the same
// files, in the same order, the same ones skipped), each file read in pieces and each
// text kept within kTextoLido bytes while it is decoded, so that a huge record costs
// a view no more than a small one. The cwd keeps its end (the project's name), the
// other texts their start; a record whose id or a number is longer than the bound is
// left out, as no view could name its file. Thread-safe; never throws.
#pragma once

#include <cstddef>
#include <filesystem>
#include <vector>

#include "kivo/sessao.hpp"

namespace kivo::app {

// Far more than any view shows of a text (a terminal's line, the page's 1 KiB).
inline constexpr std::size_t kTextoLido = 64 * 1024;

std::vector<Sessao> lerRegistros(const std::filesystem::path& pasta);

}  // namespace kivo::app
