#pragma once

#include "platform/workspace.h"

class NSWorkspacePort final : public Workspace {
public:
    std::optional<RunningApplication> frontmostApplication() override;
    std::vector<RunningApplication> runningApplications() override;
    /// The window server's window list: the window `windowNumber` while it exists, else the
    /// frontmost on-screen window holding the point (menus and the Dock included).
    std::optional<RunningApplication>
    applicationAt(geo::Point point, std::optional<std::uint32_t> windowNumber) override;
    std::optional<RunningApplication> applicationOfWindow(std::uint32_t windowNumber) override;
};
