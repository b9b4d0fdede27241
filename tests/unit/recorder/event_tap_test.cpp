// Input events through the tap callback into a recorder on fakes, read back as the parent
// reads them, and the characters of a key press.
#include "recorder/event_tap.h"
#include "tests/unit/recorder/recorder_rig.h"

#include <cstdint>
#include <gtest/gtest.h>

namespace {

constexpr std::uint64_t command = 0x100000;

InputEvent key(std::int64_t keyCode, std::u16string characters, std::uint64_t flags = 0) {
    return {10, flags, keyCode, 0, std::move(characters), std::nullopt, std::nullopt, std::nullopt};
}

InputEvent mouse(std::uint32_t type) {
    return {type, 0, 0, 1, u"", std::nullopt, std::nullopt, std::nullopt};
}

struct Tapped : RecorderRig {
    Tapped() {
        pipes.grant(500);
        pipes.closeInput(); // requests beyond the grants are refused, never left waiting
        workspace.setFront("Editor", "com.example.editor", 100);
    }
    void tap(const InputEvent& event) { eventCallback(*recorder, event); }
    /// Kind of each action record, with its key, characters and clipboard where it has them.
    Types actions() {
        Types out;
        for (const auto& event : events()) {
            std::string line = event["kind"].get<std::string>();
            for (const char* member :
                 {"key", "inputCharCount", "clipboardFromApp", "clipboardCharCount"})
                if (event.contains(member)) line += " " + event[member].dump();
            out.push_back(line);
        }
        return out;
    }
};

TEST(EventTap, OtherEventTypesAndKeyCodesOutsideTheTableTypedCharactersNeverLeave) {
    Tapped rig;
    rig.tap(key(0, u"a"));
    for (const std::uint32_t type : {0u, 2u, 4u, 5u, 11u, 12u, 22u, 0xFFFFFFFEu, 0xFFFFFFFFu})
        rig.tap(mouse(type)); // record nothing, keep the run open
    rig.tap(key(-5, u"", command));
    rig.tap(key(INT64_MAX, u"", command));
    const InputEvent surrogates = key(INT64_MIN, u"\xD800\xD800\xD800\xD800\xD800");
    rig.tap(surrogates);
    rig.tap(mouse(1));
    EXPECT_EQ(rig.actions(),
              (Types{"type 1", R"(shortcut "cmd+key-5")",
                     R"(shortcut "cmd+key9223372036854775807")", "type 4", "click"}));
    EXPECT_EQ(rig.pipes.output().find(charFor(surrogates)), std::string::npos);
}

// A paste names where its content came from and how long it is, never the text itself.
TEST(EventTap, PasteCarriesProvenanceOfCopiesMadeWhileRecordingOnly) {
    Tapped rig;
    rig.pasteboard.copy("Kq7old");
    rig.recorder = std::make_unique<Recorder>(rig.ports()); // recording begins
    rig.tap(key(9, u"v", command));
    rig.pasteboard.copy(std::nullopt); // an image
    rig.tap(key(9, u"v", command));
    rig.pasteboard.copy("Kq5x8w2z");
    rig.tap(key(9, u"v", command));
    EXPECT_EQ(rig.actions(), (Types{R"(paste "cmd+v")", R"(paste "cmd+v" "Editor" 0)",
                                    R"(paste "cmd+v" "Editor" 8)"}));
    for (const char* copied : {"Kq7old", "Kq5x8w2z"})
        EXPECT_EQ(rig.pipes.output().find(copied), std::string::npos);
}

// Keys described late, after the person switched windows, still belong to the window that was
// active as each went down.
TEST(EventTap, KeysBelongToTheWindowActiveAtTheKeyNotTheOneInFrontWhenDescribed) {
    Tapped rig;
    rig.workspace.owners[7] = {"Notes", "org.example.notes", 200};
    const auto keyIn = [](std::optional<std::uint32_t> window, std::uint64_t flags = 0) {
        InputEvent event = key(8, u"c", flags);
        event.windowNumber = window;
        return event;
    };
    for (const auto window : {7u, 7u, 9u, 9u}) // 9: a window gone by now, so the front one
        rig.tap(keyIn(window));
    rig.tap(keyIn(7, command));
    rig.tap(mouse(1));
    std::vector<std::string> apps;
    for (const auto& event : rig.events())
        apps.push_back(event["kind"].get<std::string>() + " " + event["app"].get<std::string>());
    EXPECT_EQ(apps, (std::vector<std::string>{"type Notes", "type Editor", "shortcut Notes",
                                              "click Editor"}));
}

TEST(CharFor, DecodesAtMostFourUnitsReplacingLoneSurrogates) {
    const std::pair<std::u16string, std::string> table[] = {
        {u"あ", "あ"},
        {u"\r", "\r"},
        {u"😀", "😀"},
        {u"", ""},
        {u"abcdef", "abcd"},
        {u"abc😀", "abc\xEF\xBF\xBD"}, // a pair cut in half by the limit
        {std::u16string(1, char16_t{0xDC00}), "\xEF\xBF\xBD"},
    };
    for (const auto& [units, text] : table)
        EXPECT_EQ(charFor(key(0, units)), text) << text;
}

} // namespace
