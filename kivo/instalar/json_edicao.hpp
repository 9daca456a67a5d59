// Editing one member of the top-level object of a JSON text while every other byte of
// the text stays as it was: the person's spacing, key order, escapes and number
// spellings. Used for settings files that people and other programs keep by hand.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace kivo::app {

// The indentation a text's lines use: the blanks that start its first indented line
// (one tab when they start with a tab); two spaces when no line is indented.
struct Recuo {
    int largura = 2;
    char caractere = ' ';
};
Recuo recuoDe(std::string_view texto);

// `original`, a JSON text whose top level is an object (a UTF-8 byte-order mark
// allowed), with its member `chave` set to `valor`:
// - present: the value is replaced where it stands (the last of repeated keys, the
//   one readers keep), spread over lines with the text's indentation step, each line
//   after the first starting like the member's own line;
// - missing: the member is added after the last one, on that line when the object is
//   on one line, else on a line of its own indented like the last member;
// - `valor` nullopt: the member is removed with its comma (nothing when missing).
// nullopt when `original` is not such a text, or `valor` holds text that is not UTF-8.
std::optional<std::string> trocarMembro(std::string_view original, std::string_view chave,
                                        const std::optional<nlohmann::ordered_json>& valor);

}  // namespace kivo::app
