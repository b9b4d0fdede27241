// The page address of the front browser window: AppleScript for Safari and the Chromium
// family where the system runs scripts, an accessibility search otherwise and for the
// Firefox family. Every failure gives nothing.
#pragma once

#include "platform/accessibility.h"
#include "platform/script_runner.h"
#include "platform/workspace.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace helper {

struct ChromiumBrowser {
    std::string_view bundleId;
    std::string_view applicationName; ///< the name AppleScript addresses the browser by
};

inline constexpr std::array<std::string_view, 1> safariBundleIds{"com.apple.Safari"};

inline constexpr std::array<ChromiumBrowser, 6> chromiumBundleIds{{
    {"com.google.Chrome", "Google Chrome"},
    {"com.microsoft.edgemac", "Microsoft Edge"},
    {"com.brave.Browser", "Brave Browser"},
    {"company.thebrowser.Browser", "Arc"},
    {"com.vivaldi.Vivaldi", "Vivaldi"},
    {"org.chromium.Chromium", "Chromium"},
}};

inline constexpr std::array<std::string_view, 7> firefoxBundleIds{
    "org.mozilla.firefox",   "org.mozilla.firefoxdeveloperedition",
    "org.mozilla.nightly",   "io.gitlab.librewolf-community",
    "net.waterfox.waterfox", "org.mozilla.floorp",
    "app.zen-browser.zen",
};

/// Firefox-based browsers whose address is never read.
inline constexpr std::array<std::string_view, 1> firefoxExcludedBundleIds{
    "org.torproject.torbrowser"};

inline constexpr std::string_view safariScript =
    "tell application \"Safari\" to return URL of front document";

/// Limits of the web-area search.
inline constexpr float webAreaMessagingTimeoutSeconds = 0.2f;
inline constexpr std::size_t webAreaElementLimit = 250;
inline constexpr int webAreaChildDepthLimit = 12; ///< children are queued only above this depth

/// The script that asks a Chromium-family browser, by its AppleScript name, for its address.
std::string chromiumScript(std::string_view applicationName);

/// True for the Firefox family (the table or any "org.mozilla." id), unless excluded.
bool isFirefoxBundle(std::string_view bundleId);

/// The page address of `app` when it is a known browser, without query values, fragment and
/// user information (what was typed into a form or a search box); nothing otherwise or on any
/// failure.
std::optional<std::string> browserURL(const RunningApplication& app, ScriptRunner& scripts,
                                      Accessibility& accessibility);

/// The string result of `source`, as the application gave it (empty text included).
std::optional<std::string> appleScriptURL(ScriptRunner& scripts, std::string_view source);

/// The "AXURL" of the web area `findWebArea` finds in the `pageWindow` of process `pid`.
std::optional<std::string> firefoxAXURL(Accessibility& accessibility, std::int32_t pid);

/// The attribute when it is an element; null otherwise.
AXElement axElementAttribute(Accessibility& accessibility, const AXElement& element,
                             std::string_view name);

/// The attribute when it is text (empty text included); nothing otherwise.
std::optional<std::string> axStringAttribute(Accessibility& accessibility, const AXElement& element,
                                             std::string_view name);

/// The focused (else main) window of the application object `app`; an untitled one (a
/// browser's context menu or completion list) stands for the application's first titled
/// window. Null when there is no window.
AXElement pageWindow(Accessibility& accessibility, const AXElement& app);

/// "AXChildren" when it is a list of elements; empty otherwise.
std::vector<AXElement> axChildren(Accessibility& accessibility, const AXElement& element);

/// The web area `root` names as its "AXEmbeddedDocument" (the document a browser window
/// shows), else the first element whose "AXRole" is "AXWebArea" in a breadth-first search
/// from `root` (depth 0) examining at most `webAreaElementLimit` elements; null when none.
AXElement findWebArea(Accessibility& accessibility, const AXElement& root);

} // namespace helper
