// Unicode text rules shared by both programs, on ICU.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace text {

/// Number of user-perceived characters (extended grapheme clusters).
std::size_t characterCount(std::string_view utf8);

/// The first `n` user-perceived characters of `utf8` (all of it when it has fewer).
std::string characterPrefix(std::string_view utf8, std::size_t n);

/// True when the first Unicode scalar of `character` has a Numeric_Type (decimal, digit or
/// numeric): 5, ½, Ⅻ and 七 are numeric. Empty text is not numeric.
bool isNumericCharacter(std::string_view character);

/// Number of user-perceived characters of `utf8` that are numeric by `isNumericCharacter`.
std::size_t numericCharacterCount(std::string_view utf8);

/// `utf8` without leading and trailing White_Space (line breaks and U+3000 included).
std::string trimWhitespace(std::string_view utf8);

/// True when `bytes` is well-formed UTF-8.
bool isValidUtf8(std::string_view bytes);

/// `bytes` with every ill-formed UTF-8 sequence replaced by U+FFFD.
std::string sanitizeUtf8(std::string_view bytes);

/// UTF-16 code units as UTF-8; unpaired surrogates become U+FFFD.
std::string utf16ToUtf8(std::u16string_view units);

} // namespace text
