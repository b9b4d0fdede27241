// Screenshots: permission gate, worker thread, frame header, reduction and every failure.
#include "tests/unit/recorder/recorder_rig.h"

#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <new>
#include <thread>

namespace {

constexpr const char* failureMessage = "スクリーンショット取得に失敗しました\n";

ScreenShooter::Shot shoot(RecorderRig& rig, double cursorX = 0.25) {
    return rig.shooter.capture(7, "ep-9", std::nullopt, false, {cursorX, 0.5}, "after");
}

TEST(ScreenShooter, FirstDisplayAtItsSizeWithTheCursorOnAWorkerThreadReducedToOneFrame) {
    RecorderRig s;
    s.capture.content.displays = {{5, 3024, 1964}, {6, 800, 600}};
    s.pipes.grant(1);
    EXPECT_EQ(shoot(s).full, "frames/7-full.jpg");
    EXPECT_EQ(s.capture.displaysCaptured(), std::vector<std::uint32_t>{5});
    const auto configuration = s.capture.configurations().at(0);
    EXPECT_EQ(std::tuple(configuration.width, configuration.height, configuration.showsCursor),
              std::tuple(3024, 1964, true));
    for (const auto& thread : s.capture.callingThreads())
        EXPECT_NE(thread, std::this_thread::get_id());
    const auto frame = s.pipes.frames().ofType("frame").at(0);
    EXPECT_EQ(frame.headerText,
              R"({"type":"frame","sessionId":"ep-9","seq":7,"kind":"after",)"
              R"("width":2048,"height":1330,"cursor":[0.25,0.5],"targetBounds":null})");
    EXPECT_EQ(frame.payload, "JPEG 2048x1330");
}

TEST(ScreenShooter, EveryFailureSendsOneLossAndSomeTellTheUser) {
    struct Case {
        const char* name;
        std::function<void(RecorderRig&)> breakIt;
        const char* message;
        double cursorX = 0.25;
    };
    const Case cases[] = {
        {"no shareable content", [](RecorderRig& s) { s.capture.contentError = "declined"; },
         failureMessage},
        {"no display", [](RecorderRig& s) { s.capture.content.displays.clear(); }, ""},
        {"capture failed", [](RecorderRig& s) { s.capture.captureError = "stream failed"; },
         failureMessage},
        {"no image", [](RecorderRig& s) { s.capture.returnNullImage = true; }, failureMessage},
        {"exception in the worker",
         [](RecorderRig& s) { s.capture.duringCapture = [] { throw std::bad_alloc(); }; },
         failureMessage},
        {"encoder failed", [](RecorderRig& s) { s.graphics.failJpeg = true; }, ""},
        {"unserialisable header", [](RecorderRig&) {}, "", std::nan("")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecorderRig s;
        c.breakIt(s);
        s.pipes.grant(1);
        ScreenShooter::Shot shot;
        EXPECT_NO_THROW(shot = shoot(s, c.cursorX));
        EXPECT_FALSE(shot.full);
        EXPECT_EQ(s.pipes.frames().typesWithoutPermits(), std::vector<std::string>{"loss"});
        EXPECT_EQ(s.pipes.frames().ofType("loss").at(0).header,
                  nlohmann::json({{"type", "loss"}, {"sessionId", "ep-9"}}));
        EXPECT_EQ(s.pipes.errorText(), c.message);
    }
}

TEST(ScreenShooter, LongEdgeBecomesAtMost2048WithTruncatedSizesElseTheInputIsSent) {
    const struct {
        std::int64_t width, height;
        const char* sent;
        bool failScale = false;
    } cases[] = {
        {2048, 1536, "JPEG 2048x1536"},
        {10000, 3, "JPEG 10000x3"}, // would be 0 high
        {2880, 1800, "JPEG 2880x1800", true},
    };
    for (const auto& c : cases) {
        RecorderRig s;
        s.capture.content.displays = {{1, c.width, c.height}};
        s.graphics.failScale = c.failScale;
        s.pipes.grant(1);
        EXPECT_EQ(shoot(s).full, "frames/7-full.jpg");
        const auto frame = s.pipes.frames().ofType("frame").at(0);
        EXPECT_EQ("JPEG " + frame.header["width"].dump() + "x" + frame.header["height"].dump(),
                  c.sent);
        EXPECT_EQ(frame.payload, c.sent);
        if (std::max(c.width, c.height) <= 2048) {
            EXPECT_TRUE(s.graphics.scaleCalls().empty());
        }
    }
}

} // namespace
