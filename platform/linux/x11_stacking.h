// Which application's window is on top at a point, from the window manager's stacking list.
#pragma once

#include <cstdint>
#include <optional>

namespace x11 {
class Connection;
}

namespace x11_stacking {

/// The _NET_WM_PID of the topmost viewable client window (in _NET_CLIENT_LIST_STACKING) whose
/// rectangle contains the root-window point; nothing when there is no such list, no window
/// there, or the window names no process.
std::optional<std::uint32_t> processAt(x11::Connection& connection, int x, int y);

} // namespace x11_stacking
