// The frame stream through real pipes: layout, the permission exchange, the parent going away.
#include "common/standard_descriptors.h"
#include "tests/unit/recorder/recorder_rig.h"

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <thread>

namespace {

using namespace std::string_literals;

json::Value finishHeader() {
    return json::ObjectBuilder().add("type", "finish").add("sessionId", "ep-1").value();
}

TEST(CaptureStream, EachRequestIs25BytesAndConsumesOneAnswerWhereOnly01Grants) {
    const std::string permit = "\x00\x00\x00\x11\x00\x00\x00\x00"s + R"({"type":"permit"})";
    const struct {
        std::string answers;
        bool inputEnds;
        std::vector<bool> granted;
    } cases[] = {
        {"\x01\x00\x02"s + "1", false, {true, false, false, false}},
        {"\x00\x01"s, false, {false, true}},
        {"\x01", true, {true, false, false}}, // then the input ends
    };
    for (const auto& c : cases) {
        StreamPipes pipes;
        pipes.answer(c.answers);
        if (c.inputEnds) pipes.closeInput();
        std::string expected;
        for (const bool granted : c.granted) {
            EXPECT_EQ(CaptureStream::permitted(), granted) << testing::PrintToString(c.answers);
            expected += permit;
        }
        EXPECT_EQ(pipes.output(), expected);
    }
    StreamPipes pipes({"stepreel", "--Stream"});
    pipes.answer("\x01");
    EXPECT_FALSE(CaptureStream::permitted()); // not streaming: nothing written or read
    EXPECT_EQ(pipes.output(), "");
    CaptureStream::setArguments({"stepreel", "--stream"}); // the mode is read on each call
    EXPECT_TRUE(CaptureStream::permitted());
}

TEST(CaptureStream, FramesCarryTheirLengthsHeaderAndPayload) {
    StreamPipes pipes;
    const std::vector<std::uint8_t> payload{0xFF, 0xD8, 0x00, 0x0A, 0xFF, 0xD9};
    EXPECT_TRUE(CaptureStream::send(
        json::ObjectBuilder().add("type", "frame").add("targetBounds", json::Null{}).value(),
        payload));
    CaptureStream::record("focus", "ep-1",
                          FocusRecord{"ep-1", "Finder", "f", "a/b", std::nullopt, 1, 2, 1});
    ActionRecord unencodable;
    unencodable.cursor = std::vector<double>{INFINITY, 0};
    CaptureStream::record("events", "ep-1", unencodable); // writes nothing
    EXPECT_TRUE(CaptureStream::send(finishHeader()));

    const auto stream = pipes.frames();
    ASSERT_EQ(stream.frames.size(), 3u);
    EXPECT_EQ(stream.trailingBytes, 0u);
    EXPECT_EQ(stream.frames[0].headerText, R"({"type":"frame","targetBounds":null})");
    EXPECT_EQ(stream.frames[0].payload, std::string(payload.begin(), payload.end()));
    EXPECT_EQ(stream.frames[1].headerText,
              R"({"type":"focus","sessionId":"ep-1","event":{"schema":"quillmap.focus.v0",)"
              R"("episodeId":"ep-1","app":"Finder","bundleId":"f","windowTitle":"a\/b",)"
              R"("enterAtMs":1,"exitAtMs":2,"durationMs":1}})");
    EXPECT_EQ(stream.frames[2].payload, "");
}

TEST(CaptureStream, LengthsOf2To32BytesOrMoreCannotBeFramed) {
    constexpr std::uint64_t limit = std::uint64_t{1} << 32;
    EXPECT_EQ(CaptureStream::lengthPrefix(limit - 1, 0x01020304),
              (std::array<std::uint8_t, 8>{0xFF, 0xFF, 0xFF, 0xFF, 1, 2, 3, 4}));
    EXPECT_FALSE(CaptureStream::lengthPrefix(limit, 0));
    EXPECT_FALSE(CaptureStream::lengthPrefix(0, limit + 5));
}

TEST(CaptureStream, FramesFromManyThreadsNeverInterleave) {
    StreamPipes pipes;
    const std::vector<std::uint8_t> payload(20000, 0xAB);
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t)
        writers.emplace_back([&payload] {
            for (int i = 0; i < 25; ++i)
                CaptureStream::send(finishHeader(), payload);
        });
    for (auto& writer : writers)
        writer.join();
    const auto stream = pipes.frames();
    EXPECT_EQ(stream.trailingBytes, 0u);
    ASSERT_EQ(stream.frames.size(), 100u);
    for (const auto& frame : stream.frames)
        EXPECT_EQ(frame.headerText + frame.payload,
                  R"({"type":"finish","sessionId":"ep-1"})" + std::string(payload.size(), '\xAB'));
}

// A closed pipe ends the recording quietly, a permit request too without waiting for an answer
// that never comes; a frame refused before its first byte is just missing.
TEST(CaptureStream, BrokenPipeIsReportedOnceAndQuietly) {
    const struct {
        const char* name;
        bool parentStopsReading;
        std::function<bool()> write;
        int brokenPipeCalls;
    } cases[] = {
        {"frame", true, [] { return CaptureStream::send(finishHeader()); }, 1},
        {"permit request", true, [] { return CaptureStream::permitted(); }, 1},
        {"refused whole", false,
         [] {
             CaptureStream::configure(-1, -1, {"stepreel", "--stream"});
             return CaptureStream::send(finishHeader());
         },
         0},
    };
    for (const auto& c : cases) {
        StreamPipes pipes;
        if (c.parentStopsReading) pipes.closeOutputReader();
        EXPECT_FALSE(c.write()) << c.name;
        EXPECT_EQ(pipes.brokenPipeCalls(), c.brokenPipeCalls) << c.name;
        EXPECT_EQ(pipes.errorText(), "") << c.name;
    }
}

TEST(CaptureStreamDeathTest, ClosedStandardDescriptorsAreKeptAndACutFrameEndsTheStream) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ::close(0);
            ::close(1);
            keepStandardDescriptorsOpen();
            const int later = ::open("/dev/null", O_RDONLY);
            char byte = 0;
            const bool inputAtEnd = ::read(0, &byte, 1) == 0;
            const bool outputWritable = ::write(1, "x", 1) == 1;
            std::_Exit(later > 2 && inputAtEnd && outputWritable ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_EXIT(
        {
            // A file that may not grow past 20 bytes takes part of the frame, then refuses the
            // rest: nothing after it could be parsed, so the stream is given up.
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
            std::_Exit(3);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(CaptureStream, BrokenPipeInTheScreenshotWorkerIsReportedToo) {
    RecorderRig rig;
    rig.pipes.grant(2);
    rig.capture.duringCapture = [&rig] { rig.pipes.closeOutputReader(); };
    rig.recorder->emit("rightclick", std::nullopt, std::nullopt);
    EXPECT_GE(rig.pipes.brokenPipeCalls(), 1);
    EXPECT_EQ(rig.pipes.errorText(), "");
    EXPECT_TRUE(rig.pipes.frames().typesWithoutPermits().empty());
}

// Ctrl+C while the parent has stopped reading: the recording must still end. A parent that
// reads on within the grace gets its frame whole; one that does not has the stream given up.
TEST(CaptureStream, AnInterruptGivesUpAStreamNobodyReadsWithinASecond) {
    for (const bool parentReadsOn : {true, false}) {
        int output[2], interrupt[2];
        ASSERT_EQ(::pipe(output), 0);
        ASSERT_EQ(::pipe(interrupt), 0);
        // Fill the pipe as a parent that stopped reading leaves it.
        ::fcntl(output[1], F_SETFL, O_NONBLOCK);
        const std::string filler(4096, 'f');
        std::size_t filled = 0;
        for (ssize_t wrote; (wrote = ::write(output[1], filler.data(), filler.size())) > 0;)
            filled += static_cast<std::size_t>(wrote);
        ::fcntl(output[1], F_SETFL, 0);
        CaptureStream::configure(output[1], -1, {"stepreel", "--stream"});
        CaptureStream::setInterruptDescriptor(interrupt[0]);
        ASSERT_EQ(::write(interrupt[1], "i", 1), 1);

        std::thread reader;
        std::string drained;
        if (parentReadsOn) {
            reader = std::thread([&] {
                char buffer[65536];
                for (ssize_t got; (got = ::read(output[0], buffer, sizeof buffer)) > 0;)
                    drained.append(buffer, static_cast<std::size_t>(got));
            });
        }
        const std::vector<std::uint8_t> payload(200000, 0xAB);
        const auto started = std::chrono::steady_clock::now();
        const bool sent = CaptureStream::send(finishHeader(), payload);
        const auto took = std::chrono::steady_clock::now() - started;
        const bool sentAfter = CaptureStream::send(finishHeader());
        const bool gaveUp = CaptureStream::givenUp();
        CaptureStream::configure(-1, -1, {});
        ::close(output[1]);
        if (reader.joinable()) reader.join();
        ::close(output[0]);
        ::close(interrupt[0]);
        ::close(interrupt[1]);

        EXPECT_EQ(sent, parentReadsOn);
        EXPECT_EQ(sentAfter, parentReadsOn);
        EXPECT_EQ(gaveUp, !parentReadsOn);
        if (parentReadsOn) {
            EXPECT_EQ(drained.size(), filled + 2 * (8 + 36) + payload.size());
        } else {
            // Half a second of grace; the rest is room for a loaded machine.
            EXPECT_LT(took, std::chrono::seconds(2));
            EXPECT_GE(took, std::chrono::milliseconds(400));
        }
    }
}

} // namespace
