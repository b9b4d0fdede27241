// The "after" frame and "result" record 0.45 s after a click, double click or paste.
#include "tests/unit/recorder/recorder_rig.h"

#include <gtest/gtest.h>
#include <set>

namespace {

class ResultFrames : public ::testing::Test {
protected:
    ResultFrames() {
        rig.pipes.grant(200);
        rig.showApp("Safari", "com.apple.Safari", 5, "Docs", "https://example.com/p");
    }
    void click() { rig.recorder->emit("click", std::nullopt, std::nullopt); }

    RecorderRig rig;
};

TEST_F(ResultFrames, ResultFollowsAfter045SecondsWithTheAfterFrame) {
    rig.clock.set(1'000'000);
    click();
    rig.loop.advance(0.44);
    EXPECT_EQ(rig.events().size(), 1u);
    rig.loop.advance(0.01);
    const auto events = rig.events();
    ASSERT_EQ(events.size(), 2u);
    const auto& result = events[1];
    EXPECT_EQ(result["kind"], "result");
    EXPECT_EQ(result["seq"], 1);
    EXPECT_EQ(result["refSeq"], 0);
    EXPECT_EQ(result["dtMsFromPrev"], 0);
    EXPECT_EQ(result["timestampMs"], 1'000'450);
    EXPECT_EQ(result["app"], "Safari");
    EXPECT_EQ(result["bundleId"], "com.apple.Safari");
    EXPECT_EQ(result["url"], "https://example.com/p");
    EXPECT_EQ(result["screenshotFull"], "frames/1-full.jpg");
    EXPECT_FALSE(result.contains("target"));
    EXPECT_FALSE(result.contains("key"));

    const auto frames = rig.pipes.frames().ofType("frame");
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[1].header["kind"], "after");
    EXPECT_EQ(frames[1].header["seq"], 1);
    EXPECT_EQ(rig.recorder->meta().actionCount, 2);
    EXPECT_EQ(rig.recorder->meta().frameCount, 2);
}

TEST_F(ResultFrames, CursorAtBothCornersOfA1440By900Screen) {
    rig.screens.mouse = {0, 900}; // top-left, bottom-left origin
    click();
    rig.loop.advance(0.45);
    rig.screens.mouse = {1440, 0}; // bottom-right
    click();
    rig.loop.advance(0.45);

    const auto events = rig.events();
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[1]["cursor"], nlohmann::json({0.0, 0.0}));
    EXPECT_EQ(events[3]["cursor"], nlohmann::json({1440.0, 900.0}));
    const auto frames = rig.pipes.frames().ofType("frame");
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[1].header["cursor"], nlohmann::json({0.0, 0.0}));
    EXPECT_EQ(frames[3].header["cursor"], nlohmann::json({1.0, 1.0}));
}

TEST_F(ResultFrames, EveryScreenshotFrameComesBeforeTheRecordNamingIt) {
    click();
    rig.recorder->emit("paste", std::string("cmd+v"), std::nullopt);
    rig.loop.advance(1);
    rig.recorder->emit("doubleclick", std::nullopt, std::nullopt);
    rig.loop.advance(1);

    std::set<std::string> sent;
    int named = 0;
    for (const auto& frame : rig.pipes.frames().frames) {
        if (frame.type() == "frame")
            sent.insert("frames/" + frame.header["seq"].dump() + "-full.jpg");
        if (frame.type() == "events" && frame.header["event"].contains("screenshotFull")) {
            EXPECT_EQ(sent.count(frame.header["event"]["screenshotFull"]), 1u);
            ++named;
        }
    }
    EXPECT_EQ(named, 6);
}

TEST_F(ResultFrames, TwoActionsATenthOfASecondApartGiveTwoResultsInOrder) {
    click();
    rig.loop.advance(0.1);
    rig.recorder->emit("paste", std::string("cmd+v"), std::nullopt);
    rig.loop.advance(1);
    const auto events = rig.events();
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[2]["kind"], "result");
    EXPECT_EQ(events[2]["refSeq"], 0);
    EXPECT_EQ(events[2]["seq"], 2);
    EXPECT_EQ(events[3]["refSeq"], 1);
    EXPECT_EQ(events[3]["seq"], 3);
    EXPECT_EQ(events[3]["timestampMs"].get<std::int64_t>() -
                  events[2]["timestampMs"].get<std::int64_t>(),
              100);
}

TEST(ResultFrameDropped, WhilePausedForAnEarlierEpisodeOrWithoutItsRecorder) {
    const std::pair<const char*, void (*)(RecorderRig&)> cases[] = {
        {"paused", [](RecorderRig& r) { r.recorder->togglePause(); }},
        {"earlier episode", [](RecorderRig& r) { r.recorder->setEpisodeIdForTesting("ep-next"); }},
        {"recorder gone", [](RecorderRig& r) { r.recorder.reset(); }},
    };
    for (const auto& [name, change] : cases) {
        RecorderRig rig;
        rig.pipes.grant(10);
        rig.recorder->emit("click", std::nullopt, std::nullopt);
        change(rig);
        rig.loop.advance(1);
        if (rig.recorder && rig.recorder->paused()) { // resuming does not bring it back
            rig.recorder->togglePause();
            rig.loop.advance(1);
        }
        EXPECT_EQ(rig.events().size(), 1u) << name;
        EXPECT_EQ(rig.pipes.frames().ofType("frame").size(), 1u) << name;
        if (rig.recorder) {
            EXPECT_EQ(rig.recorder->meta().actionCount, 1) << name;
        }
    }
}

TEST(ResultFramePermission, RefusedScreenshotStillWritesTheResultRecord) {
    RecorderRig rig;
    rig.pipes.answer("\x01\x01");
    rig.recorder->emit("click", std::nullopt, std::nullopt);
    rig.pipes.answer(std::string(1, '\0'));
    rig.loop.advance(0.45);
    const auto events = rig.events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_FALSE(events[1].contains("screenshotFull"));
    EXPECT_EQ(rig.recorder->meta().actionCount, 2);
    EXPECT_EQ(rig.recorder->meta().frameCount, 1);
    EXPECT_EQ(rig.pipes.frames().typesWithoutPermits(),
              (std::vector<std::string>{"frame", "events", "events"}));
}

TEST_F(ResultFrames, FailedScreenshotSendsLossBeforeTheResultAndOneMessage) {
    click();
    rig.capture.captureError = "boom";
    rig.loop.advance(0.45);
    EXPECT_EQ(rig.pipes.frames().typesWithoutPermits(),
              (std::vector<std::string>{"frame", "events", "loss", "events"}));
    EXPECT_EQ(rig.pipes.errorText(), "スクリーンショット取得に失敗しました\n");
    EXPECT_FALSE(rig.events()[1].contains("screenshotFull"));
    EXPECT_EQ(rig.recorder->meta().frameCount, 1);
}

} // namespace
