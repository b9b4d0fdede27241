#include "platform/recorder_platform.h"

#include "platform/macos/ax_accessibility.h"
#include "platform/macos/cf_event_loop.h"
#include "platform/macos/cg_graphics.h"
#include "platform/macos/ns_clock.h"
#include "platform/macos/ns_pasteboard.h"
#include "platform/macos/ns_screens.h"
#include "platform/macos/ns_string.h"
#include "platform/macos/ns_workspace.h"
#include "platform/macos/sck_screen_capture.h"
#include "platform/macos/tcc_permissions.h"

#import <Foundation/Foundation.h>

RecorderPlatform makeRecorderPlatform() {
    @autoreleasepool {
        RecorderPlatform platform;
        platform.clock = std::make_unique<NSClock>();
        platform.workspace = std::make_unique<NSWorkspacePort>();
        platform.screens = std::make_unique<NSScreensPort>();
        platform.pasteboard = std::make_unique<NSPasteboardPort>();
        platform.accessibility = std::make_unique<AXAccessibility>();
        platform.screenCapture = std::make_unique<SCKScreenCapture>();
        platform.graphics = std::make_unique<CGGraphics>();
        platform.permissions = std::make_unique<TCCPermissions>();
        platform.eventLoop = std::make_unique<CFEventLoop>();
        platform.executablePath = optionalString([NSBundle mainBundle].executablePath);
        return platform;
    }
}

std::optional<int> runPlatformProcess(const std::vector<std::string>& args) {
    (void)args; // the event tap holds nothing, so the recorder needs no process beside it
    return std::nullopt;
}
