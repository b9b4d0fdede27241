// Running applications as the desktop knows them.
#pragma once

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
    /// Of the frontmost application only, where the window server names windows itself: its
    /// front window's title (a popup without one of its own gives its owner's) and number.
    std::optional<std::string> frontWindowTitle = std::nullopt;
    std::optional<std::uint32_t> frontWindowNumber = std::nullopt;
};

class Workspace {
public:
    virtual ~Workspace() = default;
    /// The application that receives key events, or nothing when none does.
    virtual std::optional<RunningApplication> frontmostApplication() = 0;
    /// Every running application, in the platform's order.
    virtual std::vector<RunningApplication> runningApplications() = 0;
};
