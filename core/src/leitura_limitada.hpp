// Reading the records for the views: a file is read in pieces, never whole, and each
// text is kept within a bound while it is decoded, so holding N records costs
// O(N x bound) whatever their files hold. The store's own readings (Armazem) keep
// every byte.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

#include "kivo/sessao.hpp"

namespace kivo::limitada {

// The most read from a file at a time.
inline constexpr std::size_t kPedaco = 64 * 1024;

// The record sessaoDeJson(texto) gives, with every text cut to at most `limite` bytes
// (16 when less: more than any member's name) of whole UTF-8 characters: the cwd
// keeps its end (the project's name is its last folder), the others their start.
// Whatever follows a cut is still validated, so a text that sessaoDeJson rejects is
// rejected here too. A record whose id or one of whose numbers is longer than
// `limite` bytes is no record (nullopt): a cut id would not name the record's file.
std::optional<Sessao> sessaoDeJson(std::string_view texto, std::size_t limite);

// The same for the bytes of `fd` read in pieces of at most kPedaco bytes into
// `pedaco` (kept between calls). A read that returns less than it was asked for is
// taken as the end, as for every reading of the records (they are replaced whole).
std::optional<Sessao> sessaoDe(int fd, std::size_t limite, std::vector<char>& pedaco);

// Armazem(pasta).lerTodas() with each record read as sessaoDe does: the same files
// in the same order, the same skipped.
std::vector<Sessao> lerTodas(const std::filesystem::path& pasta, std::size_t limite);

}  // namespace kivo::limitada
