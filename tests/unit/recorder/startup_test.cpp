// The program's start: one-shot options, the permission gate, the set-up steps and the ways
// a recording ends.
#include "common/version.h"
#include "recorder/command_line.h"
#include "tests/unit/recorder/recorder_rig.h"

#include <gtest/gtest.h>

namespace {

TEST(StartupOptions, FirstOneShotOptionInTheFixedOrderWinsAndMatchesWholeArguments) {
    const std::string states =
        "accessibility=granted\nscreen_recording=denied\ninput_monitoring=unknown\n";
    const struct {
        Types args;
        std::string printed;
        int requests;
    } cases[] = {
        {{"--selftest-ocr", "--request", "--check"}, states, 0},
        {{"--once", "--check", "--stream"}, states, 0},
        {{"--path", "--request"}, states, 1},
        {{"--selftest-ocr", "--path"}, "/opt/quill/stepreel\n", 0},
        {{"--Check", "-check", "--check=1", "check", "--path"}, "/opt/quill/stepreel\n", 0},
        // The program's own answers come after the four, before any recording.
        {{"--help", "--path"}, "/opt/quill/stepreel\n", 0},
        {{"--stream", "--once", "--version", "--help"}, std::string(CommandLine::helpText()), 0},
        {{"--version", "--once"}, "stepreel " + std::string(quillVersion) + "\n", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.front());
        RecorderRig rig;
        rig.permissions.screenRecordingState = PermissionState::denied;
        rig.permissions.inputMonitoringState = PermissionState::unknown;
        EXPECT_EQ(rig.run(c.args), 0);
        EXPECT_EQ(rig.pipes.output(), c.printed);
        EXPECT_EQ(rig.pipes.errorText(), "");
        EXPECT_EQ(rig.permissions.requests, c.requests);
        EXPECT_FALSE(rig.recorder);
    }
}

TEST(StartupOptions, RemediesFollowTheStatesAndThePermissionWarningOnStandardError) {
    const std::string states =
        "accessibility=denied\nscreen_recording=granted\ninput_monitoring=granted\n";
    const std::string remedies = "   accessibility: one\n   accessibility: two\n";
    for (const auto& [args, status, output, error] :
         {std::tuple{Types{"--check"}, 0, states, remedies},
          {Types{"--request"}, 0, states, remedies},
          {Types{"--stream"}, 1, "",
           "⚠︎ 権限が不足しています(accessibility=denied screen_recording="
           "granted input_monitoring=granted)。\n   ./setup を実行して3つ"
           "の権限を付与してください。\n" +
               remedies}}) {
        RecorderRig rig;
        rig.permissions.accessibilityState = PermissionState::denied;
        rig.permissions.remedyLines = {"accessibility: one", "accessibility: two"};
        EXPECT_EQ(rig.run(args), status);
        EXPECT_EQ(rig.pipes.output(), output);
        EXPECT_EQ(rig.pipes.errorText(), error);
    }
}

TEST(StartupRecording, FailedTapIsReportedWithStatusOne) {
    RecorderRig rig;
    rig.loop.tapInstallSucceeds = false;
    EXPECT_EQ(rig.run({}), 1);
    EXPECT_EQ(rig.pipes.errorText(), "✗ イベントタップを作成できません。Input Monitoring と "
                                     "アクセシビリティ権限を確認してください。\n");
    EXPECT_EQ(rig.pipes.output(), "");
}

// The ends the desktop tests cannot reach: the process carries on after the handler. A parent
// that closes its answers hears how the episode ended; one that reads no more hears nothing.
TEST(StartupRecording, EachEndFinishesWithItsMessageAndStatus) {
    constexpr std::string_view finished = "\n■ 記録を終了しました → クラウド画像送信\n";
    const struct {
        const char* name;
        std::function<void(FakeEventLoop&)> fire;
        std::string_view message;
        int status;
        Types frames;
    } endings[] = {
        {"Ctrl+C", [](FakeEventLoop& l) { l.interrupt(); }, finished, 0, {"finish"}},
        {"display lost",
         [](FakeEventLoop& l) { l.displayLost(); },
         "✗ ディスプレイとの接続が切れたため、記録を終了しました。\n",
         1,
         {"finish"}},
        {"answers ended",
         [](FakeEventLoop& l) { l.parentGone(ParentGone::inputEnded); },
         finished,
         0,
         {"finish"}},
        {"output closed",
         [](FakeEventLoop& l) { l.parentGone(ParentGone::outputClosed); },
         "",
         0,
         {}},
    };
    for (const auto& ending : endings) {
        SCOPED_TRACE(ending.name);
        RecorderRig rig;
        ASSERT_EQ(rig.run({"--stream"}), 0);
        EXPECT_EQ(rig.loop.tapMask, 0x40Au); // left down, right down, key down
        EXPECT_EQ(rig.loop.watchedFds,
                  std::pair(rig.pipes.outputWriteEnd(), std::optional(rig.pipes.inputReadEnd())));
        const std::string before = rig.pipes.errorText();
        ending.fire(rig.loop);
        EXPECT_EQ(rig.exits, std::vector<int>{ending.status});
        EXPECT_EQ(rig.pipes.frames().typesWithoutPermits(), ending.frames);
        EXPECT_EQ(rig.pipes.errorText(), before + std::string(ending.message));
    }
}

} // namespace
