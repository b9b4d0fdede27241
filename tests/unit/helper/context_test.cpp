// `context` and `running-apps`: which fields are printed, and how.
#include "helper/browser_url.h"
#include "helper/context.h"
#include "tests/unit/helper/helper_rig.h"

#include <gtest/gtest.h>
#include <limits>

namespace {

constexpr std::int32_t pid = 501;

TEST(ContextCommand, PrintsTheKnownFieldsRepairedAndLeavesAbsentOnesOut) {
    helper_test::AllFakes fakes;
    fakes.workspace.setFront("Saf\xE9ri", "com.apple.Safari", pid);
    fakes.windows.windows = {{pid, 1, "Palette", 9},
                             {pid, 0, "Docs\xF0\x9F https://a.example/?k=v", 4294967295u}};
    fakes.idle.seconds = 12.5;
    fakes.scripts.answers[std::string(helper::safariScript)] = "https://example.com/docs/a?b=c";
    auto run = fakes.run({"context"});
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, R"({"appName":"Saf�ri","bundleId":"com.apple.Safari",)"
                       R"("windowTitle":"Docs� https://a.example/?k=","windowId":4294967295,)"
                       R"("url":"https://example.com/docs/a?b=","idleSeconds":12.5})"
                       "\n");

    // No window of its own, and an idle time that JSON cannot hold.
    fakes.windows.windows.clear();
    fakes.idle.seconds = std::numeric_limits<double>::infinity();
    run = fakes.run({"context"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "failed to encode JSON output\n");
}

TEST(RunningApps, RegularAppsWithNameAndBundleIdInOrderWithDuplicates) {
    helper_test::AllFakes fakes;
    fakes.workspace.running = {
        {"Mail", "com.apple.mail", 1, ActivationPolicy::regular},
        {"Helper", "com.example.daemon", 4, ActivationPolicy::prohibited},
        {"Bad\xFF", "com.example.bad", 7, ActivationPolicy::regular},
        {"Mail", "com.apple.mail", 8, ActivationPolicy::regular},
    };
    EXPECT_EQ(fakes.run({"running-apps"}).out,
              "[{\"name\":\"Mail\",\"bundleId\":\"com.apple.mail\"},"
              "{\"name\":\"Bad\xEF\xBF\xBD\",\"bundleId\":\"com.example.bad\"},"
              "{\"name\":\"Mail\",\"bundleId\":\"com.apple.mail\"}]\n");
}

} // namespace
