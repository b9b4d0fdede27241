// Deadlines of the integration tests grow with STEPREEL_TEST_TIME_SCALE (default 1), which a
// slow or busy machine sets once for the whole suite (scripts/with-virtual-desktop checks it).
#pragma once

#include <chrono>
#include <cstdlib>

inline double testTimeScale() {
    const char* value = std::getenv("STEPREEL_TEST_TIME_SCALE");
    char* end = nullptr;
    const double scale = value != nullptr ? std::strtod(value, &end) : 0;
    return end != value && *end == '\0' && scale > 0 ? scale : 1.0;
}

/// A deadline of `seconds` on this machine.
inline std::chrono::milliseconds scaledSeconds(double seconds) {
    return std::chrono::milliseconds(static_cast<long long>(seconds * testTimeScale() * 1000));
}
