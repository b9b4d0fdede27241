#include "platform/linux/x11/press_hold.h"

#include <algorithm>
#include <array>
#include <xcb/xinput.h>

namespace {

constexpr std::array<std::uint32_t, 2> heldButtons{1, 3};

void ungrab(xcb_connection_t* c, xcb_window_t root, std::uint32_t button) {
    const std::uint32_t anyModifier = XCB_INPUT_MODIFIER_MASK_ANY;
    xcb_input_xi_passive_ungrab_device(c, root, button, XCB_INPUT_DEVICE_ALL_MASTER, 1,
                                       XCB_INPUT_GRAB_TYPE_BUTTON, &anyModifier);
}

bool grab(xcb_connection_t* c, xcb_window_t root, std::uint32_t button) {
    const std::uint32_t mask = XCB_INPUT_XI_EVENT_MASK_BUTTON_PRESS;
    const std::uint32_t anyModifier = XCB_INPUT_MODIFIER_MASK_ANY;
    // Only the pointer freezes; the keyboard goes on.
    const auto cookie = xcb_input_xi_passive_grab_device(
        c, XCB_CURRENT_TIME, root, XCB_NONE, button, XCB_INPUT_DEVICE_ALL_MASTER, 1, 1,
        XCB_INPUT_GRAB_TYPE_BUTTON, XCB_INPUT_GRAB_MODE_22_SYNC, XCB_INPUT_GRAB_MODE_22_ASYNC, 1,
        &mask, &anyModifier);
    xcb_generic_error_t* error = nullptr;
    x11::Reply<xcb_input_xi_passive_grab_device_reply_t> reply(
        xcb_input_xi_passive_grab_device_reply(c, cookie, &error));
    x11::Reply<xcb_generic_error_t> failed(error);
    // The reply lists the modifier combinations that could not be grabbed.
    return reply && !failed && reply->num_modifiers == 0;
}

bool before(std::uint32_t a, std::uint32_t b) {
    // Server times wrap after 49 days.
    return static_cast<std::int32_t>(a - b) <= 0;
}

} // namespace

std::unique_ptr<PressHold> PressHold::create(x11::Connection& connection) {
    const auto xinput = connection.extension(&xcb_input_id);
    if (!xinput) return nullptr;
    xcb_connection_t* c = connection.xcb();
    for (std::size_t i = 0; i < heldButtons.size(); ++i) {
        if (grab(c, connection.root(), heldButtons[i])) continue;
        for (std::size_t j = 0; j <= i; ++j)
            ungrab(c, connection.root(), heldButtons[j]);
        connection.flush();
        return nullptr;
    }
    return std::unique_ptr<PressHold>(new PressHold(connection, xinput->majorOpcode));
}

PressHold::PressHold(x11::Connection& connection, std::uint8_t xinputOpcode)
    : connection_(connection), xinputOpcode_(xinputOpcode) {}

PressHold::~PressHold() {
    letGo();
    for (const std::uint32_t button : heldButtons)
        ungrab(connection_.xcb(), connection_.root(), button);
    connection_.flush();
}

bool PressHold::take(const xcb_generic_event_t& event, std::int64_t nowMs) {
    if ((event.response_type & 0x7f) != XCB_GE_GENERIC) return false;
    const auto& generic = reinterpret_cast<const xcb_ge_generic_event_t&>(event);
    if (generic.extension != xinputOpcode_ || generic.event_type != XCB_INPUT_BUTTON_PRESS)
        return false;
    const auto& press = reinterpret_cast<const xcb_input_button_press_event_t&>(event);
    // A second press cannot come while one is frozen; should it, the first goes on now.
    letGo();
    held_ = Held{press.deviceid, press.time, nowMs};
    return true;
}

void PressHold::releaseUpTo(std::uint32_t serverTime) {
    if (held_ && before(held_->serverTime, serverTime)) letGo();
}

void PressHold::expire(std::int64_t nowMs) {
    if (held_ && nowMs - held_->sinceMs >= longestHoldMs) letGo();
}

std::optional<int> PressHold::msUntilExpiry(std::int64_t nowMs) const {
    if (!held_) return std::nullopt;
    return static_cast<int>(
        std::clamp<std::int64_t>(held_->sinceMs + longestHoldMs - nowMs, 0, longestHoldMs));
}

void PressHold::letGo() {
    if (!held_) return;
    // Replayed, the press reaches the windows under the pointer as if never held.
    xcb_input_xi_allow_events(connection_.xcb(), held_->serverTime, held_->device,
                              XCB_INPUT_EVENT_MODE_REPLAY_DEVICE, 0, connection_.root());
    connection_.flush();
    held_.reset();
}
