// Where the override-redirect popups (menus, lists) lie, as the root window's structure
// notices tell it, in the order of the connection's events.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>
#include <xcb/xcb.h>

/// Follows the override-redirect children of the root window: created, moved, mapped,
/// unmapped, destroyed. Read in step with the connection's other events, it tells which popup
/// was open at an input event even when the popup closed right after it (a tap on a menu
/// item), which asking the server afterwards cannot. Popups mapped before the first notice
/// are unknown.
class PopupPlaces {
public:
    /// Takes one event of `connection`; events of other kinds are ignored. A popup first seen
    /// mapped (made before the notices began) is placed by asking the server.
    void handle(const xcb_generic_event_t& event, xcb_connection_t* connection);
    /// The popup mapped last among those open that hold the root-window point; nothing when
    /// none does.
    std::optional<xcb_window_t> openAt(int x, int y) const;

private:
    struct Popup {
        xcb_window_t window = XCB_WINDOW_NONE;
        int x = 0;
        int y = 0;
        int width = 0;
        int height = 0;
        /// Position in the order of mapping; 0 while unmapped.
        std::uint64_t mappedOrder = 0;
    };
    Popup* find(xcb_window_t window);
    Popup& add(xcb_window_t window);
    void forget(xcb_window_t window);

    std::vector<Popup> popups_;
    std::uint64_t mappings_ = 0;
};
