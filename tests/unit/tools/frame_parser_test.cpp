#include "tools/stepreel_parent/frame_parser.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using stepreel_parent::Frame;
using stepreel_parent::FrameParser;
using stepreel_parent::validateFrame;

namespace {

std::vector<std::uint8_t> frameBytes(const std::string& header,
                                     const std::vector<std::uint8_t>& payload = {}) {
    std::vector<std::uint8_t> out;
    auto put32 = [&](std::size_t n) {
        for (int shift = 24; shift >= 0; shift -= 8)
            out.push_back(static_cast<std::uint8_t>(n >> shift));
    };
    put32(header.size());
    put32(payload.size());
    out.insert(out.end(), header.begin(), header.end());
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

void append(std::vector<std::uint8_t>& to, const std::vector<std::uint8_t>& bytes) {
    to.insert(to.end(), bytes.begin(), bytes.end());
}

std::vector<Frame> parseAll(FrameParser& parser, const std::vector<std::uint8_t>& bytes,
                            std::size_t chunk) {
    std::vector<Frame> frames;
    for (std::size_t i = 0; i < bytes.size(); i += chunk) {
        parser.feed(bytes.data() + i, std::min(chunk, bytes.size() - i));
        while (auto frame = parser.next())
            frames.push_back(std::move(*frame));
    }
    return frames;
}

const std::vector<std::uint8_t> tinyJpeg{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0xFF, 0xD9};
const std::string session = "ep-7D0F4A8E-0B1C-4C57-9C1F-3A5B2E8D9F60";

std::string screenshotHeader(const std::string& extra = "") {
    return R"({"type":"frame","sessionId":")" + session +
           R"(","seq":3,"kind":"before","width":2048,"height":1280,"cursor":[0.5,0.25],"targetBounds":null)" +
           extra + "}";
}

Frame parsedOne(const std::vector<std::uint8_t>& bytes) {
    FrameParser parser;
    auto frames = parseAll(parser, bytes, bytes.size());
    EXPECT_EQ(frames.size(), 1u);
    EXPECT_FALSE(parser.error());
    return frames.empty() ? Frame{} : frames[0];
}

} // namespace

TEST(FrameParser, PermitIsTwentyFiveBytesWithOffsetsAcrossAnySplit) {
    std::vector<std::uint8_t> stream = frameBytes(R"({"type":"permit"})");
    ASSERT_EQ(stream.size(), 25u);
    EXPECT_EQ(stream[3], 0x11);
    append(stream, frameBytes(screenshotHeader(), tinyJpeg));
    append(stream, frameBytes(R"({"type":"finish","sessionId":")" + session + R"("})"));
    for (std::size_t chunk : {std::size_t{1}, std::size_t{3}, std::size_t{8}, stream.size()}) {
        FrameParser parser;
        auto frames = parseAll(parser, stream, chunk);
        ASSERT_EQ(frames.size(), 3u) << "chunk " << chunk;
        EXPECT_EQ(frames[0].type, "permit");
        EXPECT_EQ(frames[0].offset, 0u);
        EXPECT_EQ(frames[1].offset, 25u);
        EXPECT_EQ(frames[1].payload, tinyJpeg);
        EXPECT_EQ(frames[1].header["seq"], 3);
        EXPECT_EQ(frames[2].type, "finish");
        EXPECT_FALSE(parser.finish()) << "chunk " << chunk;
        EXPECT_EQ(parser.consumedBytes(), stream.size());
    }
}

TEST(FrameParser, TruncationIsReportedAtTheFrameStart) {
    std::vector<std::uint8_t> stream = frameBytes(R"({"type":"permit"})");
    auto screenshot = frameBytes(screenshotHeader(), tinyJpeg);
    append(stream, screenshot);
    stream.resize(stream.size() - 2); // cut inside the JPEG

    FrameParser parser;
    EXPECT_EQ(parseAll(parser, stream, 5).size(), 1u);
    const auto& error = parser.finish();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->offset, 25u);
    EXPECT_NE(error->message.find("of " + std::to_string(screenshot.size())), std::string::npos)
        << error->message;
    EXPECT_EQ(error->describe().rfind("byte offset 25: ", 0), 0u);

    FrameParser prefixOnly;
    const std::vector<std::uint8_t> three{0, 0, 0};
    parseAll(prefixOnly, three, 3);
    ASSERT_TRUE(prefixOnly.finish());
    EXPECT_EQ(prefixOnly.error()->offset, 0u);
}

TEST(FrameParser, MalformedFramesStopTheStreamWithTheirOffset) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        std::uint64_t offset;
    };
    const auto permit = frameBytes(R"({"type":"permit"})");
    auto after = [&](std::vector<std::uint8_t> bad) {
        std::vector<std::uint8_t> stream = permit;
        append(stream, bad);
        append(stream, permit); // never reached
        return stream;
    };
    const std::vector<Case> cases{
        {"zero header length", after({0, 0, 0, 0, 0, 0, 0, 0}), 25},
        {"huge header length", after({0x7F, 0, 0, 0, 0, 0, 0, 0}), 25},
        {"huge payload length", after(frameBytes(R"({"type":"frame"})", {})), 25},
        {"not JSON", after(frameBytes(R"({"type":permit})")), 33},
        {"trailing newline", after(frameBytes("{\"type\":\"permit\"}\n")), 33},
        {"array header", after(frameBytes(R"(["type"])")), 33},
        {"type not text", after(frameBytes(R"({"type":1})")), 33},
        {"invalid UTF-8", after(frameBytes("{\"type\":\"\xC3(\"}")), 33},
    };
    for (Case c : cases) {
        if (std::string(c.name) == "huge payload length") c.bytes[25 + 4] = 0x40; // 1 GiB
        FrameParser parser;
        auto frames = parseAll(parser, c.bytes, 4);
        EXPECT_EQ(frames.size(), 1u) << c.name;
        ASSERT_TRUE(parser.error()) << c.name;
        EXPECT_EQ(parser.error()->offset, c.offset) << c.name << ": " << parser.error()->message;
        EXPECT_EQ(parser.finish()->offset, c.offset) << c.name; // the first fault is kept
    }
}

TEST(ValidateFrame, RejectsFramesThatBreakTheirLayout) {
    const std::string recordStart = R"({"type":"events","sessionId":")" + session + R"(","event":)";
    const std::string okRecord = R"({"schema":"quillmap.trace.v0","episodeId":")" + session +
                                 R"(","seq":0,"timestampMs":1,"dtMsFromPrev":0,"kind":"click")";
    const std::vector<std::pair<std::string, std::vector<std::uint8_t>>> bad{
        {"permit with payload", frameBytes(R"({"type":"permit"})", {1})},
        {"permit with member", frameBytes(R"({"type":"permit","x":1})")},
        {"unknown type", frameBytes(R"({"type":"hello","sessionId":"s"})")},
        {"finish without session", frameBytes(R"({"type":"finish"})")},
        {"record with null", frameBytes(recordStart + okRecord + R"(,"app":null}})")},
        {"record of other episode",
         frameBytes(
             recordStart +
             R"({"schema":"quillmap.trace.v0","episodeId":"ep-x","seq":0,"timestampMs":1,"dtMsFromPrev":0,"kind":"click"}})")},
        {"focus schema in events", frameBytes(recordStart + R"({"schema":"quillmap.focus.v0"}})")},
        {"negative seq",
         frameBytes(recordStart + R"({"schema":"quillmap.trace.v0","episodeId":")" + session +
                    R"(","seq":-1,"timestampMs":1,"dtMsFromPrev":0,"kind":"click"}})")},
        {"screenshot not JPEG", frameBytes(screenshotHeader(), {1, 2, 3, 4})},
        {"screenshot cut JPEG", frameBytes(screenshotHeader(), {0xFF, 0xD8, 0xFF, 0xE0})},
        {"screenshot extra member", frameBytes(screenshotHeader(R"(,"x":1)"), tinyJpeg)},
        {"screenshot bounds",
         frameBytes(
             R"({"type":"frame","sessionId":"s","seq":3,"kind":"before","width":2,"height":2,"cursor":[0,0],"targetBounds":[]})",
             tinyJpeg)},
        {"screenshot zero width",
         frameBytes(
             R"({"type":"frame","sessionId":"s","seq":3,"kind":"before","width":0,"height":2,"cursor":[0,0],"targetBounds":null})",
             tinyJpeg)},
        {"screenshot cursor",
         frameBytes(
             R"({"type":"frame","sessionId":"s","seq":3,"kind":"before","width":2,"height":2,"cursor":[0],"targetBounds":null})",
             tinyJpeg)},
    };
    for (const auto& [name, bytes] : bad) {
        const Frame frame = parsedOne(bytes);
        EXPECT_TRUE(validateFrame(frame)) << name;
    }
}
