// System errors in the program's own words: what errno means, in Brazilian Portuguese,
// for the messages every command prints. Pure; thread-safe.
#pragma once

#include <string>

namespace kivo::app {

// What `numero` (an errno value) means, as the end of a sentence: "n\u00E3o existe",
// "sem permiss\u00E3o"... An error without a text of its own is named by its number.
std::string erroDoSistema(int numero);

}  // namespace kivo::app
