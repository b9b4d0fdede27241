#include "tools/stepreel_parent/frame_parser.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using stepreel_parent::Frame;
using stepreel_parent::FrameParser;
using Bytes = std::vector<std::uint8_t>;

namespace {

Bytes frameBytes(const std::string& header, const Bytes& payload = {}) {
    Bytes out;
    for (std::size_t n : {header.size(), payload.size()})
        for (int shift = 24; shift >= 0; shift -= 8)
            out.push_back(static_cast<std::uint8_t>(n >> shift));
    out.insert(out.end(), header.begin(), header.end());
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

Bytes joined(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

std::vector<Frame> parseAll(FrameParser& parser, const Bytes& bytes, std::size_t chunk) {
    std::vector<Frame> frames;
    for (std::size_t i = 0; i < bytes.size(); i += chunk) {
        parser.feed(bytes.data() + i, std::min(chunk, bytes.size() - i));
        while (auto frame = parser.next())
            frames.push_back(std::move(*frame));
    }
    return frames;
}

const Bytes tinyJpeg{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0xFF, 0xD9};
const std::string session = "ep-7D0F4A8E-0B1C-4C57-9C1F-3A5B2E8D9F60";
const Bytes permit = frameBytes(R"({"type":"permit"})"); // 25 bytes

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    return text.replace(text.find(from), from.size(), to);
}

const std::string screenshotHeader = R"({"type":"frame","sessionId":")" + session +
                                     R"(","seq":3,"kind":"before","width":2048,"height":1280,)"
                                     R"("cursor":[0.5,0.25],"targetBounds":null})";

} // namespace

TEST(FrameParser, FramesAcrossAnySplitAndTheFirstFaultAtItsFrameStart) {
    const Bytes shot = frameBytes(screenshotHeader, tinyJpeg);
    const Bytes finish = frameBytes(R"({"type":"finish","sessionId":")" + session + R"("})");
    Bytes hugePayload = frameBytes(R"({"type":"frame"})");
    hugePayload[4] = 0x40; // 1 GiB
    Bytes cut = joined({permit, shot});
    cut.resize(cut.size() - 2); // inside the JPEG
    const auto after = [](const Bytes& bad) { return joined({permit, bad, permit}); };
    const struct {
        const char* name;
        Bytes bytes;
        std::size_t frames;
        std::optional<std::uint64_t> fault;
    } cases[] = {
        {"whole", joined({permit, shot, finish}), 3, std::nullopt},
        {"cut", cut, 1, 25},
        {"length prefix only", {0, 0, 0}, 0, 0},
        {"zero header length", after({0, 0, 0, 0, 0, 0, 0, 0}), 1, 25},
        {"huge header length", after({0x7F, 0, 0, 0, 0, 0, 0, 0}), 1, 25},
        {"huge payload length", after(hugePayload), 1, 25},
        {"not JSON", after(frameBytes(R"({"type":permit})")), 1, 33},
        {"trailing newline", after(frameBytes("{\"type\":\"permit\"}\n")), 1, 33},
        {"type not text", after(frameBytes(R"({"type":1})")), 1, 33},
        {"invalid UTF-8", after(frameBytes("{\"type\":\"\xC3(\"}")), 1, 33},
    };
    for (const auto& c : cases) {
        for (std::size_t chunk : {std::size_t{1}, std::size_t{3}, c.bytes.size()}) {
            FrameParser parser;
            const auto frames = parseAll(parser, c.bytes, chunk);
            ASSERT_EQ(frames.size(), c.frames) << c.name << ", chunks of " << chunk;
            const auto& fault = parser.finish();
            EXPECT_EQ(fault ? std::optional(fault->offset) : std::nullopt, c.fault) << c.name;
            if (c.frames == 3) {
                EXPECT_EQ(frames[0].type, "permit");
                EXPECT_EQ(frames[1].offset, 25u);
                EXPECT_EQ(frames[1].payload, tinyJpeg);
                EXPECT_EQ(frames[1].header["seq"], 3);
                EXPECT_EQ(frames[2].type, "finish");
                EXPECT_EQ(parser.consumedBytes(), c.bytes.size());
            }
        }
    }
}

TEST(ValidateFrame, RejectsFramesThatBreakTheirLayout) {
    const std::string events = R"({"type":"events","sessionId":")" + session + R"(","event":)";
    const std::string record = R"({"schema":"quillmap.trace.v0","episodeId":")" + session +
                               R"(","seq":0,"timestampMs":1,"dtMsFromPrev":0,"kind":"click")";
    // The valid rows show that each other row fails for its one change.
    const std::pair<std::string, Bytes> cases[] = {
        {"valid screenshot", frameBytes(screenshotHeader, tinyJpeg)},
        {"valid record", frameBytes(events + record + "}}")},
        {"permit with payload", frameBytes(R"({"type":"permit"})", {1})},
        {"permit with member", frameBytes(R"({"type":"permit","x":1})")},
        {"unknown type", frameBytes(R"({"type":"hello","sessionId":"s"})")},
        {"finish without session", frameBytes(R"({"type":"finish"})")},
        {"record with null", frameBytes(events + record + R"(,"app":null}})")},
        {"record of another episode",
         frameBytes(events + replaced(record, session, "ep-x") + "}}")},
        {"focus schema in events", frameBytes(events + R"({"schema":"quillmap.focus.v0"}})")},
        {"negative seq", frameBytes(events + replaced(record, ":0,", ":-1,") + "}}")},
        {"screenshot not JPEG", frameBytes(screenshotHeader, {1, 2, 3, 4})},
        {"screenshot cut JPEG", frameBytes(screenshotHeader, {0xFF, 0xD8, 0xFF, 0xE0})},
        {"screenshot extra member",
         frameBytes(replaced(screenshotHeader, "}", R"(,"x":1})"), tinyJpeg)},
        {"screenshot bounds", frameBytes(replaced(screenshotHeader, "null", "[]"), tinyJpeg)},
        {"screenshot zero width", frameBytes(replaced(screenshotHeader, "2048", "0"), tinyJpeg)},
        {"screenshot cursor",
         frameBytes(replaced(screenshotHeader, "[0.5,0.25]", "[0]"), tinyJpeg)},
    };
    for (const auto& [name, bytes] : cases) {
        FrameParser parser;
        const auto frames = parseAll(parser, bytes, bytes.size());
        ASSERT_EQ(frames.size(), 1u) << name;
        EXPECT_EQ(stepreel_parent::validateFrame(frames[0]).has_value(), !name.starts_with("valid"))
            << name;
    }
}
