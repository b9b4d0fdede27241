#include "helper/context.h"
#include "tests/fakes/fake_accessibility.h"
#include "tests/fakes/fake_idle_time.h"
#include "tests/fakes/fake_script_runner.h"
#include "tests/fakes/fake_window_list.h"
#include "tests/unit/helper/dispatch_test_support.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace {

using helper::frontWindowInfo;
using helper_test::runHelperWith;

constexpr std::int32_t pid = 501;

TEST(FrontWindowInfo, TakesTheFirstOrdinaryWindowOfTheProcess) {
    FakeWindowList windows;
    windows
        .add(77, 0, "Other app", 1)    // another process, in front
        .add(pid, 3, "Colours", 2)     // floating palette
        .add(pid, 0, "Report.docx", 3) // the document window
        .add(pid, 0, "Older.docx", 4);
    const auto front = frontWindowInfo(windows, pid);
    EXPECT_EQ(front.title, "Report.docx");
    EXPECT_EQ(front.id, 3u);
}

TEST(FrontWindowInfo, UntitledWindowHasANumberButNoTitle) {
    FakeWindowList windows;
    windows.add(pid, 0, "", 12);
    auto front = frontWindowInfo(windows, pid);
    EXPECT_FALSE(front.title);
    EXPECT_EQ(front.id, 12u);

    windows.windows = {{pid, 0, std::nullopt, 13}};
    front = frontWindowInfo(windows, pid);
    EXPECT_FALSE(front.title);
    EXPECT_EQ(front.id, 13u);
}

TEST(FrontWindowInfo, WindowsWithMissingEntriesAreSkipped) {
    FakeWindowList windows;
    windows.windows = {
        {std::nullopt, 0, "no owner", 1},
        {pid, std::nullopt, "no layer", 2},
        {pid, 0, "no number", std::nullopt},
        {pid, 0, "later", 4},
    };
    const auto front = frontWindowInfo(windows, pid);
    EXPECT_EQ(front.title, "no number");
    EXPECT_FALSE(front.id);
}

TEST(FrontWindowInfo, NoOrdinaryWindowOfTheProcessGivesNothing) {
    FakeWindowList panels;
    panels.add(pid, 25, "Status", 8).add(pid, 101, "Menu", 9).add(pid, -1, "Below", 10);
    FakeWindowList none;
    for (FakeWindowList* windows : {&panels, &none}) {
        const auto front = frontWindowInfo(*windows, pid);
        EXPECT_FALSE(front.title);
        EXPECT_FALSE(front.id);
    }
}

TEST(IdleSeconds, SmallestOverTheSevenEventTypes) {
    FakeIdleTime idle;
    idle.otherwise = 600;
    idle.seconds[InputEventType::keyDown] = 0.04; // typing, mouse untouched for minutes
    EXPECT_DOUBLE_EQ(helper::idleSeconds(idle), 0.04);
    const std::vector<InputEventType> expectedOrder = {
        InputEventType::keyDown,        InputEventType::mouseMoved,
        InputEventType::leftMouseDown,  InputEventType::rightMouseDown,
        InputEventType::otherMouseDown, InputEventType::scrollWheel,
        InputEventType::flagsChanged};
    EXPECT_EQ(idle.asked, expectedOrder);

    idle.seconds[InputEventType::flagsChanged] = 0.01; // the last one asked
    EXPECT_DOUBLE_EQ(helper::idleSeconds(idle), 0.01);
}

TEST(IdleSeconds, ATypeThePlatformCannotAnswerDoesNotHideTheOthers) {
    FakeIdleTime idle;
    idle.otherwise = 30;
    idle.seconds[InputEventType::keyDown] = std::numeric_limits<double>::quiet_NaN();
    idle.seconds[InputEventType::scrollWheel] = 2.5;
    EXPECT_DOUBLE_EQ(helper::idleSeconds(idle), 2.5);
}

class ContextCommand : public ::testing::Test {
protected:
    ContextCommand() {
        auto workspace = std::make_unique<FakeWorkspace>();
        auto windows = std::make_unique<FakeWindowList>();
        auto idle = std::make_unique<FakeIdleTime>();
        auto scripts = std::make_unique<FakeScriptRunner>();
        auto accessibility = std::make_unique<FakeAccessibility>();
        workspace_ = workspace.get();
        windows_ = windows.get();
        idle_ = idle.get();
        scripts_ = scripts.get();
        accessibility_ = accessibility.get();
        platform_.workspace = std::move(workspace);
        platform_.windowList = std::move(windows);
        platform_.idleTime = std::move(idle);
        platform_.scriptRunner = std::move(scripts);
        platform_.accessibility = std::move(accessibility);
        idle_->otherwise = 12.5;
    }

    HelperPlatform platform_;
    FakeWorkspace* workspace_;
    FakeWindowList* windows_;
    FakeIdleTime* idle_;
    FakeScriptRunner* scripts_;
    FakeAccessibility* accessibility_;
};

TEST_F(ContextCommand, BrowserInFrontWithEveryField) {
    workspace_->front = RunningApplication{"Safari", "com.apple.Safari", pid};
    windows_->add(pid, 0, "Docs — Example", 4711);
    scripts_->answers["tell application \"Safari\" to return URL of front document"] =
        "https://example.com/docs/a?b=c";
    const auto run = runHelperWith({"context"}, platform_);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, "{\"appName\":\"Safari\",\"bundleId\":\"com.apple.Safari\","
                       "\"windowTitle\":\"Docs — Example\",\"windowId\":4711,"
                       "\"url\":\"https://example.com/docs/a?b=c\",\"idleSeconds\":12.5}\n");
}

TEST_F(ContextCommand, AbsentValuesLeaveTheirKeysOut) {
    workspace_->front = RunningApplication{std::nullopt, std::nullopt, pid};
    windows_->add(pid, 0, "", 99);
    const auto run = runHelperWith({"context"}, platform_);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "{\"appName\":\"Unknown\",\"windowId\":99,\"idleSeconds\":12.5}\n");
    EXPECT_TRUE(scripts_->sources.empty());
}

TEST_F(ContextCommand, ProcessThePlatformCannotTellHasTheWorkspacesFrontWindow) {
    RunningApplication app{"XLogo", "XLogo", -1};
    app.frontWindowTitle = "xlogo";
    app.frontWindowNumber = 4194305;
    workspace_->front = app;
    windows_->windows = {{std::nullopt, 0, "xlogo", 4194305}};
    const auto run = runHelperWith({"context"}, platform_);
    EXPECT_EQ(run.out, "{\"appName\":\"XLogo\",\"bundleId\":\"XLogo\",\"windowTitle\":\"xlogo\","
                       "\"windowId\":4194305,\"idleSeconds\":12.5}\n");
}

TEST_F(ContextCommand, LargestWindowNumberIsPrintedUnsigned) {
    workspace_->front = RunningApplication{"Terminal", "com.apple.Terminal", pid};
    windows_->add(pid, 0, "zsh", 4294967295u);
    const auto run = runHelperWith({"context"}, platform_);
    EXPECT_NE(run.out.find("\"windowId\":4294967295,"), std::string::npos) << run.out;
}

TEST_F(ContextCommand, AccessoryAppInFrontIsReported) {
    workspace_->front =
        RunningApplication{"Menu Clock", "com.example.clock", pid, ActivationPolicy::accessory};
    const auto run = runHelperWith({"context"}, platform_);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "{\"appName\":\"Menu Clock\",\"bundleId\":\"com.example.clock\","
                       "\"idleSeconds\":12.5}\n");
}

TEST_F(ContextCommand, NoFrontmostApplicationFailsWithStatusOne) {
    const auto run = runHelperWith({"context"}, platform_);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "no frontmost application\n");
    EXPECT_EQ(run.out, "");
}

TEST_F(ContextCommand, PlatformTextThatIsNotUtf8IsRepaired) {
    workspace_->front = RunningApplication{"Ed\xE9it", "com.example.edit", pid};
    windows_->add(pid, 0, "a\xF0\x9F", 5);
    const auto run = runHelperWith({"context"}, platform_);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "{\"appName\":\"Ed\xEF\xBF\xBDit\",\"bundleId\":\"com.example.edit\","
                       "\"windowTitle\":\"a\xEF\xBF\xBD\",\"windowId\":5,\"idleSeconds\":12.5}\n");
}

TEST_F(ContextCommand, IdleTimeThatCannotBeEncodedFailsCleanly) {
    workspace_->front = RunningApplication{"Notes", "com.apple.Notes", pid};
    idle_->otherwise = std::numeric_limits<double>::infinity();
    const auto run = runHelperWith({"context"}, platform_);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "failed to encode JSON output\n");
    EXPECT_EQ(run.out, "");
}

TEST(RunningApps, RegularAppsWithNameAndBundleIdInOrderWithDuplicates) {
    HelperPlatform platform;
    auto workspace = std::make_unique<FakeWorkspace>();
    workspace->front =
        RunningApplication{"Menu Clock", "com.example.clock", 3, ActivationPolicy::accessory};
    workspace->running = {
        {"Mail", "com.apple.mail", 1, ActivationPolicy::regular},
        {"Menu Clock", "com.example.clock", 3, ActivationPolicy::accessory},
        {"Helper", "com.example.daemon", 4, ActivationPolicy::prohibited},
        {std::nullopt, "com.example.nameless", 5, ActivationPolicy::regular},
        {"No Id", std::nullopt, 6, ActivationPolicy::regular},
        {"Code", "com.microsoft.VSCode", 7, ActivationPolicy::regular},
        {"Mail", "com.apple.mail", 8, ActivationPolicy::regular},
        {"", "com.example.empty-name", 9, ActivationPolicy::regular},
    };
    platform.workspace = std::move(workspace);
    const auto run = runHelperWith({"running-apps"}, platform);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "[{\"name\":\"Mail\",\"bundleId\":\"com.apple.mail\"},"
                       "{\"name\":\"Code\",\"bundleId\":\"com.microsoft.VSCode\"},"
                       "{\"name\":\"Mail\",\"bundleId\":\"com.apple.mail\"},"
                       "{\"name\":\"\",\"bundleId\":\"com.example.empty-name\"}]\n");
}

TEST(RunningApps, NothingQualifyingGivesTheEmptyArray) {
    HelperPlatform platform;
    auto workspace = std::make_unique<FakeWorkspace>();
    workspace->running = {{"Agent", "com.example.agent", 1, ActivationPolicy::accessory}};
    platform.workspace = std::move(workspace);
    EXPECT_EQ(runHelperWith({"running-apps"}, platform).out, "[]\n");
}

} // namespace
