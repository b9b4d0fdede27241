// The program's start: one-shot options, the permission gate, the set-up steps and the ways
// a recording ends.
#include "tests/unit/recorder/recorder_rig.h"

#include <gtest/gtest.h>

namespace {

using Types = std::vector<std::string>;

constexpr std::uint64_t control = 0x40000, option = 0x80000, command = 0x100000;

TEST(StartupOptions, FirstOneShotOptionInTheFixedOrderWinsAndMatchesWholeArguments) {
    const std::string states =
        "accessibility=granted\nscreen_recording=denied\ninput_monitoring=unknown\n";
    const struct {
        Types args;
        std::string printed;
        int requests;
        std::optional<std::string> executable;
    } cases[] = {
        {{"--check"}, states, 0, {}},
        {{"--path", "--check"}, states, 0, {}},
        {{"--selftest-ocr", "--request", "--check"}, states, 0, {}},
        {{"--once", "--check", "--stream"}, states, 0, {}},
        {{"--path", "--request"}, states, 1, {}},
        {{"--selftest-ocr", "--path"}, "/usr/local/bin/stepreel\n", 0, "/usr/local/bin/stepreel"},
        {{"--Check", "-check", "--check=1", "check", "--path"}, "/opt/quill/stepreel\n", 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.front());
        RecorderRig rig;
        rig.permissions.screenRecordingState = PermissionState::denied;
        rig.permissions.inputMonitoringState = PermissionState::unknown;
        rig.platform.executablePath = c.executable;
        EXPECT_EQ(rig.run(c.args), 0);
        EXPECT_EQ(rig.pipes.output(), c.printed);
        EXPECT_EQ(rig.pipes.errorText(), "");
        EXPECT_EQ(rig.permissions.requests, c.requests);
        EXPECT_FALSE(rig.recorder);
    }
}

TEST(StartupOptions, SelfTestWhoseCaptureFailsSendsALossAndPrintsNil) {
    RecorderRig rig;
    rig.pipes.grant(2);
    rig.pipes.closeInput();
    rig.capture.captureError = "display gone";
    EXPECT_EQ(rig.run({"--selftest-ocr", "--stream"}), 0);
    const std::string output = rig.pipes.output();
    EXPECT_EQ(parseFrames(output).typesWithoutPermits(), (Types{"loss"}));
    EXPECT_TRUE(output.ends_with("full=nil textLines=-1 center=nil\n"));
}

TEST(StartupRecording, MissingPermissionWarnsAndEndsWithStatusOne) {
    const std::pair<PermissionState FakePermissions::*, const char*> missing[] = {
        {&FakePermissions::accessibilityState, "accessibility=denied screen_recording=granted"},
        {&FakePermissions::screenRecordingState, "accessibility=granted screen_recording=denied"},
        {&FakePermissions::inputMonitoringState, "accessibility=granted screen_recording=granted"},
    };
    for (const auto& [state, states] : missing) {
        for (const Types& args : {Types{}, Types{"--once"}, Types{"--stream"}}) {
            RecorderRig rig;
            rig.permissions.*state = PermissionState::denied;
            rig.permissions.inputMonitoringState = PermissionState::unknown;
            EXPECT_EQ(rig.run(args), 1);
            EXPECT_EQ(rig.pipes.errorText(),
                      "⚠︎ 権限が不足しています(" + std::string(states) +
                          " input_monitoring=unknown)。\n"
                          "   ./setup を実行して3つの権限を付与してください。\n");
            EXPECT_EQ(rig.pipes.output(), "");
            EXPECT_TRUE(rig.loop.installations.empty());
            EXPECT_TRUE(rig.recorder); // the episode exists before the check
        }
    }
}

TEST(StartupRecording, FailedTapIsReportedWithStatusOne) {
    RecorderRig rig;
    rig.loop.tapInstallSucceeds = false;
    EXPECT_EQ(rig.run({}), 1);
    EXPECT_EQ(rig.pipes.errorText(), "✗ イベントタップを作成できません。Input Monitoring と "
                                     "アクセシビリティ権限を確認してください。\n");
    EXPECT_EQ(rig.loop.installations, Types{"tap"});
    EXPECT_EQ(rig.loop.runs, 0);
    EXPECT_EQ(rig.pipes.output(), "");
}

TEST(StartupRecording, InstallsInOrderPrintsTheBannerAndRuns) {
    RecorderRig rig;
    EXPECT_EQ(rig.run({"--ocr", "--unknown-option", "stray"}), 0);
    EXPECT_EQ(rig.loop.installations,
              (Types{"tap", "hotkey", "timer", "interrupt", "parent", "display"}));
    // Outside stream mode standard input is not the parent's: only the output is watched.
    EXPECT_EQ(rig.loop.watchedFds, std::pair(rig.pipes.outputWriteEnd(), std::optional<int>()));
    EXPECT_EQ(rig.loop.tapMask, 0x40Au);
    EXPECT_EQ(rig.loop.runs, 1);
    EXPECT_TRUE(rig.pipes.errorText().starts_with("✓ トレース記録を開始しました"));
    EXPECT_EQ(rig.pipes.output(), "");
    EXPECT_TRUE(rig.exits.empty());
}

TEST(StartupRecording, EachEndingRecordingOrPausedFinishesAsDocumented) {
    const struct {
        const char* what;
        void (FakeEventLoop::*fire)();
        Types frames;
        std::string_view lastMessage;
        int status;
    } endings[] = {
        {"Ctrl+C",
         &FakeEventLoop::fireInterrupt,
         {"finish"},
         "\n■ 記録を終了しました → クラウド画像送信\n",
         0},
        {"parent gone", &FakeEventLoop::fireParentGone, {}, "", 0},
        {"display lost",
         &FakeEventLoop::fireDisplayLost,
         {"finish"},
         "✗ ディスプレイとの接続が切れたため、記録を終了しました。\n",
         1},
    };
    for (const auto& ending : endings) {
        for (const bool paused : {false, true}) {
            SCOPED_TRACE(std::string(ending.what) + (paused ? ", paused" : ""));
            RecorderRig rig;
            ASSERT_EQ(rig.run({"--stream"}), 0);
            EXPECT_EQ(rig.loop.watchedFds->second, rig.pipes.inputReadEnd());
            if (paused) rig.loop.fireHotkey(HotkeyEvent{control | option, "p"});
            const std::string before = rig.pipes.errorText();
            (rig.loop.*ending.fire)();
            EXPECT_EQ(rig.exits, std::vector<int>{ending.status});
            EXPECT_EQ(rig.pipes.frames().typesWithoutPermits(), ending.frames);
            EXPECT_EQ(rig.pipes.errorText(), before + std::string(ending.lastMessage));
        }
    }
}

} // namespace
