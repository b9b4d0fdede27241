#pragma once

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
};
