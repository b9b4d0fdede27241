// Browsers' Linux desktop-file ids and the reverse-DNS ids they are known by elsewhere, so
// a browser installed from a distribution package ("firefox-esr", "chromium") is recognised
// as the browser it is.
#pragma once

#include <array>
#include <string_view>
#include <utility>
#include <vector>

namespace browser_ids {

inline constexpr std::array<std::pair<std::string_view, std::string_view>, 9> aliases{{
    {"firefox-esr", "org.mozilla.firefox"},
    {"firefox", "org.mozilla.firefox"},
    {"librewolf", "io.gitlab.librewolf-community"},
    {"chromium", "org.chromium.Chromium"},
    {"chromium-browser", "org.chromium.Chromium"},
    {"google-chrome", "com.google.Chrome"},
    {"microsoft-edge", "com.microsoft.edgemac"},
    {"brave-browser", "com.brave.Browser"},
    {"vivaldi-stable", "com.vivaldi.Vivaldi"},
}};

/// The reverse-DNS id of a desktop-file id (without ".desktop"), or the id itself.
inline std::string_view bundleIdOf(std::string_view desktopId) {
    for (const auto& [desktop, bundle] : aliases) {
        if (desktop == desktopId) return bundle;
    }
    return desktopId;
}

/// Desktop-file ids (without ".desktop") that may hold the application `bundleId`: the id
/// itself first, then the distribution names of that browser.
inline std::vector<std::string_view> desktopIdsOf(std::string_view bundleId) {
    std::vector<std::string_view> ids{bundleId};
    for (const auto& [desktop, bundle] : aliases) {
        if (bundle == bundleId) ids.push_back(desktop);
    }
    return ids;
}

} // namespace browser_ids
