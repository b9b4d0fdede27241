// The window list of an EWMH window manager, front to back, with macOS-style layers.
#pragma once

#include "platform/window_list.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace x11 {
class Connection;
}

/// Window levels, numbered like macOS's CGWindowLevel so that "0 = ordinary" holds everywhere.
namespace window_layer {
inline constexpr std::int64_t normal = 0;      ///< normal and dialog windows
inline constexpr std::int64_t floating = 3;    ///< keep-above windows, toolbars, splash screens
inline constexpr std::int64_t utility = 19;    ///< utility palettes
inline constexpr std::int64_t dock = 20;       ///< docks and panels
inline constexpr std::int64_t status = 25;     ///< notifications
inline constexpr std::int64_t popUpMenu = 101; ///< menus
inline constexpr std::int64_t help = 200;      ///< tooltips
inline constexpr std::int64_t dragging = 500;  ///< drag-and-drop icons
} // namespace window_layer

/// The layer of a window with these _NET_WM_WINDOW_TYPE names (first known one counts) and
/// whether _NET_WM_STATE holds _NET_WM_STATE_ABOVE; nothing for desktop windows, which
/// the list leaves out.
std::optional<std::int64_t> windowLayer(std::span<const std::string> windowTypes, bool keptAbove);

/// A window name as valid UTF-8: UTF8_STRING text with invalid bytes replaced, STRING
/// (ISO 8859-1) converted.
std::string windowNameText(std::string_view bytes, bool isLatin1);

class X11WindowList final : public WindowList {
public:
    /// Uses `connection`; when null, opens one on first use.
    explicit X11WindowList(std::shared_ptr<x11::Connection> connection = nullptr);
    ~X11WindowList() override;

    /// Mapped, non-hidden client windows from _NET_CLIENT_LIST_STACKING (or, without a
    /// window manager, the root's children), front to back.
    std::vector<WindowListEntry> onScreenWindows() override;

private:
    std::shared_ptr<x11::Connection> connection_;
};
