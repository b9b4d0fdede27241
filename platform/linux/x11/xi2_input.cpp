#include "platform/linux/x11/xi2_input.h"

#include <xcb/xinput.h>
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

// xcb's XKB header names a member `explicit`, a C++ keyword.
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wkeyword-macro"
#endif
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit
#if defined(__clang__)
#pragma clang diagnostic pop
#endif

#include "platform/linux/x11/desktop_settings.h"
#include "platform/linux/x11/x11_stacking.h"

#include <string>

namespace {

constexpr double doubleClickDistance = 4; // pixels, either axis

// The XKB events share this head; xkbType tells them apart.
struct XkbEventHead {
    std::uint8_t responseType;
    std::uint8_t xkbType;
    std::uint16_t sequence;
    xcb_timestamp_t time;
    std::uint8_t deviceID;
};

} // namespace

std::unique_ptr<Xi2Input> Xi2Input::create(x11::Connection& connection,
                                           PointerPlacement placement) {
    std::unique_ptr<Xi2Input> input(new Xi2Input(connection, std::move(placement)));
    if (!input->setUp()) return nullptr;
    return input;
}

Xi2Input::Xi2Input(x11::Connection& connection, PointerPlacement placement)
    : connection_(connection), placement_(std::move(placement)),
      clicks_(desktop::doubleClickMs(connection), doubleClickDistance) {}

Xi2Input::~Xi2Input() {
    xkb_state_unref(state_);
    xkb_keymap_unref(keymap_);
    xkb_context_unref(context_);
}

bool Xi2Input::setUp() {
    xcb_connection_t* c = connection_.xcb();
    const auto xinput = connection_.extension(&xcb_input_id);
    if (!xinput) return false;
    xinputOpcode_ = xinput->majorOpcode;
    x11::Reply<xcb_input_xi_query_version_reply_t> version(
        xcb_input_xi_query_version_reply(c, xcb_input_xi_query_version(c, 2, 2), nullptr));
    if (!version || version->major_version < 2) return false;

    std::uint8_t xkbEvent = 0;
    if (xkb_x11_setup_xkb_extension(c, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
                                    XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr,
                                    &xkbEvent, nullptr) == 0)
        return false;
    xkbFirstEvent_ = xkbEvent;
    keyboardDevice_ = xkb_x11_get_core_keyboard_device_id(c);
    context_ = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    if (keyboardDevice_ < 0 || context_ == nullptr || !loadKeymap()) return false;

    // Modifier state follows the server's XKB state; a changed keymap is reloaded.
    xcb_xkb_select_events_details_t details{};
    details.affectNewKeyboard = XCB_XKB_NKN_DETAIL_KEYCODES;
    details.newKeyboardDetails = XCB_XKB_NKN_DETAIL_KEYCODES;
    details.affectState = XCB_XKB_STATE_PART_MODIFIER_BASE | XCB_XKB_STATE_PART_MODIFIER_LATCH |
                          XCB_XKB_STATE_PART_MODIFIER_LOCK | XCB_XKB_STATE_PART_GROUP_BASE |
                          XCB_XKB_STATE_PART_GROUP_LATCH | XCB_XKB_STATE_PART_GROUP_LOCK;
    details.stateDetails = details.affectState;
    const std::uint16_t events = XCB_XKB_EVENT_TYPE_NEW_KEYBOARD_NOTIFY |
                                 XCB_XKB_EVENT_TYPE_MAP_NOTIFY | XCB_XKB_EVENT_TYPE_STATE_NOTIFY;
    const std::uint16_t mapParts =
        XCB_XKB_MAP_PART_KEY_TYPES | XCB_XKB_MAP_PART_KEY_SYMS | XCB_XKB_MAP_PART_MODIFIER_MAP |
        XCB_XKB_MAP_PART_EXPLICIT_COMPONENTS | XCB_XKB_MAP_PART_KEY_ACTIONS |
        XCB_XKB_MAP_PART_VIRTUAL_MODS | XCB_XKB_MAP_PART_VIRTUAL_MOD_MAP;
    x11::Reply<xcb_generic_error_t> xkbError(xcb_request_check(
        c, xcb_xkb_select_events_aux_checked(c, static_cast<xcb_xkb_device_spec_t>(keyboardDevice_),
                                             events, 0, 0, mapParts, mapParts, &details)));
    if (xkbError) return false;

    // Raw events reach this client whatever window has the focus or a grab.
    struct {
        xcb_input_event_mask_t head;
        std::uint32_t bits;
    } mask{};
    mask.head.deviceid = XCB_INPUT_DEVICE_ALL_MASTER;
    mask.head.mask_len = 1;
    mask.bits = XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS;
    x11::Reply<xcb_generic_error_t> selectError(xcb_request_check(
        c, xcb_input_xi_select_events_checked(c, connection_.root(), 1, &mask.head)));
    if (selectError) return false;
    // The popups open at each press, in step with the presses.
    const std::uint32_t structure = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, connection_.root(), XCB_CW_EVENT_MASK, &structure);

    loadPointerMapping();
    return true;
}

bool Xi2Input::loadKeymap() {
    xkb_keymap* keymap = xkb_x11_keymap_new_from_device(
        context_, connection_.xcb(), keyboardDevice_, XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (keymap == nullptr) return false;
    xkb_state* state = xkb_x11_state_new_from_device(keymap, connection_.xcb(), keyboardDevice_);
    if (state == nullptr) {
        xkb_keymap_unref(keymap);
        return false;
    }
    xkb_state_unref(state_);
    xkb_keymap_unref(keymap_);
    keymap_ = keymap;
    state_ = state;
    return true;
}

void Xi2Input::loadPointerMapping() {
    xcb_connection_t* c = connection_.xcb();
    x11::Reply<xcb_get_pointer_mapping_reply_t> reply(
        xcb_get_pointer_mapping_reply(c, xcb_get_pointer_mapping(c), nullptr));
    buttonMap_.clear();
    if (!reply) return;
    const std::uint8_t* map = xcb_get_pointer_mapping_map(reply.get());
    buttonMap_.assign(map, map + xcb_get_pointer_mapping_map_length(reply.get()));
}

void Xi2Input::setTap(std::uint64_t mask, std::function<void(const InputEvent&)> callback) {
    tapMask_ = mask;
    tap_ = std::move(callback);
}

void Xi2Input::setHotkeyHandler(std::function<void(const HotkeyEvent&)> handler) {
    hotkeys_ = std::move(handler);
}

void Xi2Input::handle(const xcb_generic_event_t& event, std::int64_t arrivalMs) {
    const std::uint8_t type = event.response_type & 0x7f;
    if (type == XCB_GE_GENERIC) {
        const auto& generic = reinterpret_cast<const xcb_ge_generic_event_t&>(event);
        if (generic.extension != xinputOpcode_) return;
        const auto& raw = reinterpret_cast<const xcb_input_raw_key_press_event_t&>(event);
        if (generic.event_type == XCB_INPUT_RAW_KEY_PRESS) keyPressed(raw.detail, arrivalMs);
        if (generic.event_type == XCB_INPUT_RAW_BUTTON_PRESS)
            buttonPressed(raw.detail, raw.time, arrivalMs);
    } else if (type == xkbFirstEvent_) {
        handleXkb(event);
    } else if (type == XCB_MAPPING_NOTIFY) {
        const auto& mapping = reinterpret_cast<const xcb_mapping_notify_event_t&>(event);
        if (mapping.request == XCB_MAPPING_POINTER) loadPointerMapping();
    } else {
        popups_.handle(event, connection_.xcb());
    }
}

void Xi2Input::handleXkb(const xcb_generic_event_t& event) {
    const auto& head = reinterpret_cast<const XkbEventHead&>(event);
    if (head.deviceID != keyboardDevice_) return;
    switch (head.xkbType) {
    case XCB_XKB_NEW_KEYBOARD_NOTIFY: {
        const auto& notify = reinterpret_cast<const xcb_xkb_new_keyboard_notify_event_t&>(event);
        if ((notify.changed & XCB_XKB_NKN_DETAIL_KEYCODES) != 0) loadKeymap();
        break;
    }
    case XCB_XKB_MAP_NOTIFY:
        loadKeymap();
        break;
    case XCB_XKB_STATE_NOTIFY: {
        const auto& notify = reinterpret_cast<const xcb_xkb_state_notify_event_t&>(event);
        xkb_state_update_mask(state_, notify.baseMods, notify.latchedMods, notify.lockedMods,
                              static_cast<xkb_layout_index_t>(notify.baseGroup),
                              static_cast<xkb_layout_index_t>(notify.latchedGroup),
                              notify.lockedGroup);
        break;
    }
    default:
        break;
    }
}

input::Modifiers Xi2Input::heldModifiers() const {
    auto active = [this](const char* name) {
        return xkb_state_mod_name_is_active(state_, name, XKB_STATE_MODS_EFFECTIVE) > 0;
    };
    return {active(XKB_MOD_NAME_CTRL), active(XKB_MOD_NAME_SHIFT), active(XKB_MOD_NAME_ALT),
            active(XKB_MOD_NAME_CAPS)};
}

void Xi2Input::keyPressed(std::uint32_t keycode, std::int64_t arrivalMs) {
    const xkb_layout_index_t layout = xkb_state_key_get_layout(state_, keycode);
    const xkb_keysym_t* levelZero = nullptr;
    const int count = xkb_keymap_key_get_syms_by_level(
        keymap_, keycode, layout == XKB_LAYOUT_INVALID ? 0 : layout, 0, &levelZero);
    const xkb_keysym_t unshifted = count > 0 ? levelZero[0] : XKB_KEY_NoSymbol;
    if (input::isModifierKeysym(unshifted)) return;

    const input::Modifiers held = heldModifiers();
    InputEvent event;
    event.type = 10;
    event.flags = input::eventFlags(held);
    event.timestampMs = arrivalMs;
    // The window the key went to, asked for as the key arrives: by the time the key is
    // described, the person may have switched to another.
    event.windowNumber = x11_stacking::activeWindow(connection_);
    const char* position = xkb_keymap_key_get_name(keymap_, keycode);
    auto code = position != nullptr ? input::keyCodeForPosition(position) : std::nullopt;
    if (!code) code = input::keyCodeForKeysym(unshifted);
    event.keyCode = code ? *code : input::unmappedKeyCode(keycode);

    const xkb_keysym_t produced = xkb_state_key_get_one_sym(state_, keycode);
    if (auto special = input::macKeyCharacters(produced)) {
        event.characters = *special;
    } else {
        // Applies the Control transformation (Ctrl+A gives U+0001) as macOS does.
        const int size = xkb_state_key_get_utf8(state_, keycode, nullptr, 0);
        if (size > 0) {
            std::string utf8(static_cast<std::size_t>(size) + 1, '\0');
            xkb_state_key_get_utf8(state_, keycode, utf8.data(), utf8.size());
            utf8.resize(static_cast<std::size_t>(size));
            event.characters = input::utf8ToUtf16(utf8);
        }
    }
    if (tap_ && (tapMask_ & (std::uint64_t{1} << event.type)) != 0) tap_(event);

    if (hotkeys_) {
        HotkeyEvent hotkey;
        hotkey.flags = event.flags;
        char buffer[16] = {};
        const int size = xkb_keysym_to_utf8(unshifted, buffer, sizeof buffer);
        if (size > 1) hotkey.charactersIgnoringModifiers = std::string(buffer); // size counts NUL
        hotkeys_(hotkey);
    }
}

void Xi2Input::buttonPressed(std::uint32_t physicalButton, std::uint32_t timeMs,
                             std::int64_t arrivalMs) {
    std::uint32_t button = physicalButton;
    if (physicalButton >= 1 && physicalButton <= buttonMap_.size())
        button = buttonMap_[physicalButton - 1];
    if (button != 1 && button != 3) return; // wheel and extra buttons are not clicks

    // Raw events carry no position: the pointer is asked for as the press arrives, before
    // it can move on to the next one.
    xcb_connection_t* c = connection_.xcb();
    x11::Reply<xcb_query_pointer_reply_t> pointer(
        xcb_query_pointer_reply(c, xcb_query_pointer(c, connection_.root()), nullptr));
    const double x = pointer ? pointer->root_x : 0;
    const double y = pointer ? pointer->root_y : 0;

    InputEvent event;
    event.type = button == 1 ? 1 : 3;
    event.flags = input::eventFlags(heldModifiers());
    event.clickState = clicks_.press(button, timeMs, x, y);
    if (pointer && placement_) event.location = placement_(x, y);
    // The top-level window pressed in, named even once it has closed (a menu) or moved. A
    // popup open at the press is known from the notices before it: the server, asked now,
    // may have closed it already (a tap on a menu item chooses it on release). One still
    // open that the server does not find there lies under another window.
    if (pointer && pointer->child != XCB_WINDOW_NONE) event.windowNumber = pointer->child;
    if (const auto popup = popups_.openAt(static_cast<int>(x), static_cast<int>(y));
        popup && popup != event.windowNumber) {
        x11::Reply<xcb_get_window_attributes_reply_t> now(
            xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, *popup), nullptr));
        if (now && now->map_state != XCB_MAP_STATE_VIEWABLE) event.windowNumber = *popup;
    }
    event.timestampMs = arrivalMs;
    lastPressTime_ = timeMs;
    if (tap_ && (tapMask_ & (std::uint64_t{1} << event.type)) != 0) tap_(event);
}
