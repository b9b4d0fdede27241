#pragma once

#include <string>
#include <vector>

enum class PermissionState { granted, denied, unknown };

class Permissions {
public:
    virtual ~Permissions() = default;
    /// Whether this process may read the accessibility tree.
    virtual PermissionState accessibility() = 0;
    /// Whether this process may capture the screen.
    virtual PermissionState screenRecording() = 0;
    /// Whether this process may listen to keyboard and mouse events.
    virtual PermissionState inputMonitoring() = 0;
    /// Asks the system for the three permissions (prompting where it does); results ignored.
    virtual void request() = 0;
    /// What the person can do about whatever keeps a permission from being fully usable, one
    /// line per cause, each naming the permissions it concerns; empty when the states say all.
    virtual std::vector<std::string> remedies() { return {}; }
};
