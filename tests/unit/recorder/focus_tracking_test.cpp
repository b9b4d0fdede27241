// Focus dwells: one record per completed stay, identified by app, window title and page.
#include "tests/unit/recorder/recorder_rig.h"

#include <gtest/gtest.h>

namespace {

class FocusTracking : public ::testing::Test {
protected:
    FocusTracking() {
        rig.pipes.grant(200);
        rig.loop.addRepeatingTimer(1.5, [this] { rig.recorder->pollFocus(); });
        start = rig.clock.nowMs();
    }
    std::vector<nlohmann::json> dwells() { return rig.events("focus"); }

    RecorderRig rig;
    std::int64_t start = 0;
};

TEST_F(FocusTracking, FirstObservationOpensADwellWithoutWriting) {
    rig.showApp("Mail", "com.apple.mail", 1, "Inbox");
    rig.loop.advance(1.5);
    rig.loop.advance(1.5);
    EXPECT_TRUE(dwells().empty());
}

TEST_F(FocusTracking, ChangeClosesTheDwellWithPollTimes) {
    rig.showApp("Mail", "com.apple.mail", 1, "Inbox");
    rig.loop.advance(1.5);
    rig.showApp("Safari", "com.apple.Safari", 2, "Docs", "https://example.com/x");
    rig.loop.advance(3.0);
    const auto all = dwells();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0]["schema"], "quillmap.focus.v0");
    EXPECT_EQ(all[0]["episodeId"], rig.recorder->episodeId());
    EXPECT_EQ(all[0]["app"], "Mail");
    EXPECT_EQ(all[0]["bundleId"], "com.apple.mail");
    EXPECT_EQ(all[0]["windowTitle"], "Inbox");
    EXPECT_FALSE(all[0].contains("url"));
    EXPECT_EQ(all[0]["enterAtMs"], start + 1500);
    EXPECT_EQ(all[0]["exitAtMs"], start + 3000);
    EXPECT_EQ(all[0]["durationMs"], 1500);
}

TEST_F(FocusTracking, SwitchingAwayAndBackWithinOneIntervalIsNotSeen) {
    rig.showApp("A", "a", 1, "Wa");
    rig.loop.advance(1.5);
    rig.loop.advance(0.5);
    rig.showApp("B", "b", 2, "Wb");
    rig.loop.advance(0.5);
    rig.showApp("A", "a", 1, "Wa");
    rig.loop.advance(0.5);
    EXPECT_TRUE(dwells().empty());
}

TEST_F(FocusTracking, TabSwitchChangesThePageAndClosesTheDwell) {
    rig.showApp("Safari", "com.apple.Safari", 2, "Docs", "https://a.example/");
    rig.loop.advance(1.5);
    rig.showApp("Safari", "com.apple.Safari", 2, "Docs", "https://b.example/");
    rig.loop.advance(1.5);
    const auto all = dwells();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0]["url"], "https://a.example/");
}

TEST_F(FocusTracking, SameNameTitleAndPageIsOneDwellKeepingTheFirstBundle) {
    rig.showApp("Notes", "com.one", 1, "Same");
    rig.loop.advance(1.5);
    rig.showApp("Notes", "com.two", 2, "Same");
    rig.loop.advance(1.5);
    EXPECT_TRUE(dwells().empty());
    rig.recorder->finalizeEpisode("completed");
    ASSERT_EQ(dwells().size(), 1u);
    EXPECT_EQ(dwells()[0]["bundleId"], "com.one");
}

TEST_F(FocusTracking, StayWithNoFrontmostApplicationIsNotWritten) {
    rig.showApp("Mail", "com.apple.mail", 1, "Inbox");
    rig.loop.advance(1.5);
    rig.workspace.clearFront();
    rig.loop.advance(1.5);
    rig.showApp("Mail", "com.apple.mail", 1, "Inbox");
    rig.loop.advance(1.5);
    const auto all = dwells();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0]["app"], "Mail");
}

TEST_F(FocusTracking, AccessibleTitleElseTheWindowServersElseNone) {
    struct Case {
        std::optional<std::string> accessible, windowServer, recorded;
    };
    const Case cases[] = {
        {"Inbox", "Inbox - Mail", "Inbox"}, // accessibility first
        {std::nullopt, "xlogo", "xlogo"},   // a client without accessibility
        {std::nullopt, std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        rig.showApp("App", "app", 3, c.accessible);
        rig.workspace.front->frontWindowTitle = c.windowServer;
        rig.loop.advance(1.5);
        rig.showApp("Other", "other", 4, "Elsewhere");
        rig.loop.advance(1.5);
    }
    const auto all = dwells();
    ASSERT_EQ(all.size(), 2 * std::size(cases) - 1);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(all[2 * i]["app"], "App");
        EXPECT_EQ(all[2 * i].value("windowTitle", std::string("(absent)")),
                  cases[i].recorded.value_or("(absent)"));
    }
}

TEST_F(FocusTracking, UntitledPopupContinuesTheDwellOfTheWindowItBelongsTo) {
    rig.showApp("Editor", "editor", 5, "notes.txt");
    rig.loop.advance(1.5);
    rig.showApp("Editor", "editor", 5); // a context menu: an accessible window without a title
    rig.workspace.front->frontWindowTitle = "notes.txt";
    rig.loop.advance(3.0);
    EXPECT_TRUE(dwells().empty());
}

TEST_F(FocusTracking, FinalisationMidDwellWritesItUpToThatMoment) {
    rig.showApp("Mail", "com.apple.mail", 1, "Inbox");
    rig.loop.advance(1.5);
    rig.loop.advance(0.7);
    rig.clock.advance(3);
    rig.recorder->finalizeEpisode("completed");
    const auto all = dwells();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0]["durationMs"], 703);
    EXPECT_EQ(rig.pipes.frames().typesWithoutPermits(),
              (std::vector<std::string>{"focus", "finish"}));
}

TEST_F(FocusTracking, PausedPollsDoNothingAndTheDwellSpansThePause) {
    rig.showApp("Mail", "com.apple.mail", 1, "Inbox");
    rig.loop.advance(1.5);
    rig.recorder->togglePause();
    rig.showApp("Safari", "com.apple.Safari", 2, "Docs");
    rig.loop.advance(4.5);
    EXPECT_TRUE(dwells().empty());
    rig.recorder->togglePause();
    rig.loop.advance(1.5);
    const auto all = dwells();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0]["durationMs"], 6000);
}

TEST_F(FocusTracking, ClockSetBackGivesANegativeDuration) {
    rig.showApp("Mail", "com.apple.mail", 1, "Inbox");
    rig.loop.advance(1.5);
    rig.clock.advance(-10'000);
    rig.showApp("Safari", "com.apple.Safari", 2, "Docs");
    rig.loop.advance(1.5);
    EXPECT_EQ(dwells().at(0)["durationMs"], -8500);
}

TEST(FocusPermission, RefusedPollLeavesTheDwellOpen) {
    RecorderRig rig;
    rig.showApp("Mail", "com.apple.mail", 1, "Inbox");
    rig.pipes.answer("\x01");
    rig.recorder->pollFocus();
    rig.showApp("Safari", "com.apple.Safari", 2, "Docs");
    rig.pipes.answer(std::string(1, '\0'));
    rig.recorder->pollFocus();
    EXPECT_TRUE(rig.events("focus").empty());
    rig.recorder->finalizeEpisode("completed");
    ASSERT_EQ(rig.events("focus").size(), 1u);
    EXPECT_EQ(rig.events("focus")[0]["app"], "Mail");
}

} // namespace
