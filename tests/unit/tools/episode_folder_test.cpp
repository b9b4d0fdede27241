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

class EpisodeFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("episode-test-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir);
        std::string error;
        folder = EpisodeFolder::create(dir, 1000, error);
        ASSERT_TRUE(folder) << error;
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    std::filesystem::path dir;
    std::unique_ptr<EpisodeFolder> folder;
};

} // namespace

TEST_F(EpisodeFolderTest, CountsFromTheStreamAndShowsResultsBesideTheirOperation) {
    EXPECT_FALSE(folder->accept(screenshot(0, "before"), 1001));
    EXPECT_FALSE(
        folder->accept(action(0, "click", {{"screenshotFull", "frames/0-full.jpg"}}), 1001));
    EXPECT_FALSE(folder->accept(action(1, "type", {{"inputCharCount", 3}}), 1002));
    EXPECT_FALSE(folder->accept(screenshot(2, "after"), 1450));
    EXPECT_FALSE(folder->accept(
        action(2, "result", {{"refSeq", 0}, {"screenshotFull", "frames/2-full.jpg"}}), 1450));
    EXPECT_FALSE(
        folder->accept(Frame{0, "loss", {{"type", "loss"}, {"sessionId", session}}, {}}, 1500));
    EXPECT_FALSE(
        folder->accept(Frame{0, "finish", {{"type", "finish"}, {"sessionId", session}}, {}}, 2000));
    ASSERT_FALSE(folder->close());
    EXPECT_EQ(folder->meta()["actionCount"], 3);
    EXPECT_EQ(folder->meta()["frameCount"], 2);
    EXPECT_EQ(folder->meta()["endedAtMs"], 2000);
    // The result record is shown beside its operation, not as a row of its own.
    const auto rows = folder->timeline();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].beforeImage, "frames/0-full.jpg");
    EXPECT_EQ(rows[0].afterImage, "frames/2-full.jpg");
    EXPECT_EQ(rows[2].kind, TimelineRow::Kind::loss);
}

TEST_F(EpisodeFolderTest, ReportsRecordsThatDisagreeWithTheStream) {
    EXPECT_TRUE(folder->accept(action(0, "click", {{"screenshotFull", "frames/0-full.jpg"}}), 1));
    EXPECT_FALSE(folder->accept(screenshot(1, "before"), 1));
    EXPECT_TRUE(folder->accept(action(1, "click", {{"screenshotFull", "frames/9-full.jpg"}}), 1));
    EXPECT_TRUE(folder->accept(action(2, "result", {{"refSeq", 7}}), 1));
    EXPECT_TRUE(
        folder->accept(Frame{0, "finish", {{"type", "finish"}, {"sessionId", "ep-other"}}, {}}, 1));
    ASSERT_FALSE(folder->close());
    // A finish of another session does not end this episode.
    EXPECT_EQ(folder->meta()["status"], "recording");
    EXPECT_EQ(folder->meta()["actionCount"], 3);
}

TEST_F(EpisodeFolderTest, NothingMayFollowFinish) {
    EXPECT_FALSE(
        folder->accept(Frame{0, "finish", {{"type", "finish"}, {"sessionId", session}}, {}}, 5));
    EXPECT_TRUE(folder->accept(action(0, "click"), 6));
    EXPECT_TRUE(
        folder->accept(Frame{0, "finish", {{"type", "finish"}, {"sessionId", session}}, {}}, 7));
    EXPECT_EQ(folder->meta()["endedAtMs"], 5); // the episode ended at the first one
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
    EXPECT_EQ(html.find("<script"), std::string::npos);
    EXPECT_EQ(html.find("<img src=x"), std::string::npos);
    EXPECT_EQ(html.find("<u>"), std::string::npos);
    EXPECT_EQ(html.find("href=\"javascript"), std::string::npos);
    EXPECT_NE(html.find("&lt;img src=x onerror=alert(1)&gt;"), std::string::npos);
    EXPECT_NE(html.find("&quot;quoted&quot; &amp; &lt;u&gt;"), std::string::npos);
}
