// Conversions between NSString and UTF-8 std::string.
#pragma once

#import <Foundation/Foundation.h>

#include <optional>
#include <string>
#include <string_view>

#include "common/unicode_text.h"

/// The UTF-8 text of `string` (ill-formed sequences replaced); nothing for nil.
inline std::optional<std::string> optionalString(NSString* string) {
    if (string == nil) return std::nullopt;
    // Lossy conversion keeps text with unpaired surrogates, which UTF8String refuses.
    NSData* data = [string dataUsingEncoding:NSUTF8StringEncoding allowLossyConversion:YES];
    if (data == nil) return std::nullopt;
    return text::sanitizeUtf8(
        std::string_view(static_cast<const char*>(data.bytes), data.length));
}

inline NSString* toNSString(std::string_view text) {
    NSString* string = [[NSString alloc] initWithBytes:text.data()
                                                length:text.size()
                                              encoding:NSUTF8StringEncoding];
    return string ?: @"";
}
