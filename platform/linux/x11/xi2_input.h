// Listen-only input from XInput2 raw events on the root window, decoded into macOS terms.
#pragma once

#include "platform/event_loop.h"
#include "platform/geometry.h"
#include "platform/linux/x11/input_translation.h"
#include "platform/linux/x11/popup_places.h"
#include "platform/linux/x11/x11_connection.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>
#include <xcb/xcb.h>

struct xkb_context;
struct xkb_keymap;
struct xkb_state;

class Xi2Input {
public:
    /// Turns a pointer position in root-window pixels into the `InputEvent::location` space;
    /// nothing when it cannot tell.
    using PointerPlacement = std::function<std::optional<geo::Point>(double rootX, double rootY)>;

    /// Selects raw key and button presses on the root window of `connection` and loads the
    /// keyboard map; nullptr when XInput2 ≥ 2.0 or XKB is missing. The connection's events
    /// must then be handed to `handle`, in order, on the connection's thread.
    static std::unique_ptr<Xi2Input> create(x11::Connection& connection,
                                            PointerPlacement placement);
    ~Xi2Input();
    Xi2Input(const Xi2Input&) = delete;
    Xi2Input& operator=(const Xi2Input&) = delete;

    /// Delivers decoded events whose type bit (1 << type) is in `mask` to `callback`.
    void setTap(std::uint64_t mask, std::function<void(const InputEvent&)> callback);
    /// Delivers every key-down to `handler` as well, after the tap.
    void setHotkeyHandler(std::function<void(const HotkeyEvent&)> handler);
    /// Takes one event of the connection, which arrived at `arrivalMs` (wall clock); events
    /// of other kinds are ignored. A press is placed where the pointer is now, so it must be
    /// handed over as it arrives.
    void handle(const xcb_generic_event_t& event, std::int64_t arrivalMs);
    /// Server time of the last left or right button press delivered to the tap.
    std::optional<std::uint32_t> lastPressTime() const { return lastPressTime_; }

private:
    Xi2Input(x11::Connection& connection, PointerPlacement placement);
    bool setUp();
    bool loadKeymap();
    void keyPressed(std::uint32_t keycode, std::int64_t arrivalMs);
    void buttonPressed(std::uint32_t physicalButton, std::uint32_t timeMs, std::int64_t arrivalMs);
    void handleXkb(const xcb_generic_event_t& event);
    void loadPointerMapping();
    input::Modifiers heldModifiers() const;

    x11::Connection& connection_;
    PointerPlacement placement_;
    std::uint8_t xinputOpcode_ = 0;
    std::uint8_t xkbFirstEvent_ = 0;
    std::int32_t keyboardDevice_ = -1;
    xkb_context* context_ = nullptr;
    xkb_keymap* keymap_ = nullptr;
    xkb_state* state_ = nullptr;
    std::vector<std::uint8_t> buttonMap_;
    input::ClickCounter clicks_;
    std::optional<std::uint32_t> lastPressTime_;
    PopupPlaces popups_;
    std::uint64_t tapMask_ = 0;
    std::function<void(const InputEvent&)> tap_;
    std::function<void(const HotkeyEvent&)> hotkeys_;
};
