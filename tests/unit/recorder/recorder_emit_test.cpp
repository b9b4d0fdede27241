// Operation records: sequence and time arithmetic, enrichment, typing runs, pause, end.
#include "tests/unit/recorder/recorder_rig.h"

#include <gtest/gtest.h>

namespace {

using namespace std::string_literals;

class RecorderEmit : public ::testing::Test {
protected:
    RecorderEmit() {
        rig.pipes.grant(200);
        rig.showApp("Safari", "com.apple.Safari", 77, "Start", "https://example.com/a");
    }
    void click() { rig.recorder->emit("click", std::nullopt, std::nullopt); }

    RecorderRig rig;
};

TEST_F(RecorderEmit, SeqAndDtAcrossOperationsWithAResultBetweenClicks) {
    click();
    rig.clock.advance(300);
    rig.loop.advance(0.45); // the result record takes seq 1, clock +450
    click();
    rig.clock.set(rig.clock.nowMs() - 5000); // wall clock set back
    rig.recorder->emit("shortcut", "cmd+s"s, std::nullopt);

    const auto events = rig.events();
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0]["seq"], 0);
    EXPECT_EQ(events[0]["dtMsFromPrev"], 0);
    EXPECT_EQ(events[1]["kind"], "result");
    EXPECT_EQ(events[1]["seq"], 1);
    EXPECT_EQ(events[1]["refSeq"], 0);
    EXPECT_EQ(events[2]["seq"], 2);
    EXPECT_EQ(events[2]["dtMsFromPrev"], 750); // from the first click, not from the result
    EXPECT_EQ(events[3]["dtMsFromPrev"], -5000);
    EXPECT_EQ(events[3]["key"], "cmd+s");
    EXPECT_EQ(rig.recorder->meta().actionCount, 4);
    EXPECT_EQ(rig.recorder->meta().frameCount, 4);
}

TEST_F(RecorderEmit, ClickIsEnrichedWithAppPageTargetCursorAndScreenshot) {
    const auto button = rig.ax.addNode("AXButton");
    rig.ax.setText(button, "AXTitle", "Go");
    rig.ax.setElementAtPoint(button);
    rig.screens.mouse = {100, 800}; // bottom-left origin on a 1440 × 900 screen
    rig.workspace.front->frontWindowTitle = "Start";
    std::optional<std::size_t> probesBeforePixels;
    std::optional<int> releasesBeforePixels;
    rig.capture.duringCapture = [&] {
        probesBeforePixels = rig.ax.pointsAsked().size();
        releasesBeforePixels = rig.loop.releases();
    };
    click();
    // The pixels come before any accessibility request, and the held press goes on after them.
    EXPECT_EQ(probesBeforePixels, 0u);
    EXPECT_EQ(releasesBeforePixels, 0);
    EXPECT_EQ(rig.loop.releases(), 1);

    const auto event = rig.events().at(0);
    EXPECT_EQ(event["schema"], "quillmap.trace.v0");
    EXPECT_EQ(event["episodeId"], rig.recorder->episodeId());
    EXPECT_EQ(event["app"], "Safari");
    EXPECT_EQ(event["bundleId"], "com.apple.Safari");
    EXPECT_EQ(event["url"], "https://example.com/a");
    EXPECT_EQ(event["cursor"], nlohmann::json({100.0, 100.0}));
    EXPECT_EQ(event["target"]["role"], "AXButton");
    EXPECT_EQ(event["target"]["windowTitle"], "Start"); // in no window: the front one's title
    EXPECT_EQ(event["screenshotFull"], "frames/0-full.jpg");
    EXPECT_FALSE(event.contains("inputCharCount"));
    EXPECT_FALSE(event.contains("clipboardFromApp"));
    ASSERT_EQ(rig.ax.pointsAsked().size(), 1u);
    EXPECT_EQ(rig.ax.pointsAsked()[0], (std::pair<float, float>{100, 100}));

    const auto frame = rig.pipes.frames().ofType("frame").at(0);
    EXPECT_EQ(frame.header["kind"], "before");
    EXPECT_EQ(frame.header["seq"], 0);
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
    const auto frames = rig.pipes.frames().ofType("frame");
    EXPECT_EQ(frames.at(1).header["cursor"], nlohmann::json({30.0 / 1440, 40.0 / 900}));
    // Their after-frames are due 0.45 s after the clicks themselves: already.
    rig.loop.advance(0);
    EXPECT_EQ(rig.events().size(), 4u);
}

TEST_F(RecorderEmit, NoFrontmostApplicationLeavesAppBundleAndUrlOut) {
    rig.workspace.clearFront();
    rig.screens.frames.clear();
    rig.screens.mouse = {-50, 20};
    click();
    const auto event = rig.events().at(0);
    EXPECT_FALSE(event.contains("app"));
    EXPECT_FALSE(event.contains("bundleId"));
    EXPECT_FALSE(event.contains("url"));
    EXPECT_EQ(event["cursor"], nlohmann::json({-50.0, -20.0}));
    EXPECT_EQ(rig.ax.pointsAsked().size(), 1u); // the element lookup still runs
    const auto frame = rig.pipes.frames().ofType("frame").at(0);
    EXPECT_EQ(frame.header["cursor"], nlohmann::json({-50.0, -20.0}));
}

TEST_F(RecorderEmit, TypedRunIsCountedClassifiedAndStampedAtTheFlush) {
    rig.recorder->appendTyping("ab", "com.apple.Safari"s);
    rig.recorder->appendTyping("c", "com.apple.Safari"s);
    rig.clock.advance(2000);
    rig.recorder->flushTyping();
    click();

    const auto events = rig.events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0]["kind"], "type");
    EXPECT_EQ(events[0]["inputCharCount"], 3);
    EXPECT_EQ(events[0]["inputKind"], "text");
    EXPECT_EQ(events[0]["timestampMs"], rig.clock.nowMs());
    EXPECT_FALSE(events[0].contains("screenshotFull"));
    EXPECT_FALSE(events[0].contains("text"));
    EXPECT_EQ(events[1]["seq"], 1);
    EXPECT_EQ(rig.pipes.frames().ofType("frame").size(), 1u); // typing takes no screenshot
    EXPECT_EQ(rig.recorder->meta().frameCount, 1);
}

TEST(RecorderClassify, NumericCharactersDecideTheKind) {
    EXPECT_EQ(Recorder::classifyInput("2024"), "number");
    EXPECT_EQ(Recorder::classifyInput("a1"), "mixed");
    EXPECT_EQ(Recorder::classifyInput("½"), "number");
    EXPECT_EQ(Recorder::classifyInput("Ⅻ七"), "number");
    EXPECT_EQ(Recorder::classifyInput("e\u0301"), "text");
    EXPECT_EQ(Recorder::classifyInput("1\u0301"), "number");
    EXPECT_EQ(Recorder::classifyInput(""), "number");
}

TEST_F(RecorderEmit, PauseTogglesWithItsTwoMessagesAndRecordsNothingMeanwhile) {
    rig.recorder->togglePause();
    click();
    rig.recorder->appendTyping("abc", "s"s);
    rig.recorder->flushTyping(); // discarded while paused
    rig.recorder->togglePause();
    EXPECT_EQ(rig.pipes.errorText(), "⏸ 一時停止\n▶︎ 再開\n");
    EXPECT_EQ(rig.recorder->seq(), 0);
    EXPECT_EQ(rig.pipes.output(), ""); // not even a permission request
    click();
    EXPECT_EQ(rig.events().at(0)["seq"], 0);
}

TEST(RecorderPermission, RefusedPermissionLeavesStateUntouched) {
    RecorderRig refused;
    refused.pipes.answer("\x00"s);
    refused.recorder->emit("click", std::nullopt, std::nullopt);
    EXPECT_EQ(refused.recorder->seq(), 0);
    EXPECT_EQ(refused.loop.pendingTasks(), 0u);
    refused.pipes.answer("\x01\x01"s);
    refused.clock.advance(900);
    refused.recorder->emit("rightclick", std::nullopt, std::nullopt);
    const auto event = refused.events().at(0);
    EXPECT_EQ(event["seq"], 0);
    EXPECT_EQ(event["dtMsFromPrev"], 0); // the refused click set no previous time
}

TEST_F(RecorderEmit, OnlyClicksDoubleClicksAndPastesScheduleAResult) {
    for (const char* kind :
         {"click", "doubleclick", "paste", "rightclick", "shortcut", "navigate", "type", "Click"}) {
        rig.recorder->emit(kind, std::nullopt, std::nullopt);
    }
    EXPECT_EQ(rig.loop.pendingTasks(), 3u);
}

TEST_F(RecorderEmit, FinalisationDropsAnOpenRunAndWritesFinish) {
    rig.recorder->appendTyping("secret", "s"s);
    rig.clock.advance(10);
    rig.recorder->finalizeEpisode("completed");
    rig.recorder->flushTyping(); // the run is gone
    const auto stream = rig.pipes.frames();
    EXPECT_EQ(stream.typesWithoutPermits(), std::vector<std::string>{"finish"});
    const auto finish = stream.ofType("finish").at(0);
    EXPECT_EQ(finish.header,
              nlohmann::json({{"type", "finish"}, {"sessionId", rig.recorder->episodeId()}}));
    EXPECT_EQ(rig.recorder->meta().status, "completed");
    EXPECT_EQ(rig.recorder->meta().endedAtMs, rig.clock.nowMs());
}

} // namespace
