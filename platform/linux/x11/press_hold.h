// Holds left and right button presses for a moment before any application sees them, so that
// the screen can be captured as it was when the button went down. Synchronous passive grabs
// freeze the pointer at each press; the press then goes on, delivered as if nothing had held
// it (replayed), when the recorder is done with it or after HoldSchedule::longestHoldMs.
//
// The grabs lie on the root window's children (window-manager frames, or the top-level
// windows without a window manager), never on the root window itself, and leave out presses
// with Alt or Super held:
// - another client can still grab any button on the root window: the server tries the root's
//   grabs before those of its children, so such a grab takes the press first and a press it
//   replays comes on to ours;
// - a replay skips every grab at or above the window of the grab replayed, so ours sit
//   above the window manager's click-to-focus grabs on client windows and do not share the
//   frames' modifiers with its move and resize bindings (Alt or Super with a button).
#pragma once

#include "platform/linux/x11/hold_schedule.h"
#include "platform/linux/x11/x11_connection.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <unordered_set>
#include <xcb/xcb.h>

class PressHold {
public:
    /// Watches the root window's children and grabs buttons 1 and 3 on each; nullptr without
    /// XInput2 2.0. Must be used on the connection's reading thread only.
    static std::unique_ptr<PressHold> create(x11::Connection& connection);
    /// Lets a held press go on.
    ~PressHold();
    PressHold(const PressHold&) = delete;
    PressHold& operator=(const PressHold&) = delete;

    /// Takes an event of the connection (`nowMs` on a steady clock): windows coming and
    /// going, and presses that the grabs caught.
    void handle(const xcb_generic_event_t& event, std::int64_t nowMs);
    /// The recorder is done with every press up to server time `serverTime`.
    void releaseUpTo(std::uint32_t serverTime, std::int64_t nowMs);
    /// Lets the held press go on once it has been held its longest.
    void expire(std::int64_t nowMs);
    /// Milliseconds until `expire` would let the held press go; nothing while none is held.
    std::optional<int> msUntilExpiry(std::int64_t nowMs) const;
    /// Lets the held press go on now.
    void letGo(std::int64_t nowMs);
    /// Gives up every grab: no press is caught once the server has handled this.
    void ungrabAll();

private:
    PressHold(x11::Connection& connection, std::uint8_t xinputOpcode);
    void grabOn(xcb_window_t window);
    void ungrabOn(xcb_window_t window);
    void replay(std::uint16_t device, std::uint32_t serverTime);

    x11::Connection& connection_;
    std::uint8_t xinputOpcode_;
    HoldSchedule schedule_;
    std::uint16_t heldDevice_ = 0;
    std::unordered_set<xcb_window_t> grabbed_;
};
