// Which application's window is on top at a point, from the window manager's stacking list.
#pragma once

#include <cstdint>
#include <optional>

namespace x11 {
class Connection;
}

namespace x11_stacking {

/// A client window and its rectangle in root-window coordinates.
struct ClientWindow {
    std::uint32_t window = 0;
    std::optional<std::uint32_t> pid; ///< its _NET_WM_PID
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

/// The topmost viewable client window (in _NET_CLIENT_LIST_STACKING) whose rectangle contains
/// the root-window point; nothing when there is no such list or no window there.
std::optional<ClientWindow> clientAt(x11::Connection& connection, int x, int y);

} // namespace x11_stacking
