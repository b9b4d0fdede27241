// Running applications as the desktop knows them.
#pragma once

#include "platform/geometry.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

enum class ActivationPolicy { regular, accessory, prohibited };

struct RunningApplication {
    std::optional<std::string> localizedName;    ///< display name, valid UTF-8
    std::optional<std::string> bundleIdentifier; ///< bundle id (desktop-file id on Linux)
    std::int32_t processIdentifier = -1;         ///< -1 when the platform cannot tell
    ActivationPolicy activationPolicy = ActivationPolicy::regular;
    /// Of the frontmost application, or of the one found at a point, where the window server
    /// names windows itself: that window's title (a popup without one of its own gives its
    /// owner's) and number, and whether it is a popup (a menu or list, which takes the
    /// pointer while it is open).
    std::optional<std::string> frontWindowTitle = std::nullopt;
    std::optional<std::uint32_t> frontWindowNumber = std::nullopt;
    bool frontWindowIsPopup = false;
};

class Workspace {
public:
    virtual ~Workspace() = default;
    /// The application that receives key events, or nothing when none does.
    virtual std::optional<RunningApplication> frontmostApplication() = 0;
    /// Every running application, in the platform's order.
    virtual std::vector<RunningApplication> runningApplications() = 0;
    /// The application that owns the top-most window at `point` (global, points, top-left
    /// origin of the main screen), menus and other popups included, described with that
    /// window; nothing over the desktop. The window `windowNumber`, when given, is taken
    /// instead while the window server still knows it, even closed or moved.
    virtual std::optional<RunningApplication>
    applicationAt(geo::Point point, std::optional<std::uint32_t> windowNumber) = 0;
    /// The application that owns the window `windowNumber`, described with it; nothing when
    /// the window server no longer knows it.
    virtual std::optional<RunningApplication> applicationOfWindow(std::uint32_t windowNumber) = 0;
};
