// Permission states set by the test; counts the requests made.
#pragma once

#include "platform/permissions.h"

#include <string>
#include <vector>

class FakePermissions : public Permissions {
public:
    PermissionState accessibilityState = PermissionState::granted;
    PermissionState screenRecordingState = PermissionState::granted;
    PermissionState inputMonitoringState = PermissionState::granted;
    std::vector<std::string> remedyLines;
    int requests = 0;

    PermissionState accessibility() override { return accessibilityState; }
    PermissionState screenRecording() override { return screenRecordingState; }
    PermissionState inputMonitoring() override { return inputMonitoringState; }
    void request() override { ++requests; }
    std::vector<std::string> remedies() override { return remedyLines; }
};
