#include "platform/macos/ns_workspace.h"

#include "platform/macos/ns_string.h"

#import <AppKit/AppKit.h>

namespace {

RunningApplication describe(NSRunningApplication* app) {
    RunningApplication out;
    out.localizedName = optionalString(app.localizedName);
    out.bundleIdentifier = optionalString(app.bundleIdentifier);
    out.processIdentifier = app.processIdentifier;
    switch (app.activationPolicy) {
    case NSApplicationActivationPolicyRegular:
        out.activationPolicy = ActivationPolicy::regular;
        break;
    case NSApplicationActivationPolicyAccessory:
        out.activationPolicy = ActivationPolicy::accessory;
        break;
    default:
        out.activationPolicy = ActivationPolicy::prohibited;
        break;
    }
    return out;
}

} // namespace

std::optional<RunningApplication> NSWorkspacePort::frontmostApplication() {
    @autoreleasepool {
        NSRunningApplication* app = [NSWorkspace sharedWorkspace].frontmostApplication;
        if (app == nil) return std::nullopt;
        return describe(app);
    }
}

std::vector<RunningApplication> NSWorkspacePort::runningApplications() {
    @autoreleasepool {
        std::vector<RunningApplication> apps;
        for (NSRunningApplication* app in [NSWorkspace sharedWorkspace].runningApplications) {
            apps.push_back(describe(app));
        }
        return apps;
    }
}
