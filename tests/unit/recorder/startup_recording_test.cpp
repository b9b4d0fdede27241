// Recording mode: the permission gate, --once, the set-up steps, the banner, the ways a
// recording ends, the pause hotkey and the focus timer.
#include "tests/unit/recorder/startup_harness.h"

#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace {

using startup_harness::StartupRun;
using Types = std::vector<std::string>;

constexpr std::string_view expectedBanner =
    "✓ トレース記録を開始しました → クラウド画像送信\n"
    "  そのまま普段の業務をしてください(業務の区切り・命名は不要。後で自動分割します)。\n"
    "  Ctrl+Opt+P: 一時停止・再開 / Ctrl+C: 終了\n"
    "  ※ 入力内容は記録しません(文字数・種別のみ)\n"
    "  ※ 画面テキストのOCRは無効(--ocr で有効化)\n"
    "  記録: 操作イベント + 操作後フレーム + フォーカス滞在 → analyze --interpret "
    "で業務分割+フロー生成\n";

constexpr std::string_view expectedEndLine = "\n■ 記録を終了しました → クラウド画像送信\n";
constexpr std::string_view expectedDisplayLost =
    "✗ ディスプレイとの接続が切れたため、記録を終了しました。\n";

constexpr std::uint64_t control = 0x40000;
constexpr std::uint64_t option = 0x80000;
constexpr std::uint64_t command = 0x100000;

TEST(StartupPermissions, MissingPermissionWarnsAndEndsWithStatusOne) {
    for (const auto& args : std::vector<std::vector<std::string>>{{}, {"--once"}, {"--stream"}}) {
        StartupRun run;
        run.permissions->inputMonitoringState = PermissionState::unknown;
        EXPECT_EQ(run.run(args), 1);
        EXPECT_EQ(run.errors(), "⚠︎ 権限が不足しています(accessibility=granted "
                                "screen_recording=granted input_monitoring=unknown)。\n"
                                "   ./setup を実行して3つの権限を付与してください。\n");
        EXPECT_EQ(run.output(), "");
        EXPECT_TRUE(run.loop->installations().empty());
        EXPECT_EQ(run.recordersMade, 1); // the episode exists before the check
    }
}

TEST(StartupPermissions, WarningQueriesTheStatesAgain) {
    StartupRun run;
    run.permissions->accessibilityState = PermissionState::denied;
    run.permissions->screenRecordingState = PermissionState::denied;
    EXPECT_EQ(run.run({}), 1);
    EXPECT_NE(run.errors().find("(accessibility=denied screen_recording=denied "
                                "input_monitoring=granted)"),
              std::string::npos);
    EXPECT_GE(run.permissions->queries, 4);
}

TEST(StartupOnce, WithoutStreamWritesOnlyTheFinishFrame) {
    StartupRun run;
    EXPECT_EQ(run.run({"--once"}), 0);
    const ParsedStream stream = run.frames();
    ASSERT_EQ(stream.frames.size(), 1u);
    EXPECT_EQ(stream.frames[0].header,
              nlohmann::json({{"type", "finish"}, {"sessionId", run.recorder->episodeId()}}));
    EXPECT_EQ(stream.trailingBytes, 0u);
    EXPECT_EQ(run.errors(), "");
    EXPECT_TRUE(run.loop->installations().empty());
    EXPECT_EQ(run.loop->runs(), 0);
}

TEST(StartupOnce, WithStreamRecordsOneNavigateBeforeTheFinish) {
    StartupRun run;
    run.grantThenClose(2);
    EXPECT_EQ(run.run({"--stream", "--once", "--ocr"}), 0);
    const ParsedStream stream = run.frames();
    EXPECT_EQ(stream.ofType("permit").size(), 2u);
    ASSERT_EQ(stream.typesWithoutPermits(), (Types{"frame", "events", "finish"}));
    const auto event = stream.ofType("events").front().header["event"];
    EXPECT_EQ(event["kind"], "navigate");
    EXPECT_FALSE(event.contains("key"));
    EXPECT_EQ(event["screenshotFull"], "frames/0-full.jpg");
    EXPECT_EQ(run.recorder->meta().status, "completed");
    EXPECT_EQ(run.loop->pendingTasks(), 0u); // no result frame for a navigation
    EXPECT_EQ(run.errors(), "");
}

TEST(StartupOnce, RefusedByTheParentStillFinishes) {
    StartupRun run;
    run.grantThenClose(0);
    EXPECT_EQ(run.run({"--once", "--stream"}), 0);
    EXPECT_EQ(run.frames().typesWithoutPermits(), (Types{"finish"}));
}

TEST(StartupRecording, FailedTapIsReportedWithStatusOne) {
    StartupRun run;
    run.loop->tapInstallSucceeds = false;
    EXPECT_EQ(run.run({}), 1);
    EXPECT_EQ(run.errors(), "✗ イベントタップを作成できません。Input Monitoring と "
                            "アクセシビリティ権限を確認してください。\n");
    ASSERT_EQ(run.loop->installations().size(), 1u);
    EXPECT_STREQ(run.loop->installations()[0], "tap");
    EXPECT_EQ(run.loop->runs(), 0);
    EXPECT_EQ(run.output(), "");
}

TEST(StartupRecording, InstallsInOrderPrintsTheBannerAndRuns) {
    StartupRun run;
    EXPECT_EQ(run.run({"--ocr", "--unknown-option", "stray"}), 0);
    const std::vector<std::string> steps(run.loop->installations().begin(),
                                         run.loop->installations().end());
    EXPECT_EQ(steps, (Types{"tap", "hotkey", "timer", "interrupt", "parent", "display"}));
    // Outside stream mode standard input is not the parent's: only the output is watched.
    EXPECT_EQ(run.loop->watchedOutput(), run.out.writeEnd());
    EXPECT_EQ(run.loop->watchedInput(), std::nullopt);
    EXPECT_EQ(run.loop->tapMask(), 0x40Au);
    EXPECT_EQ(run.loop->timerIntervals(), std::vector<double>{1.5});
    EXPECT_EQ(run.loop->runs(), 1);
    EXPECT_EQ(run.errors(), expectedBanner);
    EXPECT_EQ(run.output(), "");
    EXPECT_TRUE(run.exits.empty());
}

struct Ending {
    const char* what;
    void (FakeEventLoop::*fire)();
    Types frames;
    std::string_view lastMessage;
    int status;
};

TEST(StartupRecording, EachEndingRecordingOrPausedFinishesAsDocumented) {
    const Ending endings[] = {
        {"Ctrl+C", &FakeEventLoop::fireInterrupt, {"finish"}, expectedEndLine, 0},
        {"parent gone", &FakeEventLoop::fireParentGone, {}, "", 0},
        {"display lost", &FakeEventLoop::fireDisplayLost, {"finish"}, expectedDisplayLost, 1},
    };
    for (const Ending& ending : endings) {
        for (const bool paused : {false, true}) {
            SCOPED_TRACE(std::string(ending.what) + (paused ? ", paused" : ""));
            StartupRun run;
            ASSERT_EQ(run.run({"--stream"}), 0);
            EXPECT_EQ(run.loop->watchedInput(), run.in.readEnd());
            if (paused) run.loop->fireHotkey(HotkeyEvent{control | option, "p"});
            const std::string before = run.errors();
            (run.loop->*ending.fire)();
            EXPECT_EQ(run.exits, std::vector<int>{ending.status});
            EXPECT_EQ(run.frames().typesWithoutPermits(), ending.frames);
            EXPECT_EQ(run.errors(), before + std::string(ending.lastMessage));
        }
    }
}

TEST(StartupRecording, InterruptGivesUpAnUnansweredPermitAndAsksNoMore) {
    StartupRun run; // the parent never answers and never closes the input
    ASSERT_EQ(run.run({"--stream"}), 0);
    std::thread ctrlC([&run] {
        while (run.frames().ofType("permit").empty())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        run.loop->raiseInterrupt();
    });
    run.loop->advance(1.5); // the focus poll asks, then waits for the answer
    ctrlC.join();
    run.loop->advance(1.5); // before the loop takes the interrupt, nothing more is asked
    run.loop->fireInterrupt();
    EXPECT_EQ(run.exits, std::vector<int>{0});
    const ParsedStream stream = run.frames();
    ASSERT_EQ(stream.frames.size(), 2u);
    EXPECT_EQ(stream.frames[0].type(), "permit");
    EXPECT_EQ(stream.frames[1].type(), "finish");
}

TEST(StartupRecording, InterruptDropsAnOpenTypingRun) {
    StartupRun run;
    run.grantThenClose(100);
    run.workspace->setFront("Editor", "com.example.editor", 10);
    ASSERT_EQ(run.run({"--stream"}), 0);
    InputEvent key;
    key.type = 10;
    key.characters = u"x";
    run.loop->fireEvent(key);
    run.loop->fireEvent(key);
    run.loop->fireInterrupt();
    EXPECT_EQ(run.frames().typesWithoutPermits(), (Types{"finish"}));
    EXPECT_EQ(run.exits, std::vector<int>{0});
}

TEST(StartupRecording, TapDeliversToTheEventCallback) {
    StartupRun run;
    run.grantThenClose(100);
    ASSERT_EQ(run.run({"--stream"}), 0);
    InputEvent click;
    click.type = 1;
    click.clickState = 2;
    run.loop->fireEvent(click);
    const ParsedStream stream = run.frames();
    ASSERT_EQ(stream.ofType("events").size(), 1u);
    EXPECT_EQ(stream.ofType("events")[0].header["event"]["kind"], "doubleclick");
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

TEST(StartupRecording, WithoutStreamNothingIsRecordedUntilTheFinish) {
    StartupRun run;
    ASSERT_EQ(run.run({}), 0);
    InputEvent click;
    click.type = 1;
    run.loop->fireEvent(click);
    run.loop->advance(5);
    run.loop->fireInterrupt();
    EXPECT_EQ(run.frames().typesWithoutPermits(), (Types{"finish"}));
    EXPECT_TRUE(run.frames().ofType("permit").empty());
}

HotkeyEvent hotkey(std::uint64_t flags, std::optional<std::string> characters) {
    return HotkeyEvent{flags, std::move(characters)};
}

TEST(PauseHotkey, ControlOptionPTogglesWhateverElseIsHeld) {
    EXPECT_TRUE(Startup::isPauseHotkey(hotkey(control | option, "p")));
    EXPECT_TRUE(Startup::isPauseHotkey(hotkey(control | option | command, "p")));
    EXPECT_TRUE(Startup::isPauseHotkey(hotkey(control | option | 0x20000 | 0x100, "p")));
}

TEST(PauseHotkey, AnythingElseIsNotThePauseKey) {
    EXPECT_FALSE(Startup::isPauseHotkey(hotkey(control, "p")));
    EXPECT_FALSE(Startup::isPauseHotkey(hotkey(option, "p")));
    EXPECT_FALSE(Startup::isPauseHotkey(hotkey(command | option, "p")));
    EXPECT_FALSE(Startup::isPauseHotkey(hotkey(control | option, "P")));
    EXPECT_FALSE(Startup::isPauseHotkey(hotkey(control | option, "π")));
    EXPECT_FALSE(Startup::isPauseHotkey(hotkey(control | option, "pp")));
    EXPECT_FALSE(Startup::isPauseHotkey(hotkey(control | option, "")));
    EXPECT_FALSE(Startup::isPauseHotkey(hotkey(control | option, std::nullopt)));
}

TEST(PauseHotkey, MonitorPausesAndResumesTheRecorder) {
    StartupRun run;
    ASSERT_EQ(run.run({}), 0);
    run.errors(); // the banner
    run.loop->fireHotkey(hotkey(control | option, "p"));
    EXPECT_TRUE(run.recorder->paused());
    run.loop->fireHotkey(hotkey(control, "p"));
    EXPECT_TRUE(run.recorder->paused());
    run.loop->fireHotkey(hotkey(control | option | command, "p"));
    EXPECT_FALSE(run.recorder->paused());
    EXPECT_EQ(run.errors(), std::string(expectedBanner) + "⏸ 一時停止\n▶︎ 再開\n");
}

} // namespace
