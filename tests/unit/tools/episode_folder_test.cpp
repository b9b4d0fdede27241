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

Frame screenshot(std::int64_t seq, const std::string& kind) {
    return Frame{0,
                 "frame",
                 {{"type", "frame"}, {"sessionId", session}, {"seq", seq}, {"kind", kind}},
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

} // namespace

TEST(EpisodeFolder, ReportsFramesThatDisagreeWithTheStreamAndAnyAfterFinish) {
    const ScratchDir dir;
    std::string error;
    const auto folder = EpisodeFolder::create(dir.path, 1000, error);
    ASSERT_TRUE(folder) << error;
    // Each frame, when it arrived, and whether the folder finds it at fault.
    const std::tuple<Frame, std::int64_t, bool> frames[] = {
        {action(0, "click", {{"screenshotFull", "frames/0-full.jpg"}}), 1001, true},
        {screenshot(1, "before"), 1001, false},
        {action(1, "click", {{"screenshotFull", "frames/1-full.jpg"}}), 1001, false},
        {screenshot(2, "before"), 1002, false},
        {action(2, "click", {{"screenshotFull", "frames/9-full.jpg"}}), 1002, true},
        {screenshot(3, "after"), 1450, false},
        {action(3, "result", {{"refSeq", 1}, {"screenshotFull", "frames/3-full.jpg"}}), 1450,
         false},
        {action(4, "result", {{"refSeq", 7}}), 1450, true},
        {bare("finish", "ep-other"), 1500, true},
        {bare("loss"), 1500, false},
        {bare("finish"), 2000, false},
        {action(5, "click"), 2001, true},
        {bare("finish"), 2002, true},
    };
    for (const auto& [frame, at, fault] : frames)
        EXPECT_EQ(folder->accept(frame, at).has_value(), fault) << frame.header.dump();
    ASSERT_FALSE(folder->close());
    EXPECT_EQ(folder->meta()["endedAtMs"], 2000); // the episode ended at the first finish
    const auto rows = folder->timeline();
    ASSERT_GE(rows.size(), 2u);
    EXPECT_EQ(rows[1].beforeImage, "frames/1-full.jpg");
    EXPECT_EQ(rows[1].afterImage, "frames/3-full.jpg"); // a result beside its operation
}

TEST(TimelineHtml, EscapesEveryRecordedText) {
    TimelineRow row;
    row.record = {{"seq", 0},
                  {"kind", "click<script>"},
                  {"app", "<img src=x onerror=alert(1)>"},
                  {"url", "javascript:alert('x')"},
                  {"target", {{"role", "AXButton"}, {"label", "\"quoted\" & <u>"}}}};
    const std::string html = renderTimeline({{"id", "<id>"}, {"startedAtMs", 0}}, {row});
    for (const char* absent : {"<script", "<img src=x", "<u>", "href=\"javascript"})
        EXPECT_EQ(html.find(absent), std::string::npos) << absent;
    for (const char* present : {"&lt;img src=x onerror=alert(1)&gt;",
                                "&quot;quoted&quot; &amp; &lt;u&gt;", "alert(&#39;x&#39;)"})
        EXPECT_NE(html.find(present), std::string::npos) << present;
}
