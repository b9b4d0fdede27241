// Where a paste's content came from: the app in front when the change was first noticed.
#include "tests/unit/recorder/recorder_rig.h"

#include <gtest/gtest.h>

namespace {

/// What the event tap does for Command+V: poll the clipboard, close the run, paste.
nlohmann::json paste(RecorderRig& rig, Recorder& recorder) {
    recorder.pollClipboard();
    recorder.flushTyping();
    recorder.emit("paste", std::string("cmd+v"), std::nullopt);
    return rig.events().back();
}

TEST(ClipboardProvenance, CopyBeforeRecordingBeganIsNeverAttributed) {
    RecorderRig rig;
    rig.pasteboard.copy("copied before");
    Recorder late(rig.ports());
    rig.pipes.grant(10);
    rig.showApp("Mail", "com.apple.mail", 1);
    const auto event = paste(rig, late);
    EXPECT_FALSE(event.contains("clipboardFromApp"));
    EXPECT_FALSE(event.contains("clipboardCharCount"));
}

TEST(ClipboardProvenance, ChangesAreCountedOnceWhilePausedTooAndOnlyPastesCarryThem) {
    RecorderRig rig;
    rig.pipes.grant(200);
    rig.showApp("Notes", "com.apple.Notes", 1);
    rig.recorder->togglePause();
    rig.pasteboard.copy("first copy");
    rig.pasteboard.copy("日本語");
    rig.recorder->pollClipboard();
    rig.recorder->pollClipboard(); // unchanged: the text is not read again
    EXPECT_EQ(rig.pasteboard.textReads, 1);
    rig.recorder->togglePause();
    rig.showApp("Mail", "com.apple.mail", 2);
    rig.recorder->emit("shortcut", std::string("cmd+c"), std::nullopt);
    EXPECT_FALSE(rig.events().back().contains("clipboardCharCount"));
    const auto event = paste(rig, *rig.recorder);
    EXPECT_EQ(event["clipboardFromApp"], "Notes");
    EXPECT_EQ(event["clipboardCharCount"], 3);
}

TEST(ClipboardProvenance, NonTextContentCountsZeroAndNoFrontmostAppLeavesTheNameOut) {
    RecorderRig rig;
    rig.pipes.grant(200);
    rig.showApp("Preview", "com.apple.Preview", 1);
    rig.pasteboard.copyNonText();
    const auto image = paste(rig, *rig.recorder);
    EXPECT_EQ(image["clipboardCharCount"], 0);
    EXPECT_EQ(image["clipboardFromApp"], "Preview");

    rig.workspace.clearFront();
    rig.pasteboard.copy("abc");
    const auto text = paste(rig, *rig.recorder);
    EXPECT_FALSE(text.contains("clipboardFromApp"));
    EXPECT_EQ(text["clipboardCharCount"], 3);
}

} // namespace
