// The frontmost and running applications, as a test sets them.
#pragma once

#include "platform/workspace.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

class FakeWorkspace : public Workspace {
public:
    std::optional<RunningApplication> front;
    std::vector<RunningApplication> running;
    /// The owner of the window at any point; the front application when unset.
    std::optional<RunningApplication> atPoint;
    std::vector<std::optional<std::uint32_t>> windowsAsked;

    std::optional<RunningApplication> frontmostApplication() override { return front; }
    std::vector<RunningApplication> runningApplications() override { return running; }
    std::optional<RunningApplication> applicationAt(geo::Point,
                                                    std::optional<std::uint32_t> window) override {
        windowsAsked.push_back(window);
        return atPoint ? atPoint : front;
    }
    /// The owner of a window, by number; none for a window not listed (gone).
    std::map<std::uint32_t, RunningApplication> owners;
    std::optional<RunningApplication> applicationOfWindow(std::uint32_t window) override {
        const auto owner = owners.find(window);
        if (owner == owners.end()) return std::nullopt;
        return owner->second;
    }

    /// Puts an application with this name, bundle id and pid in front.
    void setFront(std::string name, std::string bundleId, std::int32_t pid) {
        front = RunningApplication{std::move(name), std::move(bundleId), pid};
    }
};
