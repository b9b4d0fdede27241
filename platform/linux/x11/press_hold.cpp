#include "platform/linux/x11/press_hold.h"

#include <array>
#include <vector>
#include <xcb/xinput.h>

namespace {

constexpr std::array<std::uint32_t, 2> heldButtons{1, 3};

// Every combination of Shift, Lock, Control, Mod2 (Num Lock), Mod3 and Mod5 (AltGr): all but
// Mod1 (Alt) and Mod4 (Super), which window managers bind to buttons on their frames.
std::vector<std::uint32_t> heldModifiers() {
    constexpr std::array<std::uint32_t, 6> bits{XCB_MOD_MASK_SHIFT,   XCB_MOD_MASK_LOCK,
                                                XCB_MOD_MASK_CONTROL, XCB_MOD_MASK_2,
                                                XCB_MOD_MASK_3,       XCB_MOD_MASK_5};
    std::vector<std::uint32_t> combinations;
    for (std::uint32_t subset = 0; subset < (1u << bits.size()); ++subset) {
        std::uint32_t modifiers = 0;
        for (std::size_t i = 0; i < bits.size(); ++i)
            if ((subset & (1u << i)) != 0) modifiers |= bits[i];
        combinations.push_back(modifiers);
    }
    return combinations;
}

} // namespace

std::unique_ptr<PressHold> PressHold::create(x11::Connection& connection) {
    const auto xinput = connection.extension(&xcb_input_id);
    if (!xinput) return nullptr;
    xcb_connection_t* c = connection.xcb();
    x11::Reply<xcb_input_xi_query_version_reply_t> version(
        xcb_input_xi_query_version_reply(c, xcb_input_xi_query_version(c, 2, 2), nullptr));
    if (!version || version->major_version < 2) return nullptr;

    std::unique_ptr<PressHold> hold(new PressHold(connection, xinput->majorOpcode));
    // Watched first, so that no window made meanwhile is missed.
    const std::uint32_t structure = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, connection.root(), XCB_CW_EVENT_MASK, &structure);
    x11::Reply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(c, xcb_query_tree(c, connection.root()), nullptr));
    if (tree) {
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i)
            hold->grabOn(children[i]);
    }
    connection.flush();
    return hold;
}

PressHold::PressHold(x11::Connection& connection, std::uint8_t xinputOpcode)
    : connection_(connection), xinputOpcode_(xinputOpcode) {}

PressHold::~PressHold() {
    letGo(0);
    connection_.flush();
}

void PressHold::grabOn(xcb_window_t window) {
    if (!grabbed_.insert(window).second) return;
    static const std::vector<std::uint32_t> modifiers = heldModifiers();
    const std::uint32_t mask = XCB_INPUT_XI_EVENT_MASK_BUTTON_PRESS;
    for (const std::uint32_t button : heldButtons) {
        // Only the pointer freezes; the keyboard goes on. A window gone meanwhile, or a grab
        // another client holds already, is no concern: such presses go through unheld.
        const auto cookie = xcb_input_xi_passive_grab_device(
            connection_.xcb(), XCB_CURRENT_TIME, window, XCB_NONE, button,
            XCB_INPUT_DEVICE_ALL_MASTER, static_cast<std::uint16_t>(modifiers.size()), 1,
            XCB_INPUT_GRAB_TYPE_BUTTON, XCB_INPUT_GRAB_MODE_22_SYNC, XCB_INPUT_GRAB_MODE_22_ASYNC,
            1, &mask, modifiers.data());
        xcb_discard_reply(connection_.xcb(), cookie.sequence);
    }
}

void PressHold::ungrabOn(xcb_window_t window) {
    if (grabbed_.erase(window) == 0) return;
    static const std::vector<std::uint32_t> modifiers = heldModifiers();
    for (const std::uint32_t button : heldButtons)
        xcb_input_xi_passive_ungrab_device(connection_.xcb(), window, button,
                                           XCB_INPUT_DEVICE_ALL_MASTER,
                                           static_cast<std::uint16_t>(modifiers.size()),
                                           XCB_INPUT_GRAB_TYPE_BUTTON, modifiers.data());
}

void PressHold::handle(const xcb_generic_event_t& event, std::int64_t nowMs) {
    const xcb_window_t root = connection_.root();
    switch (event.response_type & 0x7f) {
    case XCB_CREATE_NOTIFY: {
        const auto& created = reinterpret_cast<const xcb_create_notify_event_t&>(event);
        if (created.parent == root) grabOn(created.window);
        return;
    }
    case XCB_REPARENT_NOTIFY: {
        // A client window taken into a frame leaves the root: the frame holds its grab.
        const auto& moved = reinterpret_cast<const xcb_reparent_notify_event_t&>(event);
        if (moved.event != root) return;
        if (moved.parent == root)
            grabOn(moved.window);
        else
            ungrabOn(moved.window);
        return;
    }
    case XCB_DESTROY_NOTIFY: {
        const auto& destroyed = reinterpret_cast<const xcb_destroy_notify_event_t&>(event);
        if (destroyed.event == root) grabbed_.erase(destroyed.window);
        return;
    }
    case XCB_GE_GENERIC:
        break;
    default:
        return;
    }
    const auto& generic = reinterpret_cast<const xcb_ge_generic_event_t&>(event);
    if (generic.extension != xinputOpcode_ || generic.event_type != XCB_INPUT_BUTTON_PRESS) return;
    const auto& press = reinterpret_cast<const xcb_input_button_press_event_t&>(event);
    if (const auto held = schedule_.held()) {
        // A second device's press (several master pointers): the first one goes on.
        replay(heldDevice_, *held);
        schedule_.letGo(nowMs);
    }
    if (schedule_.pressed(press.time, nowMs) == HoldSchedule::Decision::hold) {
        heldDevice_ = press.deviceid;
        return;
    }
    replay(press.deviceid, press.time);
}

void PressHold::releaseUpTo(std::uint32_t serverTime, std::int64_t nowMs) {
    const auto held = schedule_.held();
    if (schedule_.released(serverTime) && held) {
        replay(heldDevice_, *held);
        schedule_.letGo(nowMs);
    }
}

void PressHold::expire(std::int64_t nowMs) {
    if (schedule_.expired(nowMs)) letGo(nowMs);
}

std::optional<int> PressHold::msUntilExpiry(std::int64_t nowMs) const {
    return schedule_.msUntilExpiry(nowMs);
}

void PressHold::letGo(std::int64_t nowMs) {
    if (const auto held = schedule_.held()) {
        replay(heldDevice_, *held);
        schedule_.letGo(nowMs);
    }
}

void PressHold::ungrabAll() {
    while (!grabbed_.empty())
        ungrabOn(*grabbed_.begin());
    connection_.flush();
}

void PressHold::replay(std::uint16_t device, std::uint32_t serverTime) {
    // Replayed, the press reaches the windows under the pointer as if never held.
    xcb_input_xi_allow_events(connection_.xcb(), serverTime, device,
                              XCB_INPUT_EVENT_MODE_REPLAY_DEVICE, 0, connection_.root());
    connection_.flush();
}
