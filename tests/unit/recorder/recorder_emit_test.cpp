// Operation records and the result record 0.45 s after a click, double click or paste: the
// moment each describes, the frames they name, and results that cannot be taken.
#include "tests/unit/recorder/recorder_rig.h"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>

namespace {

using Points = std::vector<std::pair<float, float>>;

TEST(RecorderEmit, PixelsComeFirstThenTheProbeThenTheHeldPressGoesOn) {
    RecorderRig rig;
    rig.pipes.grant(10);
    rig.ax.elementAtPoint = rig.ax.addNode("AXButton");
    rig.screens.mouse = {100, 800}; // bottom-left origin on a 1440 × 900 screen
    std::optional<std::size_t> probesBeforePixels;
    std::optional<int> releasesBeforePixels;
    rig.capture.duringCapture = [&] {
        probesBeforePixels = rig.ax.pointsAsked.size();
        releasesBeforePixels = rig.loop.releases;
    };
    rig.recorder->emit("click", std::nullopt, std::nullopt);
    EXPECT_EQ(probesBeforePixels, 0u);
    EXPECT_EQ(releasesBeforePixels, 0);
    EXPECT_EQ(rig.loop.releases, 1);
    EXPECT_EQ(rig.ax.pointsAsked, (Points{{100, 100}}));
    const auto event = rig.events().at(0);
    EXPECT_EQ(event["episodeId"], rig.recorder->episodeId());
    EXPECT_EQ(event["cursor"], nlohmann::json({100.0, 100.0}));
}

TEST(RecorderEmit, LateHandledClicksKeepTheirOwnPlaceAndTime) {
    RecorderRig rig;
    rig.pipes.grant(10);
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
    EXPECT_EQ(rig.ax.pointsAsked, (Points{{10, 20}, {30, 40}}));
    EXPECT_EQ(rig.pipes.frames().ofType("frame").at(1).header["cursor"],
              nlohmann::json({30.0 / 1440, 40.0 / 900}));
    rig.loop.advance(0); // their results are due 0.45 s after the clicks themselves: already
    EXPECT_EQ(rig.events().size(), 4u);
}

// A result is dropped while paused, for an earlier episode or without its recorder; a refused
// or failed screenshot still leaves its result record, without the frame.
TEST(ResultRecord, DroppedOrWrittenWithoutItsFrame) {
    const struct {
        const char* name;
        std::function<void(RecorderRig&)> change;
        Types frames;
    } cases[] = {
        {"paused", [](RecorderRig& r) { r.recorder->togglePause(); }, {"frame", "events"}},
        {"earlier episode",
         [](RecorderRig& r) { r.recorder->setEpisodeIdForTesting("ep-next"); },
         {"frame", "events"}},
        {"recorder gone", [](RecorderRig& r) { r.recorder.reset(); }, {"frame", "events"}},
        {"screenshot refused",
         [](RecorderRig& r) { r.pipes.answer(std::string(1, '\0')); },
         {"frame", "events", "events"}},
        {"screenshot failed",
         [](RecorderRig& r) { r.capture.captureError = "boom"; },
         {"frame", "events", "loss", "events"}},
    };
    for (const auto& c : cases) {
        RecorderRig rig;
        rig.pipes.grant(2);
        rig.recorder->emit("click", std::nullopt, std::nullopt);
        c.change(rig);
        rig.pipes.grant(5);
        rig.pipes.closeInput(); // requests beyond the grants are refused, never left waiting
        rig.loop.advance(1);
        if (rig.recorder && rig.recorder->paused()) { // resuming does not bring it back
            rig.recorder->togglePause();
            rig.loop.advance(1);
        }
        EXPECT_EQ(rig.pipes.frames().typesWithoutPermits(), c.frames) << c.name;
        // Every capture became a frame or a loss.
        EXPECT_EQ(rig.capture.displaysCaptured().size(),
                  std::ranges::count(c.frames, "frame") + std::ranges::count(c.frames, "loss"))
            << c.name;
        if (c.frames.size() < 3) continue;
        EXPECT_FALSE(rig.events().at(1).contains("screenshotFull")) << c.name;
        EXPECT_EQ(rig.pipes.errorText().empty(), !rig.capture.captureError) << c.name;
        const EpisodeMeta& meta = rig.recorder->meta();
        EXPECT_EQ(std::tuple(meta.actionCount, meta.frameCount, rig.recorder->seq()),
                  std::tuple(2, 1, 2))
            << c.name;
    }
}

} // namespace
