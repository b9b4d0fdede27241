// Permission states as text, the check lines and the request.
#include "recorder/permission.h"
#include "tests/fakes/fake_permissions.h"

#include <gtest/gtest.h>

namespace {

TEST(Permission, StatesAreNamed) {
    FakePermissions permissions;
    permissions.accessibilityState = PermissionState::granted;
    permissions.screenRecordingState = PermissionState::denied;
    permissions.inputMonitoringState = PermissionState::unknown;
    EXPECT_EQ(Permission::accessibility(permissions), "granted");
    EXPECT_EQ(Permission::screenRecording(permissions), "denied");
    EXPECT_EQ(Permission::inputMonitoring(permissions), "unknown");
}

TEST(Permission, CheckPrintsThreeLinesInOrder) {
    FakePermissions permissions;
    permissions.inputMonitoringState = PermissionState::unknown;
    std::string printed;
    Permission::printCheck(permissions, [&](std::string_view text) { printed += text; });
    EXPECT_EQ(printed, "accessibility=granted\nscreen_recording=granted\n"
                       "input_monitoring=unknown\n");
}

TEST(Permission, AllGrantedNeedsEachOfTheThree) {
    FakePermissions permissions;
    EXPECT_TRUE(Permission::allGranted(permissions));
    for (PermissionState FakePermissions::*state :
         {&FakePermissions::accessibilityState, &FakePermissions::screenRecordingState,
          &FakePermissions::inputMonitoringState}) {
        for (const PermissionState missing : {PermissionState::denied, PermissionState::unknown}) {
            FakePermissions partial;
            partial.*state = missing;
            EXPECT_FALSE(Permission::allGranted(partial));
        }
    }
}

TEST(Permission, RequestAsksOnce) {
    FakePermissions permissions;
    Permission::request(permissions);
    EXPECT_EQ(permissions.requests, 1);
}

} // namespace
