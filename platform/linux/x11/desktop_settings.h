// Desktop-wide settings published on the X server: the XSETTINGS manager's settings
// (Net/DoubleClickTime, Gdk/WindowScalingFactor) and the resource database (Xft.dpi).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace x11 {
class Connection;
}

namespace desktop {

/// Integer and string settings of an _XSETTINGS_SETTINGS property (colours are skipped).
struct XSettings {
    std::map<std::string, std::int32_t> integers;
    std::map<std::string, std::string> strings;
};

/// Parses the _XSETTINGS_SETTINGS property bytes; nothing when they are malformed.
std::optional<XSettings> parseXSettings(std::span<const std::uint8_t> bytes);

/// The value of `name` ("Xft.dpi") in a resource database string ("Xft.dpi:\t96\n…").
std::optional<std::string> resourceValue(std::string_view database, std::string_view name);

/// Pixels per point: the toolkit's integer window scale when the desktop publishes one,
/// else Xft.dpi / 96 rounded down (fractional DPI only scales fonts on X11), at least 1.
double backingScale(std::optional<std::int32_t> windowScalingFactor,
                    std::optional<std::string> xftDpi);

/// The XSETTINGS of the screen's settings manager; nothing when no manager runs.
std::optional<XSettings> readXSettings(x11::Connection& connection);

/// The double-click interval of the desktop in milliseconds (400 when unpublished).
std::uint32_t doubleClickMs(x11::Connection& connection);

/// The main screen's backing scale as `backingScale` derives it from the server's settings.
double readBackingScale(x11::Connection& connection);

} // namespace desktop
