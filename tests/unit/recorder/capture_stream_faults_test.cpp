// The parent going away: closed standard output (broken pipe) and closed standard input.
#include "common/standard_descriptors.h"
#include "recorder/capture_stream.h"
#include "tests/fakes/stream_pipes.h"
#include "tests/unit/recorder/recorder_rig.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

json::Value finishHeader() {
    json::ObjectBuilder header;
    header.add("type", "finish").add("sessionId", "ep-1");
    return std::move(header).value();
}

TEST(CaptureStreamFaults, BrokenPipeEndsTheRecordingQuietly) {
    StreamPipes pipes;
    pipes.closeOutputReader();
    EXPECT_FALSE(CaptureStream::send(finishHeader()));
    EXPECT_EQ(pipes.brokenPipeCalls(), 1);
    EXPECT_EQ(pipes.errorText(), "");
}

TEST(CaptureStreamFaults, BrokenPipeDuringAPermitRequestDeniesWithoutWaitingForAnAnswer) {
    StreamPipes pipes;
    pipes.closeOutputReader();
    // No answer byte is ever written: reading one would block forever.
    EXPECT_FALSE(CaptureStream::permitted());
    EXPECT_EQ(pipes.brokenPipeCalls(), 1);
}

TEST(CaptureStreamFaultsDeathTest, ClosedStandardDescriptorsAreNotTakenByLaterFiles) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ::close(0);
            ::close(1);
            keepStandardDescriptorsOpen();
            // A file opened afterwards must not become the stream's input or output.
            const int later = ::open("/dev/null", O_RDONLY);
            char byte = 0;
            const bool inputAtEnd = ::read(0, &byte, 1) == 0;
            const bool outputWritable = ::write(1, "x", 1) == 1;
            std::_Exit(later > 2 && inputAtEnd && outputWritable ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(CaptureStreamFaultsDeathTest, FrameCutOffByAWriteErrorEndsTheStream) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            // A file that may not grow past 20 bytes takes the prefix and part of the header,
            // then refuses the rest: the frame is cut off and nothing after it can be parsed.
            std::signal(SIGXFSZ, SIG_IGN);
            char path[] = "/tmp/stepreel-cut-XXXXXX";
            const int fd = ::mkstemp(path);
            if (fd < 0) std::_Exit(2);
            ::unlink(path);
            rlimit limit{};
            limit.rlim_cur = limit.rlim_max = 20;
            ::setrlimit(RLIMIT_FSIZE, &limit);
            CaptureStream::setBrokenPipeHandler(nullptr);
            CaptureStream::configure(fd, -1, {"stepreel", "--stream"});
            CaptureStream::send(finishHeader());
            std::_Exit(3); // not reached: the stream is given up like a broken pipe
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(CaptureStreamFaults, FrameRefusedBeforeItsFirstByteLeavesTheStreamUsable) {
    StreamPipes pipes;
    CaptureStream::configure(-1, -1, {"stepreel", "--stream"});
    EXPECT_FALSE(CaptureStream::send(finishHeader()));
    EXPECT_EQ(pipes.brokenPipeCalls(), 0);
}

TEST(CaptureStreamFaults, ParentClosingInputMidRecordingDeniesTheRestOfTheWork) {
    RecorderRig rig;
    rig.showApp("Safari", "com.apple.Safari", 10);
    rig.pipes.answer("\x01\x01\x01\x01");
    rig.recorder->emit("click", std::nullopt, std::nullopt);            // permit + before-frame
    rig.recorder->emit("shortcut", std::string("cmd+s"), std::nullopt); // permit + before-frame
    rig.pipes.closeInput();
    rig.recorder->emit("click", std::nullopt, std::nullopt);
    rig.loop.advance(1.0); // the first click's result task is denied its screenshot
    rig.recorder->pollFocus();
    rig.recorder->finalizeEpisode("completed");

    const auto stream = rig.pipes.frames();
    EXPECT_FALSE(stream.malformedHeader);
    EXPECT_EQ(stream.trailingBytes, 0u);
    EXPECT_EQ(stream.typesWithoutPermits(),
              (std::vector<std::string>{"frame", "events", "frame", "events", "events", "finish"}));
    const auto events = rig.events();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[2]["kind"], "result");
    EXPECT_FALSE(events[2].contains("screenshotFull"));
    EXPECT_EQ(rig.recorder->seq(), 3);
}

TEST(CaptureStreamFaults, BrokenPipeInTheScreenshotWorkerIsReportedToo) {
    RecorderRig rig;
    rig.pipes.answer("\x01\x01");
    // Both grants arrive, then the parent stops reading while the screenshot is being taken.
    rig.capture.duringCapture = [&rig] { rig.pipes.closeOutputReader(); };
    rig.recorder->emit("rightclick", std::nullopt, std::nullopt);
    EXPECT_GE(rig.pipes.brokenPipeCalls(), 1);
    EXPECT_EQ(rig.pipes.errorText(), "");
    EXPECT_EQ(rig.pipes.frames().typesWithoutPermits(), std::vector<std::string>{});
}

} // namespace
