// Texts from records made safe to show, and measured and cut by the columns they take
// on a terminal. Shared by every view (panel, status line, notifications, web page).
// Pure and thread-safe; ICU is only touched for text that is not plain ASCII.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kivo::app {

// `texto` safe to show: C0 and C1 control characters and DEL (escape sequences, line
// breaks, tabs) become one space each; Unicode format characters (category Cf: bidi
// overrides and isolates, zero-width space, soft hyphen...) are dropped, except the
// zero-width joiner, which only glues emoji together; bytes that are not UTF-8 become
// U+FFFD. Texts in records come from the agent and the repository, and must not be
// able to drive the terminal or reorder the line. Never throws (but std::bad_alloc).
std::string limpo(std::string_view texto);

// Columns `texto` takes on a terminal, counted per grapheme cluster: 2 for East Asian
// wide and fullwidth characters and for emoji shown as pictures, 0 for a cluster made
// only of combining marks or format characters, 1 otherwise. Meant for limpo() text.
int larguraDe(std::string_view texto);

// `texto` when it takes at most `largura` columns; otherwise its longest prefix of
// whole grapheme clusters that, followed by "…", fits, plus "…" (just "…" when
// `largura` is 1, "" when it is below 1).
std::string caber(std::string_view texto, int largura);

// `texto` broken into lines of at most `largura` columns, at spaces where possible
// (a word longer than a line is split between clusters). Spaces at the breaks are
// dropped. A `largura` below 1 gives the text as one line. Never empty.
std::vector<std::string> quebrar(std::string_view texto, int largura);

// `texto` as one shell word: in single quotes, each ' written as '\''.
std::string entreAspas(std::string_view texto);

}  // namespace kivo::app
