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

// The first display at its own size with the cursor, on a worker thread; the long edge becomes
// at most 2048 with truncated sizes, else the captured image is sent.
TEST(ScreenShooter, FirstDisplayCapturedOnAWorkerAndReducedToOneFrame) {
    const struct {
        std::int64_t width, height, sentWidth, sentHeight;
        bool failScale = false;
    } cases[] = {
        {3024, 1964, 2048, 1330},
        {2048, 1536, 2048, 1536},
        {10000, 3, 10000, 3}, // would be 0 high
        {2880, 1800, 2880, 1800, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.width);
        RecorderRig s;
        s.capture.content.displays = {{5, c.width, c.height}, {6, 800, 600}};
        s.graphics.failScale = c.failScale;
        s.pipes.grant(1);
        EXPECT_EQ(shoot(s).full, "frames/7-full.jpg");
        EXPECT_EQ(s.capture.displaysCaptured(), std::vector<std::uint32_t>{5});
        const auto configuration = s.capture.configurations().at(0);
        EXPECT_EQ(std::tuple(configuration.width, configuration.height, configuration.showsCursor),
                  std::tuple(c.width, c.height, true));
        for (const auto& thread : s.capture.callingThreads())
            EXPECT_NE(thread, std::this_thread::get_id());
        const auto width = std::to_string(c.sentWidth), height = std::to_string(c.sentHeight);
        const auto frame = s.pipes.frames().ofType("frame").at(0);
        EXPECT_EQ(frame.headerText, R"({"type":"frame","sessionId":"ep-9","seq":7,"kind":"after",)"
                                    R"("width":)" +
                                        width + R"(,"height":)" + height +
                                        R"(,"cursor":[0.25,0.5],"targetBounds":null})");
        EXPECT_EQ(frame.payload, "JPEG " + width + "x" + height);
        EXPECT_EQ(s.graphics.scales == 1, std::max(c.width, c.height) > 2048);
    }
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
        EXPECT_NO_THROW(EXPECT_FALSE(shoot(s, c.cursorX).full));
        EXPECT_EQ(s.pipes.frames().typesWithoutPermits(), std::vector<std::string>{"loss"});
        EXPECT_EQ(s.pipes.frames().ofType("loss").at(0).header,
                  nlohmann::json({{"type", "loss"}, {"sessionId", "ep-9"}}));
        EXPECT_EQ(s.pipes.errorText(), c.message);
    }
}

} // namespace
