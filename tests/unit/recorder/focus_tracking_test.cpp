// Focus dwells: one record per completed stay, identified by app, window title and page.
#include "tests/unit/recorder/recorder_rig.h"

#include <gtest/gtest.h>

namespace {

/// One moment of a scenario: what is in front (or a pause, the end), then time passing.
struct Step {
    enum Kind { front, noFront, pause, finish } kind = front;
    const char* app = "";
    const char* bundle = nullptr; ///< the name when not given
    std::optional<std::string> title{};
    std::optional<std::string> url{};
    std::optional<std::string> windowServerTitle{};
    double seconds = 1.5;
    std::int64_t clockJumpMs = 0;
};

TEST(FocusTracking, ScenariosGiveTheirDwells) {
    const struct {
        const char* name;
        std::vector<Step> steps;
        std::vector<std::string> dwells; ///< app bundle title url enter exit duration
    } cases[] = {
        {"a change closes the dwell at the polls' times",
         {{.app = "M", .title = "Inbox", .seconds = 3}, {.app = "S", .title = "Docs"}},
         {"M M Inbox - 1500 4500 3000"}},
        {"away and back within one interval is not seen",
         {{.app = "A", .title = "W", .seconds = 2},
          {.app = "B", .title = "W", .seconds = 0.5},
          {.app = "A", .title = "W", .seconds = 0.5}},
         {}},
        {"a tab switch changes the page",
         {{.app = "S", .title = "Docs", .url = "https://a.example/"},
          {.app = "S", .title = "Docs", .url = "https://b.example/"}},
         {"S S Docs https://a.example/ 1500 3000 1500"}},
        {"same name, title and page is one dwell keeping the first bundle",
         {{.app = "N", .title = "Same"},
          {.app = "N", .bundle = "second", .title = "Same"},
          {.kind = Step::finish}},
         {"N N Same - 1500 3000 1500"}},
        {"a stay with no frontmost application is not written",
         {{.app = "M", .title = "Inbox"}, {.kind = Step::noFront}, {.app = "M", .title = "Inbox"}},
         {"M M Inbox - 1500 3000 1500"}},
        {"the accessible title, else the window server's, else none",
         {{.app = "A", .title = "Inbox", .windowServerTitle = "Inbox - Mail"},
          {.app = "A", .windowServerTitle = "xlogo"},
          {.app = "A"},
          {.app = "B", .title = "Elsewhere"}},
         {"A A Inbox - 1500 3000 1500", "A A xlogo - 3000 4500 1500", "A A - - 4500 6000 1500"}},
        {"an untitled popup continues its window's dwell",
         {{.app = "E", .title = "notes.txt"},
          {.app = "E", .windowServerTitle = "notes.txt", .seconds = 3},
          {.kind = Step::finish}},
         {"E E notes.txt - 1500 4500 3000"}},
        {"finishing mid-dwell writes it up to that moment",
         {{.app = "M", .title = "Inbox", .seconds = 2.2, .clockJumpMs = 3}, {.kind = Step::finish}},
         {"M M Inbox - 1500 2203 703"}},
        {"paused polls do nothing and the dwell spans the pause",
         {{.app = "M", .title = "Inbox"},
          {.kind = Step::pause, .seconds = 0},
          {.app = "S", .title = "Docs", .seconds = 4.5},
          {.kind = Step::pause, .seconds = 0},
          {.app = "S", .title = "Docs"}},
         {"M M Inbox - 1500 7500 6000"}},
        {"a clock set back gives a negative duration",
         {{.app = "M", .title = "Inbox", .clockJumpMs = -10'000}, {.app = "S", .title = "Docs"}},
         {"M M Inbox - 1500 -7000 -8500"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RecorderRig rig;
        const std::int64_t start = rig.clock.nowMs();
        rig.pipes.grant(200);
        rig.loop.addRepeatingTimer(1.5, [&rig] { rig.recorder->pollFocus(); });
        for (const Step& step : c.steps) {
            switch (step.kind) {
            case Step::front:
                rig.showApp(step.app, step.bundle ? step.bundle : step.app, step.app[0], step.title,
                            step.url);
                rig.workspace.front->frontWindowTitle = step.windowServerTitle;
                break;
            case Step::noFront:
                rig.workspace.clearFront();
                break;
            case Step::pause:
                rig.recorder->togglePause();
                break;
            case Step::finish:
                rig.recorder->finalizeEpisode("completed");
                continue;
            }
            rig.loop.advance(step.seconds);
            rig.clock.advance(step.clockJumpMs);
        }
        std::vector<std::string> dwells;
        for (const auto& d : rig.events("focus")) {
            EXPECT_EQ(d["episodeId"], rig.recorder->episodeId());
            EXPECT_EQ(d["schema"], "quillmap.focus.v0");
            dwells.push_back(d.value("app", "-") + " " + d.value("bundleId", "-") + " " +
                             d.value("windowTitle", "-") + " " + d.value("url", "-") + " " +
                             std::to_string(d["enterAtMs"].get<std::int64_t>() - start) + " " +
                             std::to_string(d["exitAtMs"].get<std::int64_t>() - start) + " " +
                             d["durationMs"].dump());
        }
        EXPECT_EQ(dwells, c.dwells);
    }
}

TEST(FocusTracking, RefusedPollLeavesTheDwellOpen) {
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
