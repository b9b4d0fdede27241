#include "platform/macos/ns_clock.h"

#import <Foundation/Foundation.h>

std::int64_t NSClock::nowMs() {
    // Seconds since the epoch × 1000, truncated toward zero.
    return static_cast<std::int64_t>([[NSDate date] timeIntervalSince1970] * 1000.0);
}
