// The one-shot options, their order, and what they print.
#include "tests/unit/recorder/startup_harness.h"

#include <gtest/gtest.h>

namespace {

using startup_harness::StartupRun;

constexpr const char* grantedLines =
    "accessibility=granted\nscreen_recording=granted\ninput_monitoring=granted\n";

TEST(StartupOptions, CheckPrintsTheThreeStates) {
    StartupRun run;
    run.permissions->screenRecordingState = PermissionState::denied;
    run.permissions->inputMonitoringState = PermissionState::unknown;
    EXPECT_EQ(run.run({"--check"}), 0);
    EXPECT_EQ(run.output(),
              "accessibility=granted\nscreen_recording=denied\ninput_monitoring=unknown\n");
    EXPECT_EQ(run.errors(), "");
    EXPECT_EQ(run.permissions->requests, 0);
    EXPECT_EQ(run.recordersMade, 0);
}

TEST(StartupOptions, FirstOptionInTheFixedOrderWins) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--check", "--path"},
             {"--path", "--check"},
             {"--selftest-ocr", "--request", "--check"},
             {"--once", "--check", "--stream"},
         }) {
        StartupRun run;
        EXPECT_EQ(run.run(args), 0);
        EXPECT_EQ(run.output(), grantedLines) << args.front();
        EXPECT_EQ(run.permissions->requests, 0);
    }
}

TEST(StartupOptions, RequestAsksThenPrintsTheStates) {
    StartupRun run;
    run.permissions->accessibilityState = PermissionState::denied;
    EXPECT_EQ(run.run({"--path", "--request"}), 0);
    EXPECT_EQ(run.permissions->requests, 1);
    EXPECT_EQ(run.output(),
              "accessibility=denied\nscreen_recording=granted\ninput_monitoring=granted\n");
}

TEST(StartupOptions, PathPrintsTheExecutablePath) {
    StartupRun run;
    run.platform.executablePath = "/usr/local/bin/stepreel";
    EXPECT_EQ(run.run({"--selftest-ocr", "--path"}), 0);
    EXPECT_EQ(run.output(), "/usr/local/bin/stepreel\n");
}

TEST(StartupOptions, PathFallsBackToTheFirstArgument) {
    StartupRun run;
    EXPECT_EQ(run.run({"--path"}), 0);
    EXPECT_EQ(run.output(), "/opt/quill/stepreel\n");
}

TEST(StartupOptions, OptionsMatchOnlyWholeExactArguments) {
    StartupRun run;
    run.platform.executablePath = "/x";
    EXPECT_EQ(run.run({"--Check", "-check", "--check=1", "check", "--path"}), 0);
    EXPECT_EQ(run.output(), "/x\n");
}

TEST(StartupOptions, SelfTestWithoutStreamTakesNoScreenshot) {
    StartupRun run;
    run.permissions->screenRecordingState = PermissionState::denied; // not looked at
    EXPECT_EQ(run.run({"--selftest-ocr"}), 0);
    EXPECT_EQ(run.output(), "full=nil textLines=-1 center=nil\n");
    EXPECT_TRUE(run.capture->configurations().empty());
    EXPECT_EQ(run.recordersMade, 0);
    EXPECT_EQ(run.permissions->queries, 0);
}

TEST(StartupOptions, SelfTestSendsOneAfterFrameThenItsLine) {
    StartupRun run;
    run.grantThenClose(2);
    EXPECT_EQ(run.run({"--stream", "--selftest-ocr"}), 0);
    const std::string output = run.output();
    const ParsedStream stream = parseFrames(output);
    ASSERT_EQ(stream.typesWithoutPermits(), (std::vector<std::string>{"frame"}));
    // The self-test's own request, then the screenshot's.
    ASSERT_EQ(stream.frames.size(), 3u);
    EXPECT_EQ(stream.frames[0].type(), "permit");
    EXPECT_EQ(stream.frames[1].type(), "permit");
    const auto frame = stream.ofType("frame").front().header;
    EXPECT_EQ(frame["seq"], 0);
    EXPECT_EQ(frame["kind"], "after");
    EXPECT_EQ(frame["sessionId"], "selftest");
    EXPECT_EQ(frame["cursor"], nlohmann::json::array({0.5, 0.5}));
    const std::string line = "full=frames/0-full.jpg textLines=-1 center=nil\n";
    ASSERT_EQ(stream.trailingBytes, line.size());
    EXPECT_EQ(output.substr(output.size() - line.size()), line);
    EXPECT_EQ(run.recordersMade, 0);
}

TEST(StartupOptions, SelfTestRefusedByTheParentPrintsNil) {
    StartupRun run;
    run.grantThenClose(0);
    EXPECT_EQ(run.run({"--selftest-ocr", "--stream"}), 0);
    const std::string output = run.output();
    const ParsedStream stream = parseFrames(output);
    EXPECT_EQ(stream.typesWithoutPermits(), std::vector<std::string>{});
    EXPECT_EQ(stream.ofType("permit").size(), 1u);
    EXPECT_TRUE(output.ends_with("full=nil textLines=-1 center=nil\n"));
}

TEST(StartupOptions, SelfTestWhoseCaptureFailsSendsALossAndPrintsNil) {
    StartupRun run;
    run.grantThenClose(2);
    run.capture->captureError = "display gone";
    EXPECT_EQ(run.run({"--selftest-ocr", "--stream"}), 0);
    const std::string output = run.output();
    EXPECT_EQ(parseFrames(output).typesWithoutPermits(), (std::vector<std::string>{"loss"}));
    EXPECT_TRUE(output.ends_with("full=nil textLines=-1 center=nil\n"));
}

TEST(StartupOptions, ClosedOutputDoesNotFailAnAnswer) {
    StartupRun run;
    CaptureStream::ignoreBrokenPipeSignal(); // as the program does first
    run.out.closeRead();                     // the parent went away before reading
    EXPECT_EQ(run.run({"--check"}), 0);
}

} // namespace
