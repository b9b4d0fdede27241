#include "tools/stepreel_parent/episode_folder.h"

#include <gtest/gtest.h>
#include <unistd.h>

using namespace stepreel_parent;

namespace {

const std::string session = "ep-0A2E6D1C-5B7F-4E11-8C3D-9F0A1B2C3D4E";

Frame action(std::int64_t seq, const std::string& kind,
             nlohmann::json extra = nlohmann::json::object()) {
    nlohmann::json record{{"schema", "quillmap.trace.v0"}, {"episodeId", session}, {"seq", seq},
                          {"timestampMs", 1000 + seq},     {"dtMsFromPrev", 0},    {"kind", kind}};
    record.update(extra);
    return Frame{0, "events", {{"type", "events"}, {"sessionId", session}, {"event", record}}, {}};
}

Frame screenshot(std::int64_t seq, const std::string& kind, double fx = 0.5, double fy = 0.25) {
    return Frame{0,
                 "frame",
                 {{"type", "frame"},
                  {"sessionId", session},
                  {"seq", seq},
                  {"kind", kind},
                  {"width", 2048},
                  {"height", 1152},
                  {"cursor", {fx, fy}}},
                 {0xFF, 0xD8, 0x00, 0xFF, 0xD9}};
}

Frame bare(const std::string& type, const std::string& sessionId = session) {
    return Frame{0, type, {{"type", type}, {"sessionId", sessionId}}, {}};
}

/// A folder name of this process's own, removed at the end of the test.
struct ScratchDir {
    ~ScratchDir() { std::filesystem::remove_all(path); }
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("episode-test-" + std::to_string(::getpid()));
};

std::unique_ptr<EpisodeFolder> prepared(const std::filesystem::path& dir, bool replay = false) {
    std::string error;
    auto folder =
        EpisodeFolder::prepare({dir, 500, "1.2.3", {{"utcOffsetMinutes", 60}}, replay}, error);
    EXPECT_TRUE(folder) << error;
    return folder;
}

} // namespace

TEST(EpisodeFolder, ReportsFramesThatDisagreeWithTheStreamAndDescribesTheEpisode) {
    const ScratchDir dir;
    const auto folder = prepared(dir.path);
    // Each frame, when it arrived, and whether the folder finds it at fault.
    const std::tuple<Frame, std::int64_t, bool> frames[] = {
        {action(0, "click", {{"screenshotFull", "frames/0-full.jpg"}}), 1001, true},
        // The record's pointer in points over the frame's fractions: a 2560 x 1440 screen.
        {screenshot(1, "before", 0.5, 0.25), 1001, false},
        {action(1, "click", {{"screenshotFull", "frames/1-full.jpg"}, {"cursor", {1280, 360}}}),
         1001, false},
        {screenshot(2, "before"), 1002, false},
        {action(2, "click", {{"screenshotFull", "frames/9-full.jpg"}}), 1002, true},
        {bare("loss"), 1003, false},
        {action(3, "result", {{"refSeq", 2}}), 1450, false},
        {bare("finish", "ep-other"), 1500, true},
        {bare("finish"), 2000, false},
        {action(4, "click"), 2001, true},
        {bare("finish"), 2002, true},
    };
    for (const auto& [frame, at, fault] : frames)
        EXPECT_EQ(folder->accept(frame, at).has_value(), fault) << frame.header.dump();
    folder->notePause(1100);
    folder->noteResume(1200);
    folder->notePause(1300); // paused to the end
    EXPECT_EQ(folder->meta()["status"], "recording");
    ASSERT_FALSE(folder->close("display lost"));
    const auto meta = nlohmann::json::parse(std::ifstream(dir.path / "episode.json"));
    EXPECT_EQ(meta["endedAtMs"], 2000); // the episode ended at the first finish
    EXPECT_EQ(meta["startedAtMs"], 500);
    EXPECT_EQ((std::pair{meta["status"], meta["endReason"]}),
              (std::pair<nlohmann::json, nlohmann::json>{"completed", "display lost"}));
    EXPECT_EQ(meta["screen"], (nlohmann::json{{"width", 2560}, {"height", 1440}}));
    EXPECT_EQ(meta["screenshot"]["scale"], 0.8);
    EXPECT_EQ(meta["lostScreenshots"], nlohmann::json::array({3}));
    EXPECT_EQ(meta["pauses"],
              nlohmann::json::parse(R"([{"startMs":1100,"endMs":1200},{"startMs":1300}])"));
    EXPECT_EQ(meta["recorderVersion"], "1.2.3");
    EXPECT_EQ(meta["actionCount"], 5);
}

TEST(EpisodeFolder, CreatesNothingBeforeTheFirstFrameAndAReplayKeepsTheRecordedTimes) {
    const ScratchDir dir;
    {
        const auto folder = prepared(dir.path);
        EXPECT_FALSE(folder->accept(Frame{0, "permit", {{"type", "permit"}}, {}}, 600));
        EXPECT_FALSE(folder->close("stream cut"));
        EXPECT_FALSE(std::filesystem::exists(dir.path));
    }
    const auto replay = prepared(dir.path, true);
    for (const auto& frame : {action(0, "navigate"), action(7, "click")})
        EXPECT_FALSE(replay->accept(frame, 99999));
    ASSERT_FALSE(replay->close("stream cut"));
    const auto meta = replay->meta();
    EXPECT_EQ((std::tuple{meta["startedAtMs"], meta["endedAtMs"], meta["status"]}),
              (std::tuple<nlohmann::ordered_json, nlohmann::ordered_json, nlohmann::ordered_json>{
                  1000, 1007, "incomplete"}));
    std::string error;
    EXPECT_FALSE(EpisodeFolder::prepare({dir.path, 0, {}, {}, false}, error));
    EXPECT_NE(error.find("not empty"), std::string::npos);
}
