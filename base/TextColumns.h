#pragma once
// How much room text takes on a terminal, in columns: most characters one, East Asian wide ones
// and emoji two, combining marks and zero-width characters none. The C library's wcwidth
// depends on the locale and Windows has none, so the widths are Unicode's East Asian Width in
// brief (the ranges that matter on a line of a view), the same on every system.

#include <string>

namespace padsmith {

// The columns of one character.
int CharacterColumns(char32_t c);
// The columns of UTF-8 text meant to be shown (base/ShownText: no controls left).
int TextColumns(const std::string& text);
// `text` as it fits in `columns` columns: whole when it fits, else cut to leave room for "...",
// which marks the cut (with fewer than 4 columns, cut without it). A wide character is never cut
// in half.
std::string FitToColumns(const std::string& text, int columns);

}  // namespace padsmith
