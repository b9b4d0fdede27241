// Conversions between NSString and UTF-8 std::string.
#pragma once

#include "common/unicode_text.h"

#import <Foundation/Foundation.h>
#include <optional>
#include <string>
#include <string_view>

/// The UTF-8 text of `string` (unpaired surrogates become U+FFFD); nothing for nil.
inline std::optional<std::string> optionalString(NSString* string) {
    if (string == nil) return std::nullopt;
    // Through the UTF-16 units: UTF8String refuses text with unpaired surrogates.
    const NSUInteger length = string.length;
    std::u16string units(static_cast<std::size_t>(length), u'\0');
    [string getCharacters:reinterpret_cast<unichar*>(units.data()) range:NSMakeRange(0, length)];
    return text::utf16ToUtf8(units);
}

/// `text` as an NSString; ill-formed UTF-8 sequences become U+FFFD.
inline NSString* toNSString(std::string_view text) {
    NSString* string = [[NSString alloc] initWithBytes:text.data()
                                                length:text.size()
                                              encoding:NSUTF8StringEncoding];
    if (string != nil) return string;
    const std::string sanitized = text::sanitizeUtf8(text);
    string = [[NSString alloc] initWithBytes:sanitized.data()
                                      length:sanitized.size()
                                    encoding:NSUTF8StringEncoding];
    return string != nil ? string : @"";
}
