// Time since the user's last input, per kind of input event.
#pragma once

#include <cstdint>

/// Input event types, numbered as on macOS.
enum class InputEventType : std::uint32_t {
    leftMouseDown = 1,
    rightMouseDown = 3,
    mouseMoved = 5,
    keyDown = 10,
    flagsChanged = 12,
    scrollWheel = 22,
    otherMouseDown = 25,
};

class IdleTime {
public:
    virtual ~IdleTime() = default;
    /// Seconds since the last event of `type` in the combined session state.
    virtual double secondsSinceLastEvent(InputEventType type) = 0;
};
