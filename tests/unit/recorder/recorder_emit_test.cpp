// Operation records and the result record 0.45 s after a click, double click or paste:
// sequence and time arithmetic, enrichment, the frames they name, pause and refusals.
#include "tests/unit/recorder/recorder_rig.h"

#include <gtest/gtest.h>
#include <set>

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
    std::vector<ParsedFrame> frames() { return rig.pipes.frames().ofType("frame"); }

    RecorderRig rig;
};

TEST_F(RecorderEmit, SeqAndDtAcrossOperationsWithAResultBetweenClicks) {
    emit("click");
    rig.clock.advance(300);
    rig.loop.advance(0.44);
    EXPECT_EQ(rig.events().size(), 1u);
    rig.loop.advance(0.01); // the result record takes seq 1, clock +450
    emit("click");
    rig.clock.set(rig.clock.nowMs() - 5000); // wall clock set back
    rig.recorder->emit("shortcut", "cmd+s"s, std::nullopt);

    const auto events = rig.events();
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0]["dtMsFromPrev"], 0);
    const nlohmann::json result = {
        {"schema", "quillmap.trace.v0"},
        {"episodeId", rig.recorder->episodeId()},
        {"seq", 1},
        {"refSeq", 0},
        {"timestampMs", events[0]["timestampMs"].get<std::int64_t>() + 750},
        {"dtMsFromPrev", 0},
        {"kind", "result"},
        {"app", "Safari"},
        {"bundleId", "com.apple.Safari"},
        {"url", "https://example.com/a"},
        {"cursor", {0.0, 900.0}},
        {"screenshotFull", "frames/1-full.jpg"}};
    EXPECT_EQ(events[1], result);
    EXPECT_EQ(events[2]["seq"], 2);
    EXPECT_EQ(events[2]["dtMsFromPrev"], 750); // from the first click, not from the result
    EXPECT_EQ(events[3]["dtMsFromPrev"], -5000);
    EXPECT_EQ(frames().at(1).header["kind"], "after");
    EXPECT_EQ(rig.recorder->meta().actionCount, 4);
    EXPECT_EQ(rig.recorder->meta().frameCount, 4);
}

TEST_F(RecorderEmit, PixelsComeFirstThenTheProbeThenTheHeldPressGoesOn) {
    rig.ax.setElementAtPoint(rig.ax.addNode("AXButton"));
    rig.screens.mouse = {100, 800}; // bottom-left origin on a 1440 × 900 screen
    rig.workspace.front->frontWindowTitle = "Start";
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
    EXPECT_EQ(event["cursor"], nlohmann::json({100.0, 100.0}));
    EXPECT_EQ(event["target"]["windowTitle"], "Start"); // in no window: the front one's title
    EXPECT_EQ(frames().at(0).header["kind"], "before");
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
    EXPECT_EQ(frames().at(1).header["cursor"], nlohmann::json({30.0 / 1440, 40.0 / 900}));
    rig.loop.advance(0); // their results are due 0.45 s after the clicks themselves: already
    EXPECT_EQ(rig.events().size(), 4u);
}

TEST_F(RecorderEmit, CursorOfNoScreenOrTheScreensCorners) {
    rig.screens.mouse = {0, 900};
    emit("click");
    rig.screens.mouse = {1440, 0};
    rig.loop.advance(0.45);
    rig.workspace.clearFront();
    rig.screens.frames.clear();
    rig.screens.mouse = {-50, 20};
    emit("click");
    const auto events = rig.events();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0]["cursor"], nlohmann::json({0.0, 0.0}));
    EXPECT_EQ(events[1]["cursor"], nlohmann::json({1440.0, 900.0}));
    EXPECT_EQ(events[2]["cursor"], nlohmann::json({-50.0, -20.0}));
    EXPECT_FALSE(events[2].contains("app") || events[2].contains("bundleId") ||
                 events[2].contains("url"));
    EXPECT_EQ(rig.ax.pointsAsked().size(), 2u); // the element lookup still runs
    const auto sent = frames();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[1].header["cursor"], nlohmann::json({1.0, 1.0}));
    EXPECT_EQ(sent[2].header["cursor"], nlohmann::json({-50.0, -20.0}));
}

TEST(RecorderClassify, NumericCharactersDecideTheKind) {
    const std::pair<const char*, const char*> cases[] = {
        {"2024", "number"},  {"a1", "mixed"},       {"½", "number"}, {"Ⅻ七", "number"},
        {"e\u0301", "text"}, {"1\u0301", "number"}, {"", "number"},
    };
    for (const auto& [text, kind] : cases)
        EXPECT_EQ(Recorder::classifyInput(text), kind) << text;
}

TEST_F(RecorderEmit, WhilePausedNothingIsRecordedNotEvenAPermitRequest) {
    rig.recorder->togglePause();
    emit("click");
    rig.recorder->appendTyping("abc", "s"s);
    rig.recorder->flushTyping();
    rig.recorder->togglePause();
    EXPECT_EQ(rig.pipes.output(), "");
    emit("click");
    EXPECT_EQ(rig.events().at(0)["seq"], 0);
}

TEST(RecorderPermission, RefusedOperationLeavesStateUntouched) {
    RecorderRig rig;
    rig.pipes.answer("\x00"s);
    rig.recorder->emit("click", std::nullopt, std::nullopt);
    EXPECT_EQ(rig.loop.pendingTasks(), 0u);
    rig.pipes.answer("\x01\x01"s);
    rig.clock.advance(900);
    rig.recorder->emit("rightclick", std::nullopt, std::nullopt);
    EXPECT_EQ(rig.events().at(0)["seq"], 0);
    EXPECT_EQ(rig.events().at(0)["dtMsFromPrev"], 0); // the refused click set no previous time
}

TEST_F(RecorderEmit, OnlyClicksDoubleClicksAndPastesScheduleAResult) {
    for (const char* kind :
         {"click", "doubleclick", "paste", "rightclick", "shortcut", "navigate", "type", "Click"})
        emit(kind);
    EXPECT_EQ(rig.loop.pendingTasks(), 3u);
}

TEST_F(RecorderEmit, EveryScreenshotFrameComesBeforeTheRecordNamingItResultsInOrder) {
    emit("click");
    rig.loop.advance(0.1);
    emit("paste");
    rig.loop.advance(1);
    emit("doubleclick");
    rig.loop.advance(1);

    std::set<std::string> sent;
    std::vector<std::string> named;
    for (const auto& frame : rig.pipes.frames().frames) {
        if (frame.type() == "frame")
            sent.insert("frames/" + frame.header["seq"].dump() + "-full.jpg");
        if (frame.type() != "events") continue;
        const auto& event = frame.header["event"];
        named.push_back(event["kind"].get<std::string>() +
                        event.value("refSeq", nlohmann::json()).dump());
        EXPECT_EQ(sent.count(event.value("screenshotFull", "")), 1u);
    }
    EXPECT_EQ(named, (Types{"clicknull", "pastenull", "result0", "result1", "doubleclicknull",
                            "result4"}));
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
    }
}

} // namespace
