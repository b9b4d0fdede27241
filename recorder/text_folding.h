// Text as it is compared with what was typed: the forms an application may show the same
// characters in are made one.
#pragma once

#include <string>
#include <string_view>

namespace text_folding {

/// `utf8` in NFKC with case folding ("Ａ", "A" and "a" are one, "ß" is "ss"), every white space
/// character as U+0020. Ill-formed bytes count as U+FFFD. Every buffer that held the text on
/// the way is wiped; the caller wipes the result when it was private (`wipe`).
std::u32string fold(std::string_view utf8);

/// `folded` with each run of spaces made one and none at either end.
std::u32string collapseSpaces(std::u32string_view folded);

/// Overwrites the whole allocation of `text` and empties it.
void wipe(std::u32string& text);

} // namespace text_folding
