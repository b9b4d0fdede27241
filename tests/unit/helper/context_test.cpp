// `context` and `running-apps`: the front window of the front process, the idle time, and
// which fields are printed.
#include "helper/browser_url.h"
#include "helper/context.h"
#include "tests/unit/helper/helper_rig.h"

#include <gtest/gtest.h>
#include <limits>

namespace {

constexpr std::int32_t pid = 501;

TEST(FrontWindowInfo, FirstOrdinaryWindowOfTheProcessWhoseEntriesAreKnown) {
    const struct {
        std::vector<WindowListEntry> windows;
        std::optional<std::string> title;
        std::optional<std::uint32_t> id;
    } cases[] = {
        {{{77, 0, "Other app", 1}, {pid, 3, "Colours", 2}, {pid, 0, "Report", 3}, {pid, 0, "B", 4}},
         "Report",
         3},
        {{{pid, 0, "", 12}}, std::nullopt, 12},
        {{{pid, 0, std::nullopt, 13}}, std::nullopt, 13},
        {{{std::nullopt, 0, "no owner", 1},
          {pid, std::nullopt, "no layer", 2},
          {pid, 0, "no number", std::nullopt},
          {pid, 0, "later", 4}},
         "no number",
         std::nullopt},
        {{{pid, 25, "Status", 8}, {pid, 101, "Menu", 9}, {pid, -1, "Below", 10}}, {}, {}},
    };
    for (const auto& [windows, title, id] : cases) {
        FakeWindowList list;
        list.windows = windows;
        const auto front = helper::frontWindowInfo(list, pid);
        EXPECT_EQ(front.title, title) << windows.size() << " windows";
        EXPECT_EQ(front.id, id) << windows.size() << " windows";
    }
}

TEST(IdleSeconds, SmallestOverTheSevenEventTypesThatThePlatformCanAnswer) {
    FakeIdleTime idle;
    idle.otherwise = 600;
    idle.seconds[InputEventType::keyDown] = std::numeric_limits<double>::quiet_NaN();
    idle.seconds[InputEventType::scrollWheel] = 2.5;
    idle.seconds[InputEventType::flagsChanged] = 0.01; // the last one asked
    EXPECT_DOUBLE_EQ(helper::idleSeconds(idle), 0.01);
    EXPECT_EQ(idle.asked, (std::vector<InputEventType>{
                              InputEventType::keyDown, InputEventType::mouseMoved,
                              InputEventType::leftMouseDown, InputEventType::rightMouseDown,
                              InputEventType::otherMouseDown, InputEventType::scrollWheel,
                              InputEventType::flagsChanged}));
    idle.seconds[InputEventType::flagsChanged] = 30;
    EXPECT_DOUBLE_EQ(helper::idleSeconds(idle), 2.5);
}

TEST(ContextCommand, PrintsTheKnownFieldsAndLeavesAbsentOnesOut) {
    RunningApplication xlogo{"XLogo", "XLogo", -1}; // a process the platform cannot tell
    xlogo.frontWindowTitle = "xlogo";
    xlogo.frontWindowNumber = 4194305;
    const struct {
        std::optional<RunningApplication> front;
        std::vector<WindowListEntry> windows;
        double idle;
        std::string out;
        std::string err;
    } cases[] = {
        {RunningApplication{"Safari", "com.apple.Safari", pid},
         {{pid, 0, "Docs — Example", 4294967295u}},
         12.5,
         "{\"appName\":\"Safari\",\"bundleId\":\"com.apple.Safari\",\"windowTitle\":\"Docs — "
         "Example\",\"windowId\":4294967295,\"url\":\"https://example.com/docs/a?b=c\","
         "\"idleSeconds\":12.5}\n",
         ""},
        {RunningApplication{std::nullopt, std::nullopt, pid},
         {{pid, 0, "", 99}},
         12.5,
         "{\"appName\":\"Unknown\",\"windowId\":99,\"idleSeconds\":12.5}\n",
         ""},
        {xlogo,
         {{std::nullopt, 0, "xlogo", 4194305}},
         1,
         "{\"appName\":\"XLogo\",\"bundleId\":\"XLogo\",\"windowTitle\":\"xlogo\","
         "\"windowId\":4194305,\"idleSeconds\":1}\n",
         ""},
        {RunningApplication{"Ed\xE9it", "com.example.edit", pid},
         {{pid, 0, "a\xF0\x9F", 5}},
         1,
         "{\"appName\":\"Ed\xEF\xBF\xBDit\",\"bundleId\":\"com.example.edit\","
         "\"windowTitle\":\"a\xEF\xBF\xBD\",\"windowId\":5,\"idleSeconds\":1}\n",
         ""},
        {std::nullopt, {}, 1, "", "no frontmost application\n"},
        {RunningApplication{"Notes", "com.apple.Notes", pid},
         {},
         std::numeric_limits<double>::infinity(),
         "",
         "failed to encode JSON output\n"},
    };
    for (const auto& [front, windows, idle, out, err] : cases) {
        helper_test::AllFakes fakes;
        fakes.workspace.front = front;
        fakes.windows.windows = windows;
        fakes.idle.otherwise = idle;
        fakes.scripts.answers[std::string(helper::safariScript)] = "https://example.com/docs/a?b=c";
        const auto run = fakes.run({"context"});
        EXPECT_EQ(run.status, err.empty() ? 0 : 1) << out;
        EXPECT_EQ(run.out, out);
        EXPECT_EQ(run.err, err) << out;
        if (front && front->bundleIdentifier != "com.apple.Safari") {
            EXPECT_TRUE(fakes.scripts.sources.empty()) << out; // only browsers are asked
        }
    }
}

TEST(RunningApps, RegularAppsWithNameAndBundleIdInOrderWithDuplicates) {
    helper_test::AllFakes fakes;
    fakes.workspace.running = {
        {"Mail", "com.apple.mail", 1, ActivationPolicy::regular},
        {"Menu Clock", "com.example.clock", 3, ActivationPolicy::accessory},
        {"Helper", "com.example.daemon", 4, ActivationPolicy::prohibited},
        {std::nullopt, "com.example.nameless", 5, ActivationPolicy::regular},
        {"No Id", std::nullopt, 6, ActivationPolicy::regular},
        {"Bad\xFF", "com.example.bad", 7, ActivationPolicy::regular},
        {"Mail", "com.apple.mail", 8, ActivationPolicy::regular},
        {"", "com.example.empty-name", 9, ActivationPolicy::regular},
    };
    EXPECT_EQ(fakes.run({"running-apps"}).out,
              "[{\"name\":\"Mail\",\"bundleId\":\"com.apple.mail\"},"
              "{\"name\":\"Bad\xEF\xBF\xBD\",\"bundleId\":\"com.example.bad\"},"
              "{\"name\":\"Mail\",\"bundleId\":\"com.apple.mail\"},"
              "{\"name\":\"\",\"bundleId\":\"com.example.empty-name\"}]\n");
    fakes.workspace.running = {{"Agent", "com.example.agent", 1, ActivationPolicy::accessory}};
    EXPECT_EQ(fakes.run({"running-apps"}).out, "[]\n");
}

} // namespace
