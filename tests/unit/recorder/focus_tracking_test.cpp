// Focus dwells: one record per completed stay, identified by app, window title and page.
#include "tests/unit/recorder/recorder_rig.h"

#include <gtest/gtest.h>

namespace {

/// What is in front for a while, or the end of the recording.
struct Step {
    const char* app = "";
    std::optional<std::string> title{};
    std::optional<std::string> windowServerTitle{};
    double seconds = 1.5;
    bool finish = false;
};

// Windows without an accessible title are told apart by the window server's title; an
// untitled popup stands for the window it belongs to.
TEST(FocusTracking, DwellsOfWindowsWithoutAnAccessibleTitle) {
    const struct {
        const char* name;
        std::vector<Step> steps;
        std::vector<std::string> dwells; ///< app title enter exit duration
    } cases[] = {
        {"the accessible title, else the window server's, else none",
         {{.app = "A", .title = "Inbox", .windowServerTitle = "Inbox - Mail"},
          {.app = "A", .windowServerTitle = "xlogo"},
          {.app = "A"},
          {.app = "B", .title = "Elsewhere"}},
         {"A Inbox 1500 3000 1500", "A xlogo 3000 4500 1500", "A - 4500 6000 1500"}},
        {"an untitled popup continues its window's dwell",
         {{.app = "E", .title = "notes.txt"},
          {.app = "E", .windowServerTitle = "notes.txt", .seconds = 3},
          {.finish = true}},
         {"E notes.txt 1500 4500 3000"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RecorderRig rig;
        const std::int64_t start = rig.clock.nowMs();
        rig.pipes.grant(200);
        rig.loop.addRepeatingTimer(1.5, [&rig] { rig.recorder->pollFocus(); });
        for (const Step& step : c.steps) {
            if (step.finish) {
                rig.recorder->finalizeEpisode("completed");
                continue;
            }
            rig.showApp(step.app, step.app, step.app[0], step.title);
            rig.workspace.front->frontWindowTitle = step.windowServerTitle;
            rig.loop.advance(step.seconds);
        }
        std::vector<std::string> dwells;
        for (const auto& d : rig.events("focus")) {
            EXPECT_EQ(d["episodeId"], rig.recorder->episodeId());
            dwells.push_back(d.value("app", "-") + " " + d.value("windowTitle", "-") + " " +
                             std::to_string(d["enterAtMs"].get<std::int64_t>() - start) + " " +
                             std::to_string(d["exitAtMs"].get<std::int64_t>() - start) + " " +
                             d["durationMs"].dump());
        }
        EXPECT_EQ(dwells, c.dwells);
    }
}

} // namespace
