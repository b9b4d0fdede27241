// The [Desktop Entry] group of a desktop file, read with the key-file rules GLib applies:
// `#` comments, `[Group]` headers, `Key=Value` with blanks around '=', the last of duplicate
// keys, escapes \s \n \t \r \\ in string values. Lines that fit none of these are skipped.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class DesktopKeyFile {
public:
    static DesktopKeyFile parse(std::string_view text);

    /// True when the first group of the file is [Desktop Entry].
    bool startsWithDesktopEntry() const { return startsWithDesktopEntry_; }

    /// The value of `key` with its escapes resolved; nothing when absent or not UTF-8.
    std::optional<std::string> string(std::string_view key) const;

    /// True for "true" and "1" (trailing blanks allowed); false otherwise and when absent.
    bool boolean(std::string_view key) const;

    /// `key[language]` for the first of `languages` that has a string value, else `key`.
    std::optional<std::string> localeString(std::string_view key,
                                            const std::vector<std::string>& languages) const;

private:
    bool startsWithDesktopEntry_ = false;
    std::map<std::string, std::string, std::less<>> values_; ///< raw values of [Desktop Entry]
};
