// The program's start: one-shot options, the permission gate, the set-up steps, the banner,
// the ways a recording ends and the pause hotkey. Rules shown end to end by the recorder's
// integration tests (--once, the self-test frame, Ctrl+C with a permit waiting) are not
// repeated here.
#include "tests/unit/recorder/startup_harness.h"

#include <gtest/gtest.h>

namespace {

using Types = std::vector<std::string>;

constexpr std::string_view expectedBanner =
    "✓ トレース記録を開始しました → クラウド画像送信\n"
    "  そのまま普段の業務をしてください(業務の区切り・命名は不要。後で自動分割します)。\n"
    "  Ctrl+Opt+P: 一時停止・再開 / Ctrl+C: 終了\n"
    "  ※ 入力内容は記録しません(文字数・種別のみ)\n"
    "  ※ 画面テキストのOCRは無効(--ocr で有効化)\n"
    "  記録: 操作イベント + 操作後フレーム + フォーカス滞在 → analyze --interpret "
    "で業務分割+フロー生成\n";

constexpr std::uint64_t control = 0x40000;
constexpr std::uint64_t option = 0x80000;
constexpr std::uint64_t command = 0x100000;

TEST(StartupOptions, FirstOneShotOptionInTheFixedOrderWinsAndMatchesWholeArguments) {
    const std::string states =
        "accessibility=granted\nscreen_recording=denied\ninput_monitoring=unknown\n";
    struct Case {
        Types args;
        std::string printed;
        int requests;
        std::optional<std::string> executable;
    };
    const Case cases[] = {
        {{"--check"}, states, 0, {}},
        {{"--path", "--check"}, states, 0, {}},
        {{"--selftest-ocr", "--request", "--check"}, states, 0, {}},
        {{"--once", "--check", "--stream"}, states, 0, {}},
        {{"--path", "--request"}, states, 1, {}},
        {{"--selftest-ocr", "--path"}, "/usr/local/bin/stepreel\n", 0, "/usr/local/bin/stepreel"},
        {{"--Check", "-check", "--check=1", "check", "--path"}, "/opt/quill/stepreel\n", 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.front());
        StartupRun run;
        run.permissions->screenRecordingState = PermissionState::denied;
        run.permissions->inputMonitoringState = PermissionState::unknown;
        if (c.executable) run.platform.executablePath = *c.executable;
        EXPECT_EQ(run.run(c.args), 0);
        EXPECT_EQ(run.output(), c.printed);
        EXPECT_EQ(run.errors(), "");
        EXPECT_EQ(run.permissions->requests, c.requests);
        EXPECT_EQ(run.recordersMade, 0);
    }
}

TEST(StartupOptions, SelfTestWhoseCaptureFailsSendsALossAndPrintsNil) {
    StartupRun run;
    run.grantThenClose(2);
    run.capture->captureError = "display gone";
    EXPECT_EQ(run.run({"--selftest-ocr", "--stream"}), 0);
    const std::string output = run.output();
    EXPECT_EQ(parseFrames(output).typesWithoutPermits(), (Types{"loss"}));
    EXPECT_TRUE(output.ends_with("full=nil textLines=-1 center=nil\n"));
}

TEST(StartupRecording, MissingPermissionWarnsAndEndsWithStatusOne) {
    for (const Types& args : {Types{}, Types{"--once"}, Types{"--stream"}}) {
        StartupRun run;
        run.permissions->accessibilityState = PermissionState::denied;
        run.permissions->inputMonitoringState = PermissionState::unknown;
        EXPECT_EQ(run.run(args), 1);
        EXPECT_EQ(run.errors(), "⚠︎ 権限が不足しています(accessibility=denied "
                                "screen_recording=granted input_monitoring=unknown)。\n"
                                "   ./setup を実行して3つの権限を付与してください。\n");
        EXPECT_EQ(run.output(), "");
        EXPECT_TRUE(run.loop->installations().empty());
        EXPECT_EQ(run.recordersMade, 1); // the episode exists before the check
    }
}

TEST(StartupRecording, FailedTapIsReportedWithStatusOne) {
    StartupRun run;
    run.loop->tapInstallSucceeds = false;
    EXPECT_EQ(run.run({}), 1);
    EXPECT_EQ(run.errors(), "✗ イベントタップを作成できません。Input Monitoring と "
                            "アクセシビリティ権限を確認してください。\n");
    EXPECT_EQ(Types(run.loop->installations().begin(), run.loop->installations().end()),
              Types{"tap"});
    EXPECT_EQ(run.loop->runs(), 0);
    EXPECT_EQ(run.output(), "");
}

TEST(StartupRecording, InstallsInOrderPrintsTheBannerAndRuns) {
    StartupRun run;
    EXPECT_EQ(run.run({"--ocr", "--unknown-option", "stray"}), 0);
    EXPECT_EQ(Types(run.loop->installations().begin(), run.loop->installations().end()),
              (Types{"tap", "hotkey", "timer", "interrupt", "parent", "display"}));
    // Outside stream mode standard input is not the parent's: only the output is watched.
    EXPECT_EQ(run.loop->watchedOutput(), run.pipes.outputWriteEnd());
    EXPECT_EQ(run.loop->watchedInput(), std::nullopt);
    EXPECT_EQ(run.loop->tapMask(), 0x40Au);
    EXPECT_EQ(run.loop->timerIntervals(), std::vector<double>{1.5});
    EXPECT_EQ(run.loop->runs(), 1);
    EXPECT_EQ(run.errors(), expectedBanner);
    EXPECT_EQ(run.output(), "");
    EXPECT_TRUE(run.exits.empty());
}

TEST(StartupRecording, EachEndingRecordingOrPausedFinishesAsDocumented) {
    struct Ending {
        const char* what;
        void (FakeEventLoop::*fire)();
        Types frames;
        std::string_view lastMessage;
        int status;
    };
    const Ending endings[] = {
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
    for (const Ending& ending : endings) {
        for (const bool paused : {false, true}) {
            SCOPED_TRACE(std::string(ending.what) + (paused ? ", paused" : ""));
            StartupRun run;
            ASSERT_EQ(run.run({"--stream"}), 0);
            EXPECT_EQ(run.loop->watchedInput(), run.pipes.inputReadEnd());
            if (paused) run.loop->fireHotkey(HotkeyEvent{control | option, "p"});
            const std::string before = run.errors();
            (run.loop->*ending.fire)();
            EXPECT_EQ(run.exits, std::vector<int>{ending.status});
            EXPECT_EQ(run.frames().typesWithoutPermits(), ending.frames);
            EXPECT_EQ(run.errors(), before + std::string(ending.lastMessage));
        }
    }
}

TEST(StartupRecording, FocusIsFirstPolledOneAndAHalfSecondsAfterStart) {
    StartupRun run;
    run.grantThenClose(100);
    ASSERT_EQ(run.run({"--stream"}), 0);
    run.loop->advance(1.49);
    EXPECT_TRUE(run.frames().ofType("permit").empty());
    run.loop->advance(0.01);
    EXPECT_EQ(run.frames().ofType("permit").size(), 1u);
    run.loop->advance(3.0);
    EXPECT_EQ(run.frames().ofType("permit").size(), 3u);
}

TEST(PauseHotkey, ControlOptionPWhateverElseIsHeld) {
    const std::pair<HotkeyEvent, bool> cases[] = {
        {{control | option, "p"}, true},
        {{control | option | command, "p"}, true},
        {{control | option | 0x20000 | 0x100, "p"}, true},
        {{control, "p"}, false},
        {{option, "p"}, false},
        {{command | option, "p"}, false},
        {{control | option, "P"}, false},
        {{control | option, "π"}, false},
        {{control | option, "pp"}, false},
        {{control | option, ""}, false},
        {{control | option, std::nullopt}, false},
    };
    for (const auto& [hotkey, pauses] : cases)
        EXPECT_EQ(Startup::isPauseHotkey(hotkey), pauses)
            << hotkey.charactersIgnoringModifiers.value_or("(none)");
}

} // namespace
