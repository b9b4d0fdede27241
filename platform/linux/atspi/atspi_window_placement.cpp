#include "platform/linux/atspi/atspi_window_placement.h"

#include "platform/linux/x11/x11_connection.h"

#include <climits>
#include <vector>

namespace atspi_placement {

std::optional<Box> placed(const AtspiRect& extents) {
    if (extents.width < 0 || extents.height < 0 || extents.x == INT_MIN || extents.y == INT_MIN) {
        return std::nullopt;
    }
    // How Chromium and Qt describe an element that is gone or hidden.
    if (extents.x == 0 && extents.y == 0 && extents.width == 0 && extents.height == 0) {
        return std::nullopt;
    }
    return Box{extents.x, extents.y, extents.width, extents.height};
}

std::optional<ClientFrame> clientFrameAt(x11::Connection& connection, int x, int y,
                                         std::optional<std::uint32_t>* pid) {
    const std::optional<x11_stacking::ClientWindow> client =
        x11_stacking::clientAt(connection, x, y);
    if (!client) return std::nullopt;
    if (pid != nullptr) *pid = client->pid;
    return clientFrameOf(connection, *client);
}

ClientFrame clientFrameOf(x11::Connection& connection, const x11_stacking::ClientWindow& client) {
    ClientFrame frame{{client.x, client.y, client.width, client.height}, std::nullopt};
    // Left, right, top, bottom.
    const std::vector<std::uint32_t> margins =
        connection.numbers(client.window, connection.atom("_GTK_FRAME_EXTENTS"));
    if (margins.size() == 4) {
        frame.margins = Box{static_cast<int>(margins[0]), static_cast<int>(margins[2]), 0, 0};
    }
    return frame;
}

Origin originOf(const Box& reportedWindow, const std::optional<ClientFrame>& client) {
    if (!client) return {};
    const Box& x11Box = client->box;
    const bool atZero = reportedWindow.x == 0 && reportedWindow.y == 0;
    const bool fits =
        reportedWindow.width <= x11Box.width && reportedWindow.height <= x11Box.height;
    const bool sameAsClient = x11Box.x == 0 && x11Box.y == 0 &&
                              reportedWindow.width == x11Box.width &&
                              reportedWindow.height == x11Box.height;
    if (!atZero || !fits || sameAsClient) return {};
    const int left =
        client->margins ? client->margins->x : (x11Box.width - reportedWindow.width) / 2;
    const int top =
        client->margins ? client->margins->y : (x11Box.height - reportedWindow.height) / 2;
    return {x11Box.x + left, x11Box.y + top, true};
}

} // namespace atspi_placement
