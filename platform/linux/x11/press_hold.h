// Holds each left and right button press for a moment before any application sees it, so that
// the screen can be captured as it was when the button went down. A synchronous passive grab
// on the root window freezes the pointer at each press; the press then goes on, delivered as
// if nothing had held it, once the recorder releases it or after `longestHoldMs`.
#pragma once

#include "platform/linux/x11/x11_connection.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <xcb/xcb.h>

class PressHold {
public:
    /// However long the recorder takes, no press is held longer than this.
    static constexpr std::int64_t longestHoldMs = 100;

    /// Grabs buttons 1 and 3, whatever the modifiers, on the root window of `connection`;
    /// nullptr when the server refuses (another client holds such a grab). Must be used on
    /// the connection's reading thread only.
    static std::unique_ptr<PressHold> create(x11::Connection& connection);
    ~PressHold();
    PressHold(const PressHold&) = delete;
    PressHold& operator=(const PressHold&) = delete;

    /// Takes an event of the connection: true when it was a press the grab holds, which then
    /// stays held until released or expired. `nowMs` is on a steady clock.
    bool take(const xcb_generic_event_t& event, std::int64_t nowMs);
    /// Lets the held press go on if it happened at or before server time `serverTime`.
    void releaseUpTo(std::uint32_t serverTime);
    /// Lets the held press go on if it has been held `longestHoldMs` by `nowMs`.
    void expire(std::int64_t nowMs);
    /// Milliseconds until `expire` would let the held press go; nothing while none is held.
    std::optional<int> msUntilExpiry(std::int64_t nowMs) const;

private:
    PressHold(x11::Connection& connection, std::uint8_t xinputOpcode);
    void letGo();

    struct Held {
        std::uint16_t device;
        std::uint32_t serverTime;
        std::int64_t sinceMs;
    };

    x11::Connection& connection_;
    std::uint8_t xinputOpcode_;
    std::optional<Held> held_;
};
