#include "platform/macos/ns_workspace.h"

#include "platform/macos/cf_ref.h"
#include "platform/macos/ns_string.h"

#import <AppKit/AppKit.h>
#import <CoreGraphics/CoreGraphics.h>

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

NSNumber* numberEntry(NSDictionary* window, CFStringRef key) {
    id value = window[(__bridge NSString*)key];
    return [value isKindOfClass:[NSNumber class]] ? value : nil;
}

/// Whether the window-list entry `window` is shown and holds the global point.
bool holds(NSDictionary* window, geo::Point point) {
    NSNumber* alpha = numberEntry(window, kCGWindowAlpha);
    if (alpha != nil && alpha.doubleValue <= 0) return false;
    id bounds = window[(__bridge NSString*)kCGWindowBounds];
    CGRect rect;
    if (![bounds isKindOfClass:[NSDictionary class]] ||
        !CGRectMakeWithDictionaryRepresentation((__bridge CFDictionaryRef)bounds, &rect))
        return false;
    return CGRectContainsPoint(rect, CGPointMake(point.x, point.y));
}

/// The application owning the window-list entry `window`, described with that window.
std::optional<RunningApplication> ownerOf(NSDictionary* window) {
    NSNumber* pid = numberEntry(window, kCGWindowOwnerPID);
    if (pid == nil) return std::nullopt;
    NSRunningApplication* app =
        [NSRunningApplication runningApplicationWithProcessIdentifier:pid.intValue];
    if (app == nil) return std::nullopt;
    RunningApplication out = describe(app);
    id name = window[(__bridge NSString*)kCGWindowName];
    if ([name isKindOfClass:[NSString class]]) out.frontWindowTitle = optionalString(name);
    if (NSNumber* number = numberEntry(window, kCGWindowNumber))
        out.frontWindowNumber = number.unsignedIntValue;
    // Menus, pop-up lists and other windows above the normal level take the pointer.
    NSNumber* layer = numberEntry(window, kCGWindowLayer);
    out.frontWindowIsPopup = layer != nil && layer.longLongValue != 0;
    return out;
}

} // namespace

std::optional<RunningApplication>
NSWorkspacePort::applicationAt(geo::Point point, std::optional<std::uint32_t> windowNumber) {
    if (windowNumber) {
        if (auto app = applicationOfWindow(*windowNumber)) return app;
    }
    @autoreleasepool {
        CFRef<CFArrayRef> list(CGWindowListCopyWindowInfo(kCGWindowListOptionOnScreenOnly |
                                                              kCGWindowListExcludeDesktopElements,
                                                          kCGNullWindowID));
        if (!list) return std::nullopt;
        for (id item in (__bridge NSArray*)list.get()) { // front to back
            if (![item isKindOfClass:[NSDictionary class]] || !holds(item, point)) continue;
            return ownerOf(item);
        }
        return std::nullopt;
    }
}

std::optional<RunningApplication> NSWorkspacePort::applicationOfWindow(std::uint32_t windowNumber) {
    @autoreleasepool {
        CFRef<CFArrayRef> one(
            CGWindowListCopyWindowInfo(kCGWindowListOptionIncludingWindow, windowNumber));
        NSArray* list = (__bridge NSArray*)one.get();
        if (list.count > 0 && [list[0] isKindOfClass:[NSDictionary class]]) return ownerOf(list[0]);
        return std::nullopt;
    }
}

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
