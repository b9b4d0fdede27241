// Input events through the tap callback into a recorder on fakes, read back as the parent
// reads them.
#include "recorder/event_tap.h"
#include "tests/unit/recorder/recorder_rig.h"

#include <gtest/gtest.h>
#include <limits>

namespace {

constexpr std::uint64_t command = 0x100000;
constexpr std::uint64_t shift = 0x20000;
constexpr std::uint64_t control = 0x40000;
constexpr std::uint64_t option = 0x80000;

InputEvent keyDown(std::int64_t keyCode, std::u16string characters, std::uint64_t flags = 0) {
    InputEvent event;
    event.type = 10;
    event.keyCode = keyCode;
    event.flags = flags;
    event.characters = std::move(characters);
    return event;
}

InputEvent mouseDown(std::uint32_t type, std::int64_t clickState = 1) {
    InputEvent event;
    event.type = type;
    event.clickState = clickState;
    return event;
}

class EventTapTest : public ::testing::Test {
protected:
    EventTapTest() {
        rig.pipes.grant(500);
        rig.pipes.closeInput(); // requests beyond the grants are refused, never left waiting
        rig.showApp("Editor", "com.example.editor", 100, "Draft");
    }

    void fire(const InputEvent& event) { eventCallback(*rig.recorder, rig.workspace, event); }
    void type(std::u16string characters) { fire(keyDown(0, std::move(characters))); }

    /// Kind of each action record, with its key or character count where it has one.
    std::vector<std::string> actions() {
        std::vector<std::string> out;
        for (const auto& event : rig.events()) {
            std::string line = event["kind"].get<std::string>();
            if (event.contains("key")) line += " " + event["key"].get<std::string>();
            if (event.contains("inputCharCount"))
                line += " " + std::to_string(event["inputCharCount"].get<int>());
            out.push_back(line);
        }
        return out;
    }

    RecorderRig rig;
};

using Actions = std::vector<std::string>;

TEST_F(EventTapTest, CommandKeysAreShortcutsNamedByPosition) {
    fire(keyDown(8, u"c", command));
    fire(keyDown(36, u"\r", command));
    fire(keyDown(1, u"S", command | shift));
    fire(keyDown(6, u"z", command | control | option));
    fire(keyDown(2, u"d", command)); // not in the table
    EXPECT_EQ(actions(), (Actions{"shortcut cmd+c", "shortcut cmd+key36", "shortcut cmd+s",
                                  "shortcut cmd+z", "shortcut cmd+key2"}));
}

TEST_F(EventTapTest, CommandVIsAPasteWhateverElseIsHeld) {
    fire(keyDown(9, u"v", command));
    fire(keyDown(9, u"√", command | option));
    EXPECT_EQ(actions(), (Actions{"paste cmd+v", "paste cmd+v"}));
}

TEST_F(EventTapTest, PasteKnowsACopyMadeSinceThePreviousEvent) {
    rig.pasteboard.copy("hello");
    rig.showApp("Mail", "com.example.mail", 200, "Compose");
    fire(keyDown(9, u"v", command));
    const auto events = rig.events();
    ASSERT_EQ(events.size(), 1u); // its result frame comes later
    EXPECT_EQ(events[0]["kind"], "paste");
    EXPECT_EQ(events[0]["clipboardFromApp"], "Mail");
    EXPECT_EQ(events[0]["clipboardCharCount"], 5);
}

TEST_F(EventTapTest, ClickCountsGiveClickThenDoubleClicks) {
    fire(mouseDown(1, 1));
    fire(mouseDown(1, 2));
    fire(mouseDown(1, 3));
    fire(mouseDown(1, 0)); // a click state the platform did not fill
    EXPECT_EQ(actions(), (Actions{"click", "doubleclick", "doubleclick", "click"}));
}

TEST_F(EventTapTest, RightClickAfterTypingWritesTheRunFirst) {
    type(u"h");
    type(u"i");
    fire(mouseDown(3));
    EXPECT_EQ(actions(), (Actions{"type 2", "rightclick"}));
}

TEST_F(EventTapTest, TypingThenCommandSWritesTheRunThenTheShortcut) {
    type(u"h");
    type(u"i");
    fire(keyDown(1, u"s", command));
    EXPECT_EQ(actions(), (Actions{"type 2", "shortcut cmd+s"}));
}

TEST_F(EventTapTest, TypingIntoTwoApplicationsGivesTwoRuns) {
    type(u"a");
    rig.showApp("Mail", "com.example.mail", 200);
    type(u"b");
    EXPECT_EQ(actions(), (Actions{"type 1"})); // written when b arrives for the other app
    fire(mouseDown(1));
    EXPECT_EQ(actions(), (Actions{"type 1", "type 1", "click"}));
}

TEST_F(EventTapTest, KeyWithoutCharactersClosesAnotherApplicationsRun) {
    type(u"abc");
    rig.showApp("Mail", "com.example.mail", 200);
    type(u"");
    fire(mouseDown(1));
    EXPECT_EQ(actions(), (Actions{"type 3", "click"}));
}

TEST_F(EventTapTest, NoFrontmostApplicationTypesApart) {
    rig.workspace.clearFront();
    type(u"x");
    rig.showApp("Editor", "com.example.editor", 100);
    type(u"y");
    fire(mouseDown(1));
    EXPECT_EQ(actions(), (Actions{"type 1", "type 1", "click"}));
}

TEST_F(EventTapTest, ModifiedKeysWithoutCommandAreTyped) {
    type(u"1");
    fire(keyDown(35, u"\x10", control | option)); // the pause hotkey's own key press
    fire(keyDown(1, u"S", shift));
    fire(mouseDown(1));
    EXPECT_EQ(actions(), (Actions{"type 3", "click"}));
    EXPECT_EQ(rig.events()[0]["inputKind"], "mixed");
}

TEST_F(EventTapTest, TypedCharactersNeverLeaveTheProcess) {
    for (const char16_t unit : std::u16string(u"hunter2secret"))
        type(std::u16string(1, unit));
    fire(mouseDown(1));
    const std::string output = rig.pipes.output();
    EXPECT_EQ(output.find("hunter2"), std::string::npos);
    EXPECT_EQ(output.find("secret"), std::string::npos);
    EXPECT_EQ(actions(), (Actions{"type 13", "click"}));
}

TEST_F(EventTapTest, OtherEventTypesRecordNothingAndKeepTheRunOpen) {
    type(u"a");
    for (const std::uint32_t other : {0u, 2u, 4u, 5u, 11u, 12u, 22u, 0xFFFFFFFEu, 0xFFFFFFFFu})
        fire(mouseDown(other));
    EXPECT_TRUE(actions().empty());
    fire(mouseDown(1));
    EXPECT_EQ(actions(), (Actions{"type 1", "click"}));
}

TEST_F(EventTapTest, EveryEventPollsTheClipboard) {
    // A copy noticed at an unrelated event is attributed to the app in front at that moment.
    rig.pasteboard.copy("12345678");
    fire(mouseDown(22));
    rig.showApp("Mail", "com.example.mail", 200);
    fire(keyDown(9, u"v", command));
    const auto events = rig.events();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events[0]["clipboardFromApp"], "Editor");
    EXPECT_EQ(events[0]["clipboardCharCount"], 8);
}

TEST_F(EventTapTest, KeyCodesOutsideTheTableNeverFail) {
    fire(keyDown(-5, u"", command));
    fire(keyDown(std::numeric_limits<std::int64_t>::max(), u"", command));
    fire(keyDown(std::numeric_limits<std::int64_t>::min(), u"\xD800\xD800\xD800\xD800\xD800"));
    fire(mouseDown(1));
    EXPECT_EQ(actions(), (Actions{"shortcut cmd+key-5", "shortcut cmd+key9223372036854775807",
                                  "type 4", "click"}));
}

TEST_F(EventTapTest, WhilePausedKeysStillEnterTheRun) {
    rig.recorder->togglePause();
    type(u"a");
    fire(mouseDown(1)); // flushed and dropped while paused
    type(u"b");
    rig.recorder->togglePause();
    type(u"c");
    fire(mouseDown(1));
    EXPECT_EQ(actions(), (Actions{"type 2", "click"}));
}

} // namespace
