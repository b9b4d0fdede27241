// Linux has no AppleScript. The two browser scripts (Safari's and the Chromium family's
// "URL of active tab of front window") are answered by the accessibility web-area search of
// that browser, when it runs; every other script gives nothing.
#pragma once

#include "platform/accessibility.h"
#include "platform/script_runner.h"
#include "platform/workspace.h"

#include <optional>
#include <string>
#include <string_view>

/// The browser a script addresses: its bundle identifier and its AppleScript name.
struct ScriptedBrowser {
    std::string bundleId;
    std::string applicationName;
};

/// The browser that `source` asks for its page address; nothing for any other script.
std::optional<ScriptedBrowser> browserAddressedBy(std::string_view source);

class AtspiScriptRunner final : public ScriptRunner {
public:
    /// Both ports must outlive the runner.
    AtspiScriptRunner(Workspace& workspace, Accessibility& accessibility);

    /// The web area's address of the first running application that is the addressed browser
    /// (by bundle identifier or name); nothing otherwise.
    std::optional<std::string> run(std::string_view source) override;

private:
    Workspace& workspace_;
    Accessibility& accessibility_;
};
