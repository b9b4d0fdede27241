#pragma once

#include "platform/permissions.h"

/// Accessibility, screen recording and input monitoring as the system's privacy database has them.
class TCCPermissions final : public Permissions {
public:
    PermissionState accessibility() override;
    PermissionState screenRecording() override;
    PermissionState inputMonitoring() override;
    void request() override;
};
