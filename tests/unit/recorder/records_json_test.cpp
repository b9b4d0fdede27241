// The JSON text of the trace records: which keys appear and in which order.
#include "recorder/records.h"

#include <gtest/gtest.h>

namespace {

ActionRecord action(std::optional<AXTarget> target = std::nullopt) {
    ActionRecord record;
    record.episodeId = "ep-1";
    record.seq = 3;
    record.timestampMs = 1'700'000'000'123;
    record.dtMsFromPrev = 40;
    record.kind = "click";
    record.target = std::move(target);
    return record;
}

TEST(RecordsJson, AbsentValuesLeaveTheirKeyOutEmptyTextAndZeroStay) {
    ActionRecord values = action();
    values.app = "";
    values.refSeq = 0;
    values.clipboardCharCount = 0;
    values.screenText = std::vector<std::string>{};
    values.url = "https://a.example/b";
    const AXTarget full{"AXButton",
                        "AXCloseButton",
                        "閉じる",
                        "close",
                        "button",
                        "Closes",
                        {"AXWindow", "AXButton"},
                        std::vector<double>{1.5, 2, 30, 40},
                        "Window",
                        {"a", "b"},
                        true};
    const std::string click = R"({"schema":"quillmap.trace.v0","episodeId":"ep-1","seq":3,)"
                              R"("timestampMs":1700000000123,"dtMsFromPrev":40,"kind":"click")";
    const std::pair<std::optional<std::string>, std::string> cases[] = {
        {encodeRecord(values),
         R"({"schema":"quillmap.trace.v0","episodeId":"ep-1","seq":3,"refSeq":0,)"
         R"("timestampMs":1700000000123,"dtMsFromPrev":40,"kind":"click",)"
         R"("app":"","url":"https:\/\/a.example\/b","clipboardCharCount":0,"screenText":[]})"},
        {encodeRecord(action(AXTarget{})),
         click + ","
                 R"("target":{"path":[],"nearbyText":[],"secure":false}})"},
        {encodeRecord(action(full)),
         click +
             ","
             R"("target":{"role":"AXButton","subrole":"AXCloseButton","label":"閉じる","identifier":"close",)"
             R"("roleDescription":"button","help":"Closes","path":["AXWindow","AXButton"],)"
             R"("frame":[1.5,2,30,40],"windowTitle":"Window","nearbyText":["a","b"],"secure":true}})"},
        {encodeRecord(FocusRecord{"ep-2", {}, {}, {}, {}, 100, 250, 150}),
         R"({"schema":"quillmap.focus.v0","episodeId":"ep-2","enterAtMs":100,"exitAtMs":250,)"
         R"("durationMs":150})"},
        {encodeRecord(EpisodeMeta{"ep-3", "label", 5, 9, "completed", 2, 1}),
         R"({"schema":"quillmap.episode.v0","id":"ep-3","label":"label","startedAtMs":5,)"
         R"("endedAtMs":9,"status":"completed","actionCount":2,"frameCount":1})"},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(text.value_or("unencodable"), expected);
}

} // namespace
