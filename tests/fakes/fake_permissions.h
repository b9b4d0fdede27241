// Permission states set by the test; counts the requests made.
#pragma once

#include "platform/permissions.h"

class FakePermissions : public Permissions {
public:
    PermissionState accessibilityState = PermissionState::granted;
    PermissionState screenRecordingState = PermissionState::granted;
    PermissionState inputMonitoringState = PermissionState::granted;
    int requests = 0;
    /// Queries answered so far, all three kinds together.
    int queries = 0;

    PermissionState accessibility() override { return answer(accessibilityState); }
    PermissionState screenRecording() override { return answer(screenRecordingState); }
    PermissionState inputMonitoring() override { return answer(inputMonitoringState); }
    void request() override { ++requests; }

private:
    PermissionState answer(PermissionState state) {
        ++queries;
        return state;
    }
};
