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

class EpisodeFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::remove_all(dir);
        std::string error;
        folder = EpisodeFolder::create(dir, 1000, error);
        ASSERT_TRUE(folder) << error;
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    /// Whether the folder reported each frame as disagreeing with the stream.
    std::vector<bool> accepted(const std::vector<std::pair<Frame, std::int64_t>>& frames) {
        std::vector<bool> faults;
        for (const auto& [frame, at] : frames)
            faults.push_back(folder->accept(frame, at).has_value());
        return faults;
    }

    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() /
        ("episode-test-" + std::to_string(::getpid()) + "-" +
         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::unique_ptr<EpisodeFolder> folder;
};

} // namespace

TEST_F(EpisodeFolderTest, ReportsFramesThatDisagreeWithTheStreamAndAnyAfterFinish) {
    EXPECT_EQ(
        accepted(
            {{action(0, "click", {{"screenshotFull", "frames/0-full.jpg"}}), 1001},
             {screenshot(1, "before"), 1001},
             {action(1, "click", {{"screenshotFull", "frames/1-full.jpg"}}), 1001},
             {screenshot(2, "before"), 1002},
             {action(2, "click", {{"screenshotFull", "frames/9-full.jpg"}}), 1002},
             {screenshot(3, "after"), 1450},
             {action(3, "result", {{"refSeq", 1}, {"screenshotFull", "frames/3-full.jpg"}}), 1450},
             {action(4, "result", {{"refSeq", 7}}), 1450},
             {bare("finish", "ep-other"), 1500},
             {bare("loss"), 1500},
             {bare("finish"), 2000},
             {action(5, "click"), 2001},
             {bare("finish"), 2002}}),
        (std::vector<bool>{true, false, false, false, true, false, false, true, true, false, false,
                           true, true}));
    ASSERT_FALSE(folder->close());
    EXPECT_EQ(folder->meta()["endedAtMs"], 2000); // the episode ended at the first finish
    const auto rows = folder->timeline();
    ASSERT_GE(rows.size(), 2u);
    EXPECT_EQ(rows[1].beforeImage, "frames/1-full.jpg");
    EXPECT_EQ(rows[1].afterImage, "frames/3-full.jpg"); // a result beside its operation
}

TEST(TimelineHtml, EscapesEveryRecordedText) {
    EXPECT_EQ(escapeHtml(R"(<a href="x">&'</a>)"),
              "&lt;a href=&quot;x&quot;&gt;&amp;&#39;&lt;/a&gt;");
    TimelineRow row;
    row.record = {{"seq", 0},
                  {"kind", "click<script>"},
                  {"app", "<img src=x onerror=alert(1)>"},
                  {"url", "javascript:alert('x')"},
                  {"target", {{"role", "AXButton"}, {"label", "\"quoted\" & <u>"}}}};
    const std::string html = renderTimeline({{"id", "<id>"}, {"startedAtMs", 0}}, {row});
    for (const char* absent : {"<script", "<img src=x", "<u>", "href=\"javascript"})
        EXPECT_EQ(html.find(absent), std::string::npos) << absent;
    EXPECT_NE(html.find("&lt;img src=x onerror=alert(1)&gt;"), std::string::npos);
    EXPECT_NE(html.find("&quot;quoted&quot; &amp; &lt;u&gt;"), std::string::npos);
}
