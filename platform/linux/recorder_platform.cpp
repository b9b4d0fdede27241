// The recorder's ports on an X11 desktop. Without a display every port still exists: the
// permissions then read "denied", the workspace and screens are empty, the tap fails.
#include "platform/recorder_platform.h"

#include "platform/linux/atspi/atspi_accessibility.h"
#include "platform/linux/atspi/primary_origin_accessibility.h"
#include "platform/linux/desktop_entry_naming.h"
#include "platform/linux/glib_event_loop.h"
#include "platform/linux/imaging/linux_graphics.h"
#include "platform/linux/imaging/shm_screen_capture.h"
#include "platform/linux/linux_permissions.h"
#include "platform/linux/system_clock.h"
#include "platform/linux/x11/ewmh_workspace.h"
#include "platform/linux/x11/press_hold_keeper.h"
#include "platform/linux/x11/x11_connection.h"
#include "platform/linux/x11/xfixes_pasteboard.h"
#include "platform/linux/x11/xrandr_screens.h"

#include <climits>
#include <unistd.h>

namespace {

std::optional<std::string> executablePath() {
    char buffer[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof buffer) return std::nullopt;
    return std::string(buffer, static_cast<std::size_t>(length));
}

} // namespace

RecorderPlatform makeRecorderPlatform() {
    // One connection for the main thread; the clipboard and the capture worker open their own.
    std::shared_ptr<x11::Connection> display = x11::Connection::open();
    RecorderPlatform platform;
    platform.clock = std::make_unique<SystemClock>();
    auto monitors = std::make_shared<XrandrScreens>(display);
    auto workspace = std::make_unique<EwmhWorkspace>(display, desktopEntryNaming());
    workspace->setRootPlacement([monitors](geo::Point point) {
        const geo::Point origin = monitors->primaryOrigin();
        const double scale = monitors->mainBackingScaleFactor().value_or(1.0);
        return geo::Point{origin.x + point.x * scale, origin.y + point.y * scale};
    });
    platform.workspace = std::move(workspace);
    platform.screens = std::make_unique<XrandrScreens>(display);
    platform.pasteboard = std::make_unique<XfixesPasteboard>();
    platform.accessibility = std::make_unique<PrimaryOriginAccessibility>(
        std::make_unique<AtspiAccessibility>(), [monitors] { return monitors->primaryOrigin(); });
    platform.screenCapture = std::make_unique<ShmScreenCapture>();
    platform.graphics = std::make_unique<LinuxGraphics>();
    platform.permissions = std::make_unique<LinuxPermissions>(display);
    // stepreel's main() runs the hold's keeper when started as one (runPlatformProcess).
    platform.eventLoop = std::make_unique<GlibEventLoop>(display, X11InputThread::Presses::held);
    platform.executablePath = executablePath();
    return platform;
}

std::optional<int> runPlatformProcess(const std::vector<std::string>& args) {
    if (args.size() != 1 || args.front() != press_hold_keeper::programName) return std::nullopt;
    return press_hold_keeper::run();
}
