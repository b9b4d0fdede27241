// Operation records and the result record 0.45 s after a click, double click or paste: the
// moment each describes, the frames they name, and results that cannot be taken.
#include "tests/unit/recorder/recorder_rig.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <thread>

namespace {

using Points = std::vector<std::pair<float, float>>;

// The pixels are taken while the element is read; the held press goes on only after both.
TEST(RecorderEmit, PixelsAndProbeComeBeforeTheHeldPressGoesOn) {
    RecorderRig rig;
    rig.pipes.grant(10);
    rig.ax.elementAtPoint = rig.ax.addNode("AXButton");
    rig.screens.mouse = {100, 800}; // bottom-left origin on a 1440 × 900 screen
    std::optional<int> releasesBeforePixels;
    rig.capture.duringCapture = [&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        releasesBeforePixels = rig.loop.releases;
    };
    rig.recorder->emit("click", std::nullopt, std::nullopt);
    EXPECT_EQ(releasesBeforePixels, 0);
    EXPECT_EQ(rig.loop.releases, 1);
    EXPECT_EQ(rig.ax.pointsAsked, (Points{{100, 100}}));
    const auto event = rig.events().at(0);
    EXPECT_EQ(event["episodeId"], rig.recorder->episodeId());
    EXPECT_EQ(event["cursor"], nlohmann::json({100.0, 100.0}));
}

// A capture still coming in when the port answers (the screen read band by band) is scaled as
// it comes; the press stays held until the last of it is in.
TEST(RecorderEmit, AHeldPressWaitsForTheLastPixelsOfACaptureStillComingIn) {
    RecorderRig rig;
    rig.pipes.grant(10);
    rig.capture.content.displays = {{5, 2880, 1800}};
    std::promise<void> lastBand;
    rig.capture.pixelsArrive = lastBand.get_future().share();
    std::optional<int> releasesBeforeLastBand;
    int scalesBeforeLastBand = 0;
    std::thread server([&] {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (rig.graphics.scales == 0 && std::chrono::steady_clock::now() < giveUp)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        scalesBeforeLastBand = rig.graphics.scales;
        releasesBeforeLastBand = rig.loop.releases;
        lastBand.set_value();
    });
    rig.recorder->emit("click", std::nullopt, std::nullopt);
    server.join();
    EXPECT_EQ(std::tuple(scalesBeforeLastBand, releasesBeforeLastBand), std::tuple(1, 0));
    EXPECT_EQ(rig.loop.releases, 1);
    EXPECT_EQ(rig.pipes.frames().typesWithoutPermits(), (Types{"frame", "events"}));
}

// A press that ends a typing run has its pixels taken while it is held, before the run waits
// for the parent; the stream still gives the run's record, then the click's frame and record.
TEST(RecorderEmit, APressEndingARunTakesItsPixelsBeforeTheRunIsWritten) {
    RecorderRig rig;
    rig.pipes.grant(10);
    rig.recorder->appendTyping("abc", "com.example.editor");
    std::optional<Types> writtenAtPixels;
    rig.capture.duringCapture = [&] { writtenAtPixels = rig.pipes.frames().typesWithoutPermits(); };
    rig.recorder->emit("click", std::nullopt, std::nullopt);
    EXPECT_EQ(writtenAtPixels, Types{});
    EXPECT_EQ(rig.pipes.frames().typesWithoutPermits(), (Types{"events", "frame", "events"}));
    const auto events = rig.events();
    EXPECT_EQ(std::tuple(events[0]["kind"], events[0]["seq"], events[0]["inputCharCount"]),
              std::tuple("type", 0, 3));
    EXPECT_EQ(std::tuple(events[1]["kind"], events[1]["seq"], events[1]["screenshotFull"]),
              std::tuple("click", 1, "frames/1-full.jpg"));
    EXPECT_EQ(rig.pipes.frames().ofType("frame").at(0).header["seq"], 1);
}

TEST(RecorderEmit, LateHandledClicksKeepTheirOwnPlace) {
    RecorderRig rig;
    rig.pipes.grant(10);
    rig.screens.mouse = {1000, 100}; // where the pointer is by the time they are handled
    rig.recorder->emit("click", std::nullopt, std::nullopt,
                       {geo::Point{10, 20}, std::nullopt, std::nullopt});
    rig.recorder->emit("click", std::nullopt, std::nullopt,
                       {geo::Point{30, 40}, std::nullopt, std::nullopt});

    const auto events = rig.events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0]["cursor"], nlohmann::json({10.0, 20.0}));
    EXPECT_EQ(events[1]["cursor"], nlohmann::json({30.0, 40.0}));
    EXPECT_EQ(rig.ax.pointsAsked, (Points{{10, 20}, {30, 40}}));
    EXPECT_EQ(rig.pipes.frames().ofType("frame").at(1).header["cursor"],
              nlohmann::json({30.0 / 1440, 40.0 / 900}));
}

// Each record is stamped when it is made, a result with the moment of its pixels; timestamps
// never go back, and dtMsFromPrev is the difference a parent computes. A result frame is due
// 0.45 s after its own input event, however late the record was made.
TEST(RecorderTimes, StampsFollowTheRecordsAndResultsTheirEvent) {
    RecorderRig rig;
    rig.pipes.grant(20);
    const std::int64_t pressed = rig.clock.nowMs();
    rig.clock.advance(300); // a slow parent
    rig.recorder->emit("click", std::nullopt, std::nullopt,
                       {geo::Point{10, 20}, pressed, std::nullopt});
    rig.capture.duringCapture = [&] { rig.clock.advance(30); };
    rig.ax.onRequest = [&](int, std::string_view) { // the after-frame's page address is slow
        rig.clock.advance(100);
        return true;
    };
    rig.workspace.setFront("Editor", "com.example.editor", 1);
    rig.ax.addApplication(1);
    rig.loop.advance(0.14); // 0.44 s after the press
    EXPECT_EQ(rig.events().size(), 1u);
    rig.loop.advance(0.01);
    rig.ax.onRequest = nullptr;
    rig.capture.duringCapture = nullptr;
    rig.clock.advance(-60'000); // the wall clock set back
    rig.recorder->emit("shortcut", "cmd+s", std::nullopt);

    const auto events = rig.events();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0]["timestampMs"], pressed + 300);
    EXPECT_EQ(events[1]["kind"], "result");
    EXPECT_EQ(events[1]["timestampMs"], pressed + 450 + 30); // its pixels, not its probes
    EXPECT_EQ(events[2]["timestampMs"], events[1]["timestampMs"]);
    EXPECT_EQ(events[0]["dtMsFromPrev"], 0);
    for (std::size_t i = 1; i < events.size(); ++i)
        EXPECT_EQ(events[i]["dtMsFromPrev"], events[i]["timestampMs"].get<std::int64_t>() -
                                                 events[i - 1]["timestampMs"].get<std::int64_t>());
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
