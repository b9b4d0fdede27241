#include "platform/macos/cg_window_list.h"

#include "platform/macos/cf_ref.h"
#include "platform/macos/ns_string.h"

#import <CoreGraphics/CoreGraphics.h>
#import <Foundation/Foundation.h>

namespace {

NSNumber* numberEntry(NSDictionary* window, CFStringRef key) {
    id value = window[(__bridge NSString*)key];
    return [value isKindOfClass:[NSNumber class]] ? value : nil;
}

} // namespace

std::vector<WindowListEntry> CGWindowListPort::onScreenWindows() {
    @autoreleasepool {
        std::vector<WindowListEntry> entries;
        CFRef<CFArrayRef> list(CGWindowListCopyWindowInfo(kCGWindowListOptionOnScreenOnly |
                                                              kCGWindowListExcludeDesktopElements,
                                                          kCGNullWindowID));
        if (!list) return entries;
        for (id item in (__bridge NSArray*)list.get()) {
            if (![item isKindOfClass:[NSDictionary class]]) return {};
            NSDictionary* window = item;
            WindowListEntry entry;
            if (NSNumber* pid = numberEntry(window, kCGWindowOwnerPID))
                entry.ownerPID = pid.intValue;
            if (NSNumber* layer = numberEntry(window, kCGWindowLayer))
                entry.layer = layer.longLongValue;
            if (NSNumber* number = numberEntry(window, kCGWindowNumber)) {
                entry.number = number.unsignedIntValue;
            }
            id name = window[(__bridge NSString*)kCGWindowName];
            if ([name isKindOfClass:[NSString class]]) entry.name = optionalString(name);
            entries.push_back(std::move(entry));
        }
        return entries;
    }
}
