// Private: the home folder, shared by the store's paths and kivo's installer so that
// both find the same one.
#pragma once

#include <filesystem>

namespace kivo::Caminhos {

// HOME when it is set, not empty and UTF-8; else the account's folder in the password
// database; empty when neither is known.
std::filesystem::path casa();

}  // namespace kivo::Caminhos
