#include "platform/macos/ns_screens.h"

#import <AppKit/AppKit.h>

geo::Point NSScreensPort::mouseLocation() {
    const NSPoint location = [NSEvent mouseLocation];
    return {location.x, location.y};
}

std::vector<geo::Rect> NSScreensPort::screenFrames() {
    @autoreleasepool {
        std::vector<geo::Rect> frames;
        for (NSScreen* screen in [NSScreen screens]) {
            const NSRect frame = screen.frame;
            frames.push_back({frame.origin.x, frame.origin.y, frame.size.width, frame.size.height});
        }
        return frames;
    }
}

std::optional<double> NSScreensPort::mainBackingScaleFactor() {
    @autoreleasepool {
        NSScreen* screen = [NSScreen mainScreen];
        if (screen == nil) return std::nullopt;
        return static_cast<double>(screen.backingScaleFactor);
    }
}
