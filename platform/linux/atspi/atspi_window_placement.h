// Where the extents a toolkit reports for a window's elements lie on the X screen.
//
// Most toolkits report screen coordinates. GTK 4 reports every element relative to its
// window, whose own extents are then always at 0,0; such a window is placed by its X client
// window instead: the client window's root position plus the invisible margins a
// client-side decorated window keeps around its visible part.
#pragma once

#include "platform/linux/x11/x11_stacking.h"

#include <atspi/atspi.h>
#include <optional>

namespace x11 {
class Connection;
}

namespace atspi_placement {

/// A rectangle in whole pixels; width and height are not negative.
struct Box {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    bool contains(int pointX, int pointY) const {
        return pointX >= x && pointY >= y && pointX - x < width && pointY - y < height;
    }
    double area() const { return double(width) * double(height); }
};

/// The extents as a box; nothing when they place nothing on the screen: a vanished or
/// unmapped element reports a negative size, the smallest coordinate there is, or an empty
/// box at the origin.
std::optional<Box> placed(const AtspiRect& extents);

/// What is added to reported extents to give screen coordinates.
struct Origin {
    int x = 0;
    int y = 0;
    /// The toolkit reports coordinates relative to the window (and answers hit tests in them).
    bool windowRelative = false;
};

/// A client window with the margins it declares around its visible part.
struct ClientFrame {
    Box box;
    /// _GTK_FRAME_EXTENTS left and top, when the window sets it.
    std::optional<Box> margins;
};

/// The client window on top at a root point, with its margins; nothing without a window
/// manager's stacking list or when no window is there.
std::optional<ClientFrame> clientFrameAt(x11::Connection& connection, int x, int y,
                                         std::optional<std::uint32_t>* pid);

/// The frame of a client window already found.
ClientFrame clientFrameOf(x11::Connection& connection, const x11_stacking::ClientWindow& client);

/// The origin of the coordinates a top-level window's toolkit reports, given the window's
/// own reported extents and the client window it is shown in. Reported extents at 0,0 that
/// fit inside a client window elsewhere (or smaller than it) are relative to the window: its
/// visible part starts at the declared margins, else in the middle of the unused space.
Origin originOf(const Box& reportedWindow, const std::optional<ClientFrame>& client);

} // namespace atspi_placement
