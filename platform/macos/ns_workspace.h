#pragma once

#include "platform/workspace.h"

class NSWorkspacePort final : public Workspace {
public:
    std::optional<RunningApplication> frontmostApplication() override;
    std::vector<RunningApplication> runningApplications() override;
};
