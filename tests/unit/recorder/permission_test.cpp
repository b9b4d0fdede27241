// All three permissions are needed; printing and requesting are shown by the startup tests.
#include "recorder/permission.h"
#include "tests/fakes/fake_permissions.h"

#include <gtest/gtest.h>

namespace {

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

} // namespace
