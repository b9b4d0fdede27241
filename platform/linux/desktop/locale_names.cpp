#include "platform/linux/desktop/locale_names.h"

#include <algorithm>
#include <cstdlib>

namespace locale_names {
namespace {

std::string_view variable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// "C", "POSIX" and their codeset or modifier forms ("C.UTF-8").
bool isUntranslated(std::string_view locale) {
    const std::string_view name = locale.substr(0, locale.find_first_of(".@"));
    return name == "C" || name == "POSIX";
}

} // namespace

std::vector<std::string> variantsOf(std::string_view locale) {
    std::string_view modifier;
    if (const auto at = locale.find('@'); at != std::string_view::npos) {
        modifier = locale.substr(at + 1);
        locale = locale.substr(0, at);
    }
    locale = locale.substr(0, locale.find('.'));
    std::string_view country;
    if (const auto underscore = locale.find('_'); underscore != std::string_view::npos) {
        country = locale.substr(underscore + 1);
        locale = locale.substr(0, underscore);
    }
    if (locale.empty()) return {};

    const std::string language(locale);
    std::vector<std::string> variants;
    if (!country.empty() && !modifier.empty())
        variants.push_back(language + "_" + std::string(country) + "@" + std::string(modifier));
    if (!country.empty()) variants.push_back(language + "_" + std::string(country));
    if (!modifier.empty()) variants.push_back(language + "@" + std::string(modifier));
    variants.push_back(language);
    return variants;
}

std::vector<std::string> sessionLanguages() {
    std::string_view locale;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        locale = variable(name);
        if (!locale.empty()) break;
    }
    if (locale.empty() || isUntranslated(locale)) return {};
    const std::string_view language = variable("LANGUAGE");
    std::string_view list = language.empty() ? locale : language;

    std::vector<std::string> languages;
    while (!list.empty()) {
        const auto colon = list.find(':');
        const std::string_view item = list.substr(0, colon);
        list.remove_prefix(colon == std::string_view::npos ? list.size() : colon + 1);
        if (item.empty() || isUntranslated(item)) continue;
        for (std::string& variant : variantsOf(item)) {
            if (std::find(languages.begin(), languages.end(), variant) == languages.end())
                languages.push_back(std::move(variant));
        }
    }
    return languages;
}

} // namespace locale_names
