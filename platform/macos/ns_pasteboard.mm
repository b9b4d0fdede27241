#include "platform/macos/ns_pasteboard.h"

#include "platform/macos/ns_string.h"

#import <AppKit/AppKit.h>

std::int64_t NSPasteboardPort::changeCount() {
    return static_cast<std::int64_t>([NSPasteboard generalPasteboard].changeCount);
}

std::optional<std::string> NSPasteboardPort::plainText() {
    @autoreleasepool {
        return optionalString(
            [[NSPasteboard generalPasteboard] stringForType:NSPasteboardTypeString]);
    }
}
