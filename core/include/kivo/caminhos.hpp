// Where the records live. Computed afresh from the environment on every call;
// nothing is created.
#pragma once

#include <filesystem>

namespace kivo::Caminhos {

// KIVO_DIR when set, valid UTF-8 and not empty (used as given, no "~" expansion);
// otherwise ".kivo" in the home folder (HOME when set and not empty, else the
// password database).
std::filesystem::path base();

// base() / "sessoes".
std::filesystem::path sessoes();

}  // namespace kivo::Caminhos
