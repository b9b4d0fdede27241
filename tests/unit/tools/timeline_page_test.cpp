#include "tools/stepreel_parent/command_line.h"
#include "tools/stepreel_parent/recorder_messages.h"
#include "tools/stepreel_parent/recorder_version.h"
#include "tools/stepreel_parent/timeline_assets.h"
#include "tools/stepreel_parent/timeline_page.h"

#include <gtest/gtest.h>

using namespace stepreel_parent;

TEST(TimelinePage, RecordTextCannotLeaveTheDataElementAndAddressesLoseTheirQuery) {
    EpisodeContent content;
    content.meta = {{"id", "ep-1"}};
    const nlohmann::json record = {{"seq", 0},
                                   {"app", "</script><script>alert(1)</script>"},
                                   {"url", "https://mail.example.com/inbox?q=secret#msg-7"},
                                   {"target",
                                    {{"label", "<!-- \u2028 & \u2029 -->"},
                                     {"nearbyText", {"see https://x.example/?t=tok"}}}}};
    content.events.push_back({record, record.dump()});
    const std::string html = renderTimeline(content, "my-morning");
    const std::string open = "id=\"episode-data\">";
    const auto data = html.find(open) + open.size();
    ASSERT_GT(data, open.size());
    const std::string json = html.substr(data, html.find("</script>", data) - data);
    for (const char* absent : {"<", ">", "&", "\u2028", "\u2029", "secret", "msg-7", "tok"})
        EXPECT_EQ(json.find(absent), std::string::npos) << absent;
    const auto parsed = nlohmann::json::parse(json);
    EXPECT_EQ(parsed["events"][0]["app"], record["app"]);
    EXPECT_EQ(parsed["events"][0]["url"], "https://mail.example.com/inbox?q=");
    EXPECT_EQ(parsed["events"][0]["target"]["nearbyText"][0], "see https://x.example/?t=");
    EXPECT_EQ(parsed["folder"], "my-morning");
    // The page's own sources may not end their elements early either.
    for (const std::string_view source : {timelineCss, timelineJs}) {
        EXPECT_EQ(source.find("</"), std::string_view::npos);
        EXPECT_EQ(source.find("<!--"), std::string_view::npos);
    }
}

TEST(CommandLine, CommandsOptionsAndUsageErrors) {
    using Args = std::vector<std::string>;
    const std::pair<Args, std::size_t> cases[] = {
        // arguments, Command alternative
        {{"--out", "d", "--deny-permit", "2", "--", "--once"}, 0},
        {{"render", "d"}, 1},
        {{"redact", "d", "--seq", "4,17", "--frames-only"}, 2},
        {{"--out", "d", "--help"}, 3},
        {{"-h"}, 3},
        {{"--version"}, 4},
        {{}, 5},
        {{"--out"}, 5},
        {{"--out", "d", "--frobnicate"}, 5},
        {{"--out", "d", "--deny-permit", "0"}, 5},
        {{"render"}, 5},
        {{"redact", "d"}, 5},
        {{"redact", "d", "--seq", "4,x"}, 5},
        {{"redact", "--seq", "4"}, 5},
    };
    for (const auto& [args, index] : cases) {
        const Command command = parseCommandLine(args);
        EXPECT_EQ(command.index(), index) << ::testing::PrintToString(args);
    }
    const auto redact = std::get<RedactOptions>(parseCommandLine(cases[2].first));
    EXPECT_EQ(redact.seqs, (std::set<std::int64_t>{4, 17}));
    const auto record = std::get<RecordOptions>(parseCommandLine(cases[0].first));
    EXPECT_EQ(record.recorderArgs, std::vector<std::string>{"--once"});
}

TEST(RecorderOutput, MessagesOnStandardErrorAndTheVersionLine) {
    RecorderMessages messages;
    const std::string text =
        "✓ banner\n⏸ 一時停止\n▶︎ 再開\n⏸ 一時停止 and more\n\n■ end\n"
        "✗ ディスプレイとの接続が切れたため、記録を終了しました。\n";
    std::vector<RecorderMessage> seen;
    for (char c : text) // byte by byte: lines may arrive in any pieces
        for (auto message : messages.feed(&c, 1))
            seen.push_back(message);
    EXPECT_EQ(seen, (std::vector{RecorderMessage::paused, RecorderMessage::resumed,
                                 RecorderMessage::displayLost}));
    const std::pair<std::string, std::optional<std::string>> versions[] = {
        {"stepreel 0.9.0\n", "0.9.0"},
        {"stepreel 1.2.3-rc1 \nmore\n", "1.2.3-rc1"},
        {"0.9\n", "0.9"},
        {"", std::nullopt},
        {"stepreel unknown\n", std::nullopt},
        {std::string("\0\0\0\x11{\"type\"", 12), std::nullopt},
    };
    for (const auto& [output, version] : versions)
        EXPECT_EQ(versionFromOutput(output), version) << output;
}
