#include "platform/macos/apple_script_runner.h"

#include "platform/macos/ns_string.h"

#import <Foundation/Foundation.h>

std::optional<std::string> AppleScriptRunner::run(std::string_view source) {
    @autoreleasepool {
        NSAppleScript* script = [[NSAppleScript alloc] initWithSource:toNSString(source)];
        if (script == nil) return std::nullopt;
        NSDictionary* error = nil;
        NSAppleEventDescriptor* result = [script executeAndReturnError:&error];
        if (result == nil) return std::nullopt;
        return optionalString(result.stringValue);
    }
}
