// Operation records and the result record 0.45 s after a click, double click or paste: the
// moment each describes, the frames they name, and results that cannot be taken.
#include "tests/unit/recorder/recorder_rig.h"

#include <gtest/gtest.h>

namespace {

using namespace std::string_literals;
using Types = std::vector<std::string>;

class RecorderEmit : public ::testing::Test {
protected:
    RecorderEmit() {
        rig.pipes.grant(200);
        rig.showApp("Safari", "com.apple.Safari", 77, "Start", "https://example.com/a");
    }
    void emit(const char* kind) { rig.recorder->emit(kind, std::nullopt, std::nullopt); }

    RecorderRig rig;
};

TEST_F(RecorderEmit, PixelsComeFirstThenTheProbeThenTheHeldPressGoesOn) {
    rig.ax.setElementAtPoint(rig.ax.addNode("AXButton"));
    rig.screens.mouse = {100, 800}; // bottom-left origin on a 1440 × 900 screen
    std::optional<std::size_t> probesBeforePixels;
    std::optional<int> releasesBeforePixels;
    rig.capture.duringCapture = [&] {
        probesBeforePixels = rig.ax.pointsAsked().size();
        releasesBeforePixels = rig.loop.releases;
    };
    emit("click");
    EXPECT_EQ(probesBeforePixels, 0u);
    EXPECT_EQ(releasesBeforePixels, 0);
    EXPECT_EQ(rig.loop.releases, 1);
    EXPECT_EQ(rig.ax.pointsAsked(), (std::vector<std::pair<float, float>>{{100, 100}}));
    const auto event = rig.events().at(0);
    EXPECT_EQ(event["episodeId"], rig.recorder->episodeId());
    EXPECT_EQ(event["cursor"], nlohmann::json({100.0, 100.0}));
}

TEST_F(RecorderEmit, LateHandledClicksKeepTheirOwnPlaceAndTime) {
    const std::int64_t start = rig.clock.nowMs();
    rig.screens.mouse = {1000, 100}; // where the pointer is by the time they are handled
    rig.clock.advance(2000);
    rig.recorder->emit("click", std::nullopt, std::nullopt, {geo::Point{10, 20}, start});
    rig.recorder->emit("click", std::nullopt, std::nullopt, {geo::Point{30, 40}, start + 250});

    const auto events = rig.events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0]["cursor"], nlohmann::json({10.0, 20.0}));
    EXPECT_EQ(events[1]["cursor"], nlohmann::json({30.0, 40.0}));
    EXPECT_EQ(events[1]["dtMsFromPrev"], 250);
    EXPECT_EQ(events[1]["timestampMs"], rig.clock.nowMs()); // the time the record is made
    EXPECT_EQ(rig.ax.pointsAsked(), (std::vector<std::pair<float, float>>{{10, 20}, {30, 40}}));
    EXPECT_EQ(rig.pipes.frames().ofType("frame").at(1).header["cursor"],
              nlohmann::json({30.0 / 1440, 40.0 / 900}));
    rig.loop.advance(0); // their results are due 0.45 s after the clicks themselves: already
    EXPECT_EQ(rig.events().size(), 4u);
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
        EXPECT_EQ(rig.pipes.frames().typesWithoutPermits(), (Types{"frame", "events"})) << name;
    }
}

TEST(ResultFrameScreenshot, RefusedOrFailedStillWritesTheResultRecord) {
    const struct {
        const char* name;
        std::string secondAnswer;
        std::optional<std::string> captureError;
        Types frames;
        const char* message;
        std::size_t captures;
    } cases[] = {
        {"refused", "\x00"s, std::nullopt, {"frame", "events", "events"}, "", 1},
        {"failed",
         "\x01",
         "boom",
         {"frame", "events", "loss", "events"},
         "スクリーンショット取得に失敗しました\n",
         2},
    };
    for (const auto& c : cases) {
        RecorderRig rig;
        rig.pipes.grant(2);
        rig.recorder->emit("click", std::nullopt, std::nullopt);
        rig.pipes.answer(c.secondAnswer);
        rig.capture.captureError = c.captureError;
        rig.loop.advance(0.45);
        EXPECT_EQ(rig.pipes.frames().typesWithoutPermits(), c.frames) << c.name;
        EXPECT_FALSE(rig.events().at(1).contains("screenshotFull")) << c.name;
        EXPECT_EQ(rig.pipes.errorText(), c.message) << c.name;
        EXPECT_EQ(rig.capture.displaysCaptured().size(), c.captures) << c.name;
        EXPECT_EQ(rig.recorder->meta().actionCount, 2) << c.name;
        EXPECT_EQ(rig.recorder->meta().frameCount, 1) << c.name;
        EXPECT_EQ(rig.recorder->seq(), 2) << c.name;
    }
}

} // namespace
