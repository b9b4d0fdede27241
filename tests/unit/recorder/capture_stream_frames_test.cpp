// Frame layout and the permission exchange, read through real pipes.
#include "recorder/capture_stream.h"
#include "recorder/records.h"
#include "tests/fakes/stream_pipes.h"

#include <cmath>
#include <gtest/gtest.h>
#include <thread>

namespace {

using namespace std::string_literals;

TEST(CaptureStreamFrames, PermitRequestIsExactly25Bytes) {
    StreamPipes pipes;
    pipes.answer("\x01");
    EXPECT_TRUE(CaptureStream::permitted());
    EXPECT_EQ(pipes.output(), "\x00\x00\x00\x11\x00\x00\x00\x00"s + R"({"type":"permit"})");
}

TEST(CaptureStreamFrames, EachRequestIsWrittenAndConsumesOneAnswerWhereOnly01Grants) {
    struct Case {
        std::string answers;
        bool inputEnds;
        std::vector<bool> granted;
    };
    const Case cases[] = {
        {"\x01\x00\x02"s + "1", false, {true, false, false, false}},
        {"\x00\x01"s, false, {false, true}},
        {"\x01", true, {true, false, false}}, // then the end of input denies every request
    };
    for (const Case& c : cases) {
        StreamPipes pipes;
        pipes.answer(c.answers);
        if (c.inputEnds) pipes.closeInput();
        for (const bool granted : c.granted)
            EXPECT_EQ(CaptureStream::permitted(), granted) << testing::PrintToString(c.answers);
        const auto stream = pipes.frames();
        EXPECT_EQ(stream.ofType("permit").size(), c.granted.size());
        EXPECT_EQ(stream.trailingBytes, 0u);
    }
}

TEST(CaptureStreamFrames, StreamModeNeedsTheWholeCaseSensitiveArgument) {
    EXPECT_TRUE(CaptureStream::isStreamMode({"stepreel", "--once", "--stream"}));
    for (const char* other : {"--streaming", "--STREAM", "--stream=1", " --stream"})
        EXPECT_FALSE(CaptureStream::isStreamMode({"stepreel", other})) << other;
    EXPECT_FALSE(CaptureStream::isStreamMode({"stepreel"}));
}

TEST(CaptureStreamFrames, OutsideStreamModeNothingIsWrittenOrRead) {
    StreamPipes pipes({"stepreel", "--Stream"});
    pipes.answer("\x01");
    EXPECT_FALSE(CaptureStream::permitted());
    EXPECT_EQ(pipes.output(), "");
    // The mode is read anew on each call: the unread answer is still there.
    CaptureStream::setArguments({"stepreel", "--stream"});
    EXPECT_TRUE(CaptureStream::permitted());
}

TEST(CaptureStreamFrames, PayloadFollowsTheHeaderWithItsLengthInThePrefix) {
    StreamPipes pipes;
    const std::vector<std::uint8_t> payload{0xFF, 0xD8, 0x00, 0x0A, 0xFF, 0xD9};
    json::ObjectBuilder header;
    header.add("type", "frame").add("targetBounds", json::Null{});
    EXPECT_TRUE(CaptureStream::send(std::move(header).value(), payload));
    EXPECT_TRUE(CaptureStream::send(json::ObjectBuilder().add("type", "finish").value()));
    const auto stream = pipes.frames();
    ASSERT_EQ(stream.frames.size(), 2u);
    EXPECT_EQ(stream.frames[0].payload, std::string(payload.begin(), payload.end()));
    EXPECT_TRUE(stream.frames[0].header["targetBounds"].is_null());
    EXPECT_EQ(stream.frames[1].payload, "");
    EXPECT_EQ(stream.trailingBytes, 0u);
}

TEST(CaptureStreamFrames, RecordIsWrappedWithTypeSessionAndEventAndSlashesEscaped) {
    StreamPipes pipes;
    FocusRecord focus{"ep-1", "Finder", "com.apple.finder", "a/b", std::nullopt, 1, 2, 1};
    CaptureStream::record("focus", "ep-1", focus);
    const auto stream = pipes.frames();
    ASSERT_EQ(stream.frames.size(), 1u);
    const auto& frame = stream.frames[0];
    EXPECT_NE(frame.headerText.find(R"(a\/b)"), std::string::npos);
    EXPECT_EQ(frame.header["type"], "focus");
    EXPECT_EQ(frame.header["sessionId"], "ep-1");
    EXPECT_EQ(frame.header["event"]["windowTitle"], "a/b");
    EXPECT_EQ(frame.header.size(), 3u);
}

TEST(CaptureStreamFrames, UnencodableRecordWritesNothing) {
    StreamPipes pipes;
    ActionRecord record;
    record.episodeId = "ep-1";
    record.kind = "click";
    record.cursor = std::vector<double>{INFINITY, 0};
    CaptureStream::record("events", "ep-1", record);
    EXPECT_EQ(pipes.output(), "");
}

TEST(CaptureStreamFrames, LengthsOf2To32BytesOrMoreCannotBeFramed) {
    constexpr std::uint64_t limit = std::uint64_t{1} << 32;
    const auto largest = CaptureStream::lengthPrefix(limit - 1, 0x01020304);
    ASSERT_TRUE(largest);
    EXPECT_EQ(*largest, (std::array<std::uint8_t, 8>{0xFF, 0xFF, 0xFF, 0xFF, 1, 2, 3, 4}));
    EXPECT_FALSE(CaptureStream::lengthPrefix(limit, 0));
    EXPECT_FALSE(CaptureStream::lengthPrefix(0, limit));
    EXPECT_FALSE(CaptureStream::lengthPrefix(0, limit + 5));
}

TEST(CaptureStreamFrames, FramesFromManyThreadsNeverInterleave) {
    StreamPipes pipes;
    const std::vector<std::uint8_t> payload(20000, 0xAB);
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t) {
        writers.emplace_back([&payload, t] {
            for (int i = 0; i < 25; ++i) {
                json::ObjectBuilder header;
                header.add("type", "frame").add("seq", t * 100 + i);
                CaptureStream::send(std::move(header).value(), payload);
            }
        });
    }
    for (auto& writer : writers)
        writer.join();
    const auto stream = pipes.frames();
    EXPECT_FALSE(stream.malformedHeader);
    EXPECT_EQ(stream.trailingBytes, 0u);
    ASSERT_EQ(stream.frames.size(), 100u);
    for (const auto& frame : stream.frames)
        EXPECT_EQ(frame.payload.size(), payload.size());
}

} // namespace
