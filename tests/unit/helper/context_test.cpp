// `context` and `running-apps`: which fields are printed, and how.
#include "helper/browser_url.h"
#include "helper/context.h"
#include "tests/unit/helper/helper_rig.h"

#include <gtest/gtest.h>
#include <limits>

namespace {

constexpr std::int32_t pid = 501;

TEST(ContextCommand, PrintsTheKnownFieldsAndLeavesAbsentOnesOut) {
    RunningApplication xlogo{"XLogo", "XLogo", -1}; // a process the platform cannot tell
    xlogo.frontWindowTitle = "xlogo";
    xlogo.frontWindowNumber = 4194305;
    const struct {
        std::optional<RunningApplication> front;
        std::vector<WindowListEntry> windows;
        double idle;
        std::string printed; ///< standard output, or standard error on a failure
    } cases[] = {
        {RunningApplication{"Safari", "com.apple.Safari", pid},
         {{pid, 0, "Docs — Example", 4294967295u}},
         12.5,
         R"({"appName":"Safari","bundleId":"com.apple.Safari","windowTitle":"Docs — Example",)"
         R"("windowId":4294967295,"url":"https://example.com/docs/a?b=c","idleSeconds":12.5})"},
        {xlogo,
         {{std::nullopt, 0, "xlogo", 4194305}},
         1,
         R"({"appName":"XLogo","bundleId":"XLogo","windowTitle":"xlogo","windowId":4194305,)"
         R"("idleSeconds":1})"},
        {RunningApplication{"Ed\xE9it", "com.example.edit", pid},
         {{pid, 0, "a\xF0\x9F", 5}},
         1,
         R"({"appName":"Ed�it","bundleId":"com.example.edit","windowTitle":"a�","windowId":5,)"
         R"("idleSeconds":1})"},
        {std::nullopt, {}, 1, "no frontmost application"},
        {RunningApplication{"Notes", "com.apple.Notes", pid},
         {},
         std::numeric_limits<double>::infinity(),
         "failed to encode JSON output"},
    };
    for (const auto& [front, windows, idle, printed] : cases) {
        helper_test::AllFakes fakes;
        fakes.workspace.front = front;
        fakes.windows.windows = windows;
        fakes.idle.seconds = idle;
        fakes.scripts.answers[std::string(helper::safariScript)] = "https://example.com/docs/a?b=c";
        const auto run = fakes.run({"context"});
        const bool ok = printed.starts_with("{");
        EXPECT_EQ(run.status, ok ? 0 : 1) << printed;
        EXPECT_EQ(ok ? run.out : run.err, printed + "\n");
        EXPECT_EQ(ok ? run.err : run.out, "") << printed;
        if (front && front->bundleIdentifier != "com.apple.Safari") {
            EXPECT_TRUE(fakes.scripts.sources.empty()) << printed; // only browsers are asked
        }
    }
}

TEST(RunningApps, RegularAppsWithNameAndBundleIdInOrderWithDuplicates) {
    helper_test::AllFakes fakes;
    fakes.workspace.running = {
        {"Mail", "com.apple.mail", 1, ActivationPolicy::regular},
        {"Menu Clock", "com.example.clock", 3, ActivationPolicy::accessory},
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
