// The frontmost and running applications, as a test sets them.
#pragma once

#include "platform/workspace.h"

#include <optional>
#include <string>
#include <vector>

class FakeWorkspace : public Workspace {
public:
    std::optional<RunningApplication> front;
    std::vector<RunningApplication> running;

    std::optional<RunningApplication> frontmostApplication() override { return front; }
    std::vector<RunningApplication> runningApplications() override { return running; }

    /// Puts an application with this name, bundle id and pid in front.
    void setFront(std::string name, std::string bundleId, std::int32_t pid) {
        front = RunningApplication{std::move(name), std::move(bundleId), pid};
    }
};
