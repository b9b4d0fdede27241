#include "platform/linux/desktop/desktop_key_file.h"

#include "common/unicode_text.h"

namespace {

constexpr std::string_view desktopEntryGroup = "Desktop Entry";

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string_view trimmedLeft(std::string_view text) {
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    return text;
}

std::string_view trimmedRight(std::string_view text) {
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// The name of a "[Group]" line (blanks may follow the ']'); nothing when the line is malformed.
std::optional<std::string_view> groupName(std::string_view line) {
    const auto close = line.find(']');
    if (close == std::string_view::npos || close == 1) return std::nullopt;
    for (char c : line.substr(close + 1)) {
        if (c != ' ' && c != '\t') return std::nullopt;
    }
    const std::string_view name = line.substr(1, close - 1);
    if (name.find('[') != std::string_view::npos) return std::nullopt;
    return name;
}

std::string unescaped(std::string_view raw) {
    std::string out;
    out.reserve(raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '\\') {
            out.push_back(raw[i]);
            continue;
        }
        if (++i == raw.size()) break; // a backslash ending the value escapes nothing
        switch (raw[i]) {
        case 's':
            out.push_back(' ');
            break;
        case 'n':
            out.push_back('\n');
            break;
        case 't':
            out.push_back('\t');
            break;
        case 'r':
            out.push_back('\r');
            break;
        case '\\':
            out.push_back('\\');
            break;
        default: // unknown escapes stay as written
            out.push_back('\\');
            out.push_back(raw[i]);
        }
    }
    return out;
}

} // namespace

DesktopKeyFile DesktopKeyFile::parse(std::string_view text) {
    DesktopKeyFile file;
    bool seenGroup = false;
    bool inDesktopEntry = false;
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.ends_with('\r')) line.remove_suffix(1);
        line = trimmedLeft(line);
        if (line.empty() || line.front() == '#') continue;

        if (line.front() == '[') {
            // A malformed header still ends the group before it, so its keys go nowhere.
            const auto name = groupName(line);
            inDesktopEntry = name == desktopEntryGroup;
            if (!seenGroup) file.startsWithDesktopEntry_ = inDesktopEntry;
            seenGroup = true;
            continue;
        }
        const auto equals = line.find('=');
        if (equals == std::string_view::npos || !inDesktopEntry) continue;
        const std::string_view key = trimmedRight(line.substr(0, equals));
        if (key.empty()) continue;
        file.values_.insert_or_assign(std::string(key),
                                      std::string(trimmedLeft(line.substr(equals + 1))));
    }
    return file;
}

std::optional<std::string> DesktopKeyFile::string(std::string_view key) const {
    const auto found = values_.find(key);
    if (found == values_.end() || !text::isValidUtf8(found->second)) return std::nullopt;
    return unescaped(found->second);
}

bool DesktopKeyFile::boolean(std::string_view key) const {
    const auto found = values_.find(key);
    if (found == values_.end()) return false;
    const std::string_view value = trimmedRight(found->second);
    return value == "true" || value == "1";
}

std::optional<std::string>
DesktopKeyFile::localeString(std::string_view key,
                             const std::vector<std::string>& languages) const {
    for (const std::string& language : languages) {
        std::string localized(key);
        localized.append("[").append(language).append("]");
        if (auto value = string(localized)) return value;
    }
    return string(key);
}
