// JSON form of the trace records: which keys appear, value forms, escaping, failure.
#include "recorder/records.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <nlohmann/json.hpp>

namespace {

nlohmann::json parsed(const std::optional<std::string>& text) {
    EXPECT_TRUE(text.has_value());
    return nlohmann::json::parse(text.value_or("null"));
}

std::vector<std::string> keysOf(const nlohmann::json& object) {
    std::vector<std::string> keys;
    for (const auto& item : object.items())
        keys.push_back(item.key());
    std::sort(keys.begin(), keys.end());
    return keys;
}

ActionRecord bareAction() {
    ActionRecord record;
    record.episodeId = "ep-1";
    record.seq = 3;
    record.timestampMs = 1'700'000'000'123;
    record.dtMsFromPrev = 40;
    record.kind = "click";
    return record;
}

TEST(RecordsJson, ActionWithEveryOptionalAbsentHasSixMembers) {
    const auto json = parsed(encodeRecord(bareAction()));
    EXPECT_EQ(keysOf(json), (std::vector<std::string>{"dtMsFromPrev", "episodeId", "kind", "schema",
                                                      "seq", "timestampMs"}));
    EXPECT_EQ(json["schema"], "quillmap.trace.v0");
    EXPECT_EQ(json["timestampMs"], 1'700'000'000'123);
}

TEST(RecordsJson, TargetAlwaysCarriesPathNearbyTextAndSecure) {
    ActionRecord record = bareAction();
    record.target = AXTarget{};
    const auto target = parsed(encodeRecord(record))["target"];
    EXPECT_EQ(keysOf(target), (std::vector<std::string>{"nearbyText", "path", "secure"}));
    EXPECT_EQ(target["path"], nlohmann::json::array());
    EXPECT_EQ(target["nearbyText"], nlohmann::json::array());
    EXPECT_EQ(target["secure"], false);
}

TEST(RecordsJson, FullTargetKeepsItsFieldsAndOrderOfLists) {
    AXTarget target{"AXButton",
                    "AXCloseButton",
                    "閉じる",
                    "close",
                    "button",
                    "Closes",
                    {"AXWindow", "AXGroup", "AXButton"},
                    std::vector<double>{1.5, 2, 30, 40},
                    "Window",
                    {"a", "b"},
                    true};
    ActionRecord record = bareAction();
    record.target = target;
    const auto json = parsed(encodeRecord(record))["target"];
    EXPECT_EQ(json["label"], "閉じる");
    EXPECT_EQ(json["path"], nlohmann::json({"AXWindow", "AXGroup", "AXButton"}));
    EXPECT_EQ(json["frame"], nlohmann::json({1.5, 2.0, 30.0, 40.0}));
    EXPECT_EQ(json["nearbyText"], nlohmann::json({"a", "b"}));
    EXPECT_EQ(json["secure"], true);
    EXPECT_EQ(json.size(), 11u);
}

TEST(RecordsJson, EmptyTextAndZeroAreValuesOnlyAbsenceDropsTheKey) {
    ActionRecord record = bareAction();
    record.app = "";
    record.refSeq = 0;
    record.clipboardCharCount = 0;
    record.screenText = std::vector<std::string>{};
    const auto json = parsed(encodeRecord(record));
    EXPECT_EQ(json["app"], "");
    EXPECT_EQ(json["refSeq"], 0);
    EXPECT_EQ(json["clipboardCharCount"], 0);
    EXPECT_EQ(json["screenText"], nlohmann::json::array());
    EXPECT_FALSE(json.contains("bundleId"));
    EXPECT_FALSE(json.contains("text"));
}

TEST(RecordsJson, NonFiniteRealsMakeTheRecordUnencodable) {
    ActionRecord record = bareAction();
    record.cursor = std::vector<double>{std::nan(""), 3};
    EXPECT_FALSE(encodeRecord(record));
    record.cursor = std::vector<double>{1, 2};
    record.target = AXTarget{};
    record.target->frame = std::vector<double>{0, 0, std::numeric_limits<double>::infinity(), 1};
    EXPECT_FALSE(encodeRecord(record));
}

TEST(RecordsJson, FocusWithoutApplicationOrWindowKeepsItsAlwaysFields) {
    FocusRecord record{"ep-2",       std::nullopt, std::nullopt, std::nullopt,
                       std::nullopt, 100,          250,          150};
    const auto json = parsed(encodeRecord(record));
    EXPECT_EQ(keysOf(json), (std::vector<std::string>{"durationMs", "enterAtMs", "episodeId",
                                                      "exitAtMs", "schema"}));
    EXPECT_EQ(json["schema"], "quillmap.focus.v0");
    EXPECT_EQ(json["durationMs"], 150);
}

TEST(RecordsJson, EpisodeBeforeFinalisationHasNoEndTime) {
    EpisodeMeta meta{"ep-3", std::nullopt, 5, std::nullopt, "recording", 0, 0};
    const auto json = parsed(encodeRecord(meta));
    EXPECT_EQ(keysOf(json), (std::vector<std::string>{"actionCount", "frameCount", "id", "schema",
                                                      "startedAtMs", "status"}));
    EXPECT_EQ(json["schema"], "quillmap.episode.v0");
    meta.endedAtMs = 9;
    meta.status = "completed";
    EXPECT_EQ(parsed(encodeRecord(meta))["endedAtMs"], 9);
}

} // namespace
