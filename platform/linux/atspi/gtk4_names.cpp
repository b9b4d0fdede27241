#include "platform/linux/atspi/gtk4_names.h"

#include <cctype>
#include <string_view>

namespace gtk4_names {
namespace {

bool isUpper(char c) {
    return std::isupper(static_cast<unsigned char>(c)) != 0;
}
bool isLower(char c) {
    return std::islower(static_cast<unsigned char>(c)) != 0;
}
bool isDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

/// A class name: letters and digits only, capitalised, with a word joined on inside
/// ("GtkButton", "AdwTabBox"); never a word a person reads as one ("OK", "Save", "GNOME").
bool isClassName(std::string_view name) {
    if (name.size() < 4 || !isUpper(name.front())) return false;
    bool joined = false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        if (!isUpper(c) && !isLower(c) && !isDigit(c)) return false;
        if (i > 0 && isUpper(c) && isLower(name[i - 1])) joined = true;
    }
    return joined;
}

/// `label` as shown: a single underscore marks the next character as its mnemonic and is not
/// shown; a doubled one shows one.
std::string withoutMnemonic(std::string_view label) {
    std::string shown;
    for (std::size_t i = 0; i < label.size(); ++i) {
        if (label[i] == '_' && i + 1 < label.size()) ++i;
        shown += label[i];
    }
    return shown;
}

} // namespace

std::optional<std::string> shownName(std::string name, bool namesItsText) {
    if (name.empty()) return std::nullopt;
    if (namesItsText) return name;
    // "<label as written> <label as shown>": a mnemonic's underscore aside, the same text.
    for (std::size_t space = name.find(' '); space != std::string::npos;
         space = name.find(' ', space + 1)) {
        const std::string_view shown = std::string_view(name).substr(space + 1);
        if (withoutMnemonic(std::string_view(name).substr(0, space)) == shown)
            return std::string(shown);
    }
    if (isClassName(name)) return std::nullopt;
    return name;
}

} // namespace gtk4_names
