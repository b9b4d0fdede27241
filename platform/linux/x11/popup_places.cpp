#include "platform/linux/x11/popup_places.h"

#include "platform/linux/x11/x11_connection.h"

#include <algorithm>

namespace {

// Popups followed at most; a toolkit keeps a handful, reused.
constexpr std::size_t kMaxPopups = 256;

} // namespace

PopupPlaces::Popup* PopupPlaces::find(xcb_window_t window) {
    const auto found = std::find_if(popups_.begin(), popups_.end(),
                                    [window](const Popup& p) { return p.window == window; });
    return found == popups_.end() ? nullptr : &*found;
}

PopupPlaces::Popup& PopupPlaces::add(xcb_window_t window) {
    if (Popup* known = find(window)) return *known;
    if (popups_.size() >= kMaxPopups) popups_.erase(popups_.begin());
    popups_.push_back({window, 0, 0, 0, 0, 0});
    return popups_.back();
}

void PopupPlaces::forget(xcb_window_t window) {
    std::erase_if(popups_, [window](const Popup& p) { return p.window == window; });
}

void PopupPlaces::handle(const xcb_generic_event_t& event, xcb_connection_t* connection) {
    switch (event.response_type & 0x7f) {
    case XCB_CREATE_NOTIFY: {
        const auto& created = reinterpret_cast<const xcb_create_notify_event_t&>(event);
        if (!created.override_redirect) return;
        forget(created.window);
        add(created.window) = {created.window, created.x,      created.y,
                               created.width,  created.height, 0};
        return;
    }
    case XCB_CONFIGURE_NOTIFY: {
        const auto& moved = reinterpret_cast<const xcb_configure_notify_event_t&>(event);
        Popup* popup = moved.override_redirect ? &add(moved.window) : find(moved.window);
        if (popup != nullptr) {
            popup->x = moved.x;
            popup->y = moved.y;
            popup->width = moved.width;
            popup->height = moved.height;
        }
        return;
    }
    case XCB_MAP_NOTIFY: {
        const auto& mapped = reinterpret_cast<const xcb_map_notify_event_t&>(event);
        Popup* popup = find(mapped.window);
        if (popup == nullptr && mapped.override_redirect) {
            x11::Reply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(
                connection, xcb_get_geometry(connection, mapped.window), nullptr));
            if (!geometry) return;
            popup = &add(mapped.window);
            *popup = {mapped.window,   geometry->x,      geometry->y,
                      geometry->width, geometry->height, 0};
        }
        if (popup != nullptr) popup->mappedOrder = ++mappings_;
        return;
    }
    case XCB_UNMAP_NOTIFY: {
        const auto& unmapped = reinterpret_cast<const xcb_unmap_notify_event_t&>(event);
        if (Popup* popup = find(unmapped.window)) popup->mappedOrder = 0;
        return;
    }
    case XCB_DESTROY_NOTIFY:
        forget(reinterpret_cast<const xcb_destroy_notify_event_t&>(event).window);
        return;
    case XCB_REPARENT_NOTIFY: {
        // Taken away from the root: no longer a popup of its own.
        const auto& moved = reinterpret_cast<const xcb_reparent_notify_event_t&>(event);
        if (moved.event == moved.parent) return;
        forget(moved.window);
        return;
    }
    default:
        return;
    }
}

std::optional<xcb_window_t> PopupPlaces::openAt(int x, int y) const {
    const Popup* top = nullptr;
    for (const Popup& popup : popups_) {
        if (popup.mappedOrder == 0 || x < popup.x || y < popup.y || x - popup.x >= popup.width ||
            y - popup.y >= popup.height)
            continue;
        if (top == nullptr || popup.mappedOrder > top->mappedOrder) top = &popup;
    }
    if (top == nullptr) return std::nullopt;
    return top->window;
}
