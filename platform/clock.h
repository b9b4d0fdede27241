#pragma once

#include <cstdint>

class Clock {
public:
    virtual ~Clock() = default;
    /// Wall-clock milliseconds since the Unix epoch (seconds × 1000, truncated toward zero).
    virtual std::int64_t nowMs() = 0;
};
