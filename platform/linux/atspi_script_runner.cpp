#include "platform/linux/atspi_script_runner.h"

#include "helper/browser_url.h"

std::optional<ScriptedBrowser> browserAddressedBy(std::string_view source) {
    if (source == helper::safariScript)
        return ScriptedBrowser{std::string(helper::safariBundleIds[0]), "Safari"};
    for (const helper::ChromiumBrowser& browser : helper::chromiumBundleIds) {
        if (source == helper::chromiumScript(browser.applicationName))
            return ScriptedBrowser{std::string(browser.bundleId),
                                   std::string(browser.applicationName)};
    }
    return std::nullopt;
}

AtspiScriptRunner::AtspiScriptRunner(Workspace& workspace, Accessibility& accessibility)
    : workspace_(workspace), accessibility_(accessibility) {}

std::optional<std::string> AtspiScriptRunner::run(std::string_view source) {
    const auto browser = browserAddressedBy(source);
    if (!browser) return std::nullopt;
    for (const RunningApplication& app : workspace_.runningApplications()) {
        const bool addressed = app.bundleIdentifier == browser->bundleId ||
                               app.localizedName == browser->applicationName;
        if (!addressed || app.processIdentifier <= 0) continue;
        // Like AppleScript, the answer is the browser's front window's address.
        return helper::firefoxAXURL(accessibility_, app.processIdentifier);
    }
    return std::nullopt;
}
