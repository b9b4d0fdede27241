// The session's languages as keys of localized desktop-file values ("Name[de_AT]").
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace locale_names {

/// `locale` and its less specific forms, codeset dropped: "de_AT.UTF-8@euro" gives
/// de_AT@euro, de_AT, de@euro, de. Nothing for an empty language.
std::vector<std::string> variantsOf(std::string_view locale);

/// The languages of messages from the environment, most preferred first, each followed by its
/// less specific forms: the locales of LANGUAGE (a colon list), LC_ALL, LC_MESSAGES or LANG,
/// whichever is set first; LANGUAGE counts only when the locale is not C or POSIX, and those
/// locales have no language.
std::vector<std::string> sessionLanguages();

} // namespace locale_names
