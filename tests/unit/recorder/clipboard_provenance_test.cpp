// Where a paste's content came from: the app in front when the change was first noticed.
#include "tests/unit/recorder/recorder_rig.h"

#include <gtest/gtest.h>

namespace {

class ClipboardProvenance : public ::testing::Test {
protected:
    ClipboardProvenance() { rig.pipes.grant(200); }

    /// What the event tap does for Command+V: poll the clipboard, close the run, paste.
    nlohmann::json paste() {
        rig.recorder->pollClipboard();
        rig.recorder->flushTyping();
        rig.recorder->emit("paste", std::string("cmd+v"), std::nullopt);
        return rig.events().back();
    }

    RecorderRig rig;
};

TEST(ClipboardStart, CopyBeforeRecordingBeganIsNeverAttributed) {
    RecorderRig early;
    early.pasteboard.copy("copied before");
    auto late = std::make_unique<Recorder>(early.ports());
    early.pipes.grant(10);
    early.showApp("Mail", "com.apple.mail", 1);
    late->pollClipboard();
    late->emit("paste", std::string("cmd+v"), std::nullopt);
    const auto event = early.events().at(0);
    EXPECT_FALSE(event.contains("clipboardFromApp"));
    EXPECT_FALSE(event.contains("clipboardCharCount"));
}

TEST_F(ClipboardProvenance, CopyIsAttributedToTheAppInFrontAtTheNextInputEvent) {
    rig.showApp("Notes", "com.apple.Notes", 1);
    rig.recorder->pollClipboard();       // the Command+C press: clipboard not changed yet
    rig.pasteboard.copy("hello world!"); // 12 characters
    rig.showApp("Mail", "com.apple.mail", 2);
    const auto first = paste();
    EXPECT_EQ(first["clipboardFromApp"], "Mail");
    EXPECT_EQ(first["clipboardCharCount"], 12);
    EXPECT_EQ(first["key"], "cmd+v");

    rig.showApp("Safari", "com.apple.Safari", 3);
    const auto second = paste();
    EXPECT_EQ(second["clipboardFromApp"], "Mail");
    EXPECT_EQ(second["clipboardCharCount"], 12);
}

TEST_F(ClipboardProvenance, TwoCopiesBetweenEventsAreOneChangeWithTheLastText) {
    rig.showApp("Notes", "com.apple.Notes", 1);
    rig.pasteboard.copy("first copy");
    rig.pasteboard.copy("日本語");
    rig.recorder->pollClipboard();
    EXPECT_EQ(rig.pasteboard.textReads, 1);
    rig.recorder->pollClipboard(); // unchanged: the text is not read again
    EXPECT_EQ(rig.pasteboard.textReads, 1);
    const auto event = paste();
    EXPECT_EQ(event["clipboardFromApp"], "Notes");
    EXPECT_EQ(event["clipboardCharCount"], 3);
}

TEST_F(ClipboardProvenance, NonTextContentCountsZeroAndNoFrontmostAppLeavesTheNameOut) {
    rig.showApp("Preview", "com.apple.Preview", 1);
    rig.pasteboard.copyNonText();
    EXPECT_EQ(paste()["clipboardCharCount"], 0);
    EXPECT_EQ(rig.events().back()["clipboardFromApp"], "Preview");

    rig.workspace.clearFront();
    rig.pasteboard.copy("abc");
    const auto event = paste();
    EXPECT_FALSE(event.contains("clipboardFromApp"));
    EXPECT_EQ(event["clipboardCharCount"], 3);
}

TEST_F(ClipboardProvenance, ClipboardIsFollowedWhilePaused) {
    rig.showApp("Notes", "com.apple.Notes", 1);
    rig.recorder->togglePause();
    rig.pasteboard.copy("abcd");
    rig.recorder->pollClipboard();
    rig.recorder->togglePause();
    rig.showApp("Mail", "com.apple.mail", 2);
    const auto event = paste();
    EXPECT_EQ(event["clipboardFromApp"], "Notes");
    EXPECT_EQ(event["clipboardCharCount"], 4);
}

TEST_F(ClipboardProvenance, OnlyPastesCarryTheClipboardFields) {
    rig.showApp("Notes", "com.apple.Notes", 1);
    rig.pasteboard.copy("abcd");
    rig.recorder->pollClipboard();
    rig.recorder->emit("shortcut", std::string("cmd+c"), std::nullopt);
    EXPECT_FALSE(rig.events().back().contains("clipboardCharCount"));
}

} // namespace
