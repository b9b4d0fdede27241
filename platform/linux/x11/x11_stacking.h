// Which application's window is on top at a point, from the window manager's stacking list.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

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

/// What `describeClient` adds: how to tell the window among its application's windows.
struct ClientFacts {
    ClientWindow client;
    std::optional<std::string> title; ///< _NET_WM_NAME, else WM_NAME
    bool popup = false; ///< override-redirect, or typed as a menu, combo list or tooltip
    bool viewable = false;
    std::uint32_t transientFor = 0; ///< WM_TRANSIENT_FOR, 0 when none
};

/// The topmost viewable client window (in _NET_CLIENT_LIST_STACKING) whose rectangle contains
/// the root-window point; nothing when there is no such list or no window there.
std::optional<ClientWindow> clientAt(x11::Connection& connection, int x, int y);

/// The client window the window manager names active (_NET_ACTIVE_WINDOW), else the one that
/// holds the input focus; nothing when no client is active.
std::optional<std::uint32_t> activeWindow(x11::Connection& connection);

/// The same with its pid and rectangle.
std::optional<ClientWindow> activeClient(x11::Connection& connection);

/// `window`'s pid and rectangle in root-window coordinates; nothing when it has gone.
std::optional<ClientWindow> describeClient(x11::Connection& connection, std::uint32_t window);

/// The same with its title and kind, in one round trip; a window that names no process
/// takes its WM_TRANSIENT_FOR owner's. Nothing when it has gone.
std::optional<ClientFacts> clientFacts(x11::Connection& connection, std::uint32_t window);

/// The topmost viewable top-level window that holds the root-window point, whatever the window
/// manager lists: a manager's frame, a client without one, or an override-redirect popup (a
/// menu, a list); nothing over the bare root.
std::optional<std::uint32_t> topLevelAt(x11::Connection& connection, int x, int y);

/// The client window of a top-level one: the first window, breadth first from it, that carries
/// WM_STATE; the window itself when none does (an override-redirect popup) or it has gone.
std::uint32_t clientOf(x11::Connection& connection, std::uint32_t topLevel);

} // namespace x11_stacking
