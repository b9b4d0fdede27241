#include "helper/context.h"

#include "common/page_address.h"
#include "common/unicode_text.h"
#include "helper/browser_url.h"

#include <array>
#include <cmath>
#include <utility>

namespace helper {
namespace {

constexpr std::array<InputEventType, 7> idleEventTypes{
    InputEventType::keyDown,        InputEventType::mouseMoved,     InputEventType::leftMouseDown,
    InputEventType::rightMouseDown, InputEventType::otherMouseDown, InputEventType::scrollWheel,
    InputEventType::flagsChanged,
};

/// Platform text on its way into output: ports give UTF-8, but a stray byte must not turn
/// the whole answer into an encoding failure.
std::optional<std::string> sanitized(const std::optional<std::string>& text) {
    if (!text) return std::nullopt;
    return text::sanitizeUtf8(*text);
}

/// A window title with the addresses in it shortened (a browser names an untitled page by
/// its address).
std::optional<std::string> titleWithShortAddresses(const std::optional<std::string>& title) {
    if (!title) return std::nullopt;
    return page_address::shortenAddressesIn(text::sanitizeUtf8(*title));
}

} // namespace

FrontWindow frontWindowInfo(WindowList& windows, std::int32_t pid) {
    for (auto& window : windows.onScreenWindows()) {
        if (window.ownerPID != pid || window.layer != 0) continue;
        FrontWindow front;
        if (window.name && !window.name->empty()) front.title = std::move(window.name);
        front.id = window.number;
        return front;
    }
    return {};
}

FrontWindow frontWindowOf(WindowList& windows, const RunningApplication& app) {
    if (app.processIdentifier >= 0) return frontWindowInfo(windows, app.processIdentifier);
    FrontWindow front;
    if (app.frontWindowTitle && !app.frontWindowTitle->empty()) front.title = app.frontWindowTitle;
    front.id = app.frontWindowNumber;
    return front;
}

/// fmin, so that one type the platform cannot answer (NaN) does not hide the others.
double idleSeconds(IdleTime& idle) {
    double smallest = idle.secondsSinceLastEvent(idleEventTypes.front());
    for (std::size_t i = 1; i < idleEventTypes.size(); ++i) {
        smallest = std::fmin(smallest, idle.secondsSinceLastEvent(idleEventTypes[i]));
    }
    return smallest;
}

void runContext(HelperIO& io, HelperPlatform& platform) {
    const auto app = platform.workspace->frontmostApplication();
    if (!app) fail("no frontmost application", 1);

    const std::string appName = app->localizedName.value_or("Unknown");
    const FrontWindow window = frontWindowOf(*platform.windowList, *app);
    const auto url = browserURL(*app, *platform.scriptRunner, *platform.accessibility);
    const double idle = idleSeconds(*platform.idleTime);

    json::ObjectBuilder output;
    output.add("appName", text::sanitizeUtf8(appName));
    output.add("bundleId", sanitized(app->bundleIdentifier));
    output.add("windowTitle", titleWithShortAddresses(window.title));
    if (window.id) output.add("windowId", static_cast<std::int64_t>(*window.id));
    output.add("url", sanitized(url));
    output.add("idleSeconds", idle);
    printJSON(io, std::move(output).value());
}

void runRunningApps(HelperIO& io, Workspace& workspace) {
    json::Array apps;
    for (const auto& app : workspace.runningApplications()) {
        if (app.activationPolicy != ActivationPolicy::regular) continue;
        if (!app.localizedName || !app.bundleIdentifier) continue;
        apps.emplace_back(json::ObjectBuilder()
                              .add("name", text::sanitizeUtf8(*app.localizedName))
                              .add("bundleId", text::sanitizeUtf8(*app.bundleIdentifier))
                              .value());
    }
    printJSON(io, json::Value(std::move(apps)));
}

} // namespace helper
