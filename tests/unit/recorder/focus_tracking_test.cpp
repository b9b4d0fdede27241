// Focus dwells: one record per completed stay, identified by app, window title and page.
#include "tests/unit/recorder/recorder_rig.h"

#include <gtest/gtest.h>

namespace {

TEST(FocusTracking, ChangeClosesTheDwellWithPollTimes) {
    RecorderRig rig;
    rig.pipes.grant(200);
    rig.loop.addRepeatingTimer(1.5, [&rig] { rig.recorder->pollFocus(); });
    const std::int64_t start = rig.clock.nowMs();
    rig.showApp("Mail", "com.apple.mail", 1, "Inbox");
    rig.loop.advance(1.5);
    rig.showApp("Safari", "com.apple.Safari", 2, "Docs", "https://example.com/x");
    rig.loop.advance(3.0);
    const nlohmann::json dwell = {
        {"schema", "quillmap.focus.v0"},
        {"episodeId", rig.recorder->episodeId()},
        {"app", "Mail"},
        {"bundleId", "com.apple.mail"},
        {"windowTitle", "Inbox"},
        {"enterAtMs", start + 1500},
        {"exitAtMs", start + 3000},
        {"durationMs", 1500},
    };
    EXPECT_EQ(rig.events("focus"), std::vector<nlohmann::json>{dwell});
}

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

/// "app bundle title url duration" of each dwell written.
std::vector<std::string> dwells(RecorderRig& rig) {
    std::vector<std::string> out;
    for (const auto& d : rig.events("focus")) {
        out.push_back(d.value("app", "-") + " " + d.value("bundleId", "-") + " " +
                      d.value("windowTitle", "-") + " " + d.value("url", "-") + " " +
                      d["durationMs"].dump());
    }
    return out;
}

TEST(FocusTracking, ScenariosGiveTheirDwells) {
    struct Case {
        const char* name;
        std::vector<Step> steps;
        std::vector<std::string> dwells;
    };
    const Case cases[] = {
        {"the first observation writes nothing", {{.app = "A", .title = "W", .seconds = 3}}, {}},
        {"away and back within one interval is not seen",
         {{.app = "A", .title = "W", .seconds = 2},
          {.app = "B", .title = "W", .seconds = 0.5},
          {.app = "A", .title = "W", .seconds = 0.5}},
         {}},
        {"a tab switch changes the page",
         {{.app = "S", .title = "Docs", .url = "https://a.example/"},
          {.app = "S", .title = "Docs", .url = "https://b.example/"}},
         {"S S Docs https://a.example/ 1500"}},
        {"same name, title and page is one dwell keeping the first bundle",
         {{.app = "N", .title = "Same"},
          {.app = "N", .bundle = "second", .title = "Same"},
          {.kind = Step::finish}},
         {"N N Same - 1500"}},
        {"a stay with no frontmost application is not written",
         {{.app = "M", .title = "Inbox"}, {.kind = Step::noFront}, {.app = "M", .title = "Inbox"}},
         {"M M Inbox - 1500"}},
        {"the accessible title, else the window server's, else none",
         {{.app = "A", .title = "Inbox", .windowServerTitle = "Inbox - Mail"},
          {.app = "A", .windowServerTitle = "xlogo"},
          {.app = "A"},
          {.app = "B", .title = "Elsewhere"}},
         {"A A Inbox - 1500", "A A xlogo - 1500", "A A - - 1500"}},
        {"an untitled popup continues its window's dwell",
         {{.app = "E", .title = "notes.txt"},
          {.app = "E", .windowServerTitle = "notes.txt", .seconds = 3},
          {.kind = Step::finish}},
         {"E E notes.txt - 3000"}},
        {"finishing mid-dwell writes it up to that moment",
         {{.app = "M", .title = "Inbox", .seconds = 2.2, .clockJumpMs = 3}, {.kind = Step::finish}},
         {"M M Inbox - 703"}},
        {"paused polls do nothing and the dwell spans the pause",
         {{.app = "M", .title = "Inbox"},
          {.kind = Step::pause, .seconds = 0},
          {.app = "S", .title = "Docs", .seconds = 4.5},
          {.kind = Step::pause, .seconds = 0},
          {.app = "S", .title = "Docs"}},
         {"M M Inbox - 6000"}},
        {"a clock set back gives a negative duration",
         {{.app = "M", .title = "Inbox", .clockJumpMs = -10'000}, {.app = "S", .title = "Docs"}},
         {"M M Inbox - -8500"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecorderRig rig;
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
        EXPECT_EQ(dwells(rig), c.dwells);
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
