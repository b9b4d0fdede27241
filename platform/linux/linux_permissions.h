// The recorder's three permissions on an X11 desktop: the display answers for screen
// capture, XInput2 for input monitoring, the AT-SPI bus for accessibility. Wayland
// sessions without X (no display) are denied.
#pragma once

#include "platform/linux/x11/x11_connection.h"
#include "platform/permissions.h"

#include <memory>
#include <string>
#include <vector>

class LinuxPermissions final : public Permissions {
public:
    /// `display` is the main connection, or null when no display could be opened.
    explicit LinuxPermissions(std::shared_ptr<x11::Connection> display);

    PermissionState accessibility() override;
    PermissionState screenRecording() override;
    PermissionState inputMonitoring() override;
    /// Switches the accessibility bus on (org.a11y.Status IsEnabled, and the desktop's
    /// toolkit-accessibility setting where it has one).
    void request() override;
    /// Names the cause: no display or one that cannot be reached, a server without XInput2
    /// or 24-bit colour, no session bus, an accessibility bus that is missing, late,
    /// unreachable or switched off.
    std::vector<std::string> remedies() override;

private:
    enum class BusProblem { none, noSessionBus, noAccessibilityBus, late, unreachable };
    struct BusCheck {
        BusProblem problem = BusProblem::none;
        std::string address;
    };
    bool displayUsable() const;
    BusCheck checkAccessibilityBus() const;
    std::shared_ptr<x11::Connection> display_;
};
