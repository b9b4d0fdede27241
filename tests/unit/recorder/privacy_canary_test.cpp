// Typed characters and clipboard text never leave the process, and their memory is wiped.
#include "tests/unit/recorder/recorder_rig.h"

#include <functional>
#include <gtest/gtest.h>
#include <random>

namespace {

// Characters of several scripts, so canaries exercise multi-byte text too.
const std::vector<std::string> alphabet = {"a",  "Q", "z", "7", "0", "ß",  "é",  "あ",
                                           "漢", "ж", "€", "😀", "/", "\"", "\\", "½"};

/// A canary's characters, one per key press.
std::vector<std::string> canary(std::mt19937& random) {
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::vector<std::string> characters{"K"};
    for (auto n = std::uniform_int_distribution<std::size_t>(8, 20)(random); n > 0; --n)
        characters.push_back(alphabet[pick(random)]);
    return characters;
}

// Random operations through the public recorder API, with canaries typed and copied, paused
// or not, and echoed by the application wherever it names things.
TEST(PrivacyProperty, NoTypedOrCopiedCanaryEverReachesOutputOrError) {
    for (unsigned seed = 1; seed <= 12; ++seed) {
        std::mt19937 random(seed);
        RecorderRig rig;
        rig.pipes.grant(2000);
        rig.workspace.setFront("Notes", "com.apple.Notes", 1);
        const auto window = rig.ax.addNode("AXWindow");
        rig.ax.set(rig.ax.addApplication(1), "AXFocusedWindow",
                   FakeAccessibility::ElementRef{window});
        const auto page = rig.ax.appendChain(window, 1, "AXWebArea");
        rig.ax.set(page, "AXURL", AXURLValue{"https://example.com/"});
        // The element under the pointer echoes everything typed or pasted into it, as an
        // unnamed field, a text area or editable web content does; the application echoes
        // the latest text into its window title, a sibling's name and the page address.
        const char* fieldRoles[] = {"AXTextField", "AXTextArea", "AXGroup"};
        const auto field = rig.ax.addNode(fieldRoles[seed % 3]);
        if (seed % 3 == 2)
            rig.ax.set(field, "AXEditableAncestor", FakeAccessibility::ElementRef{field});
        const auto echo = rig.ax.addNode("AXComboBox");
        rig.ax.appendChild(page, field);
        rig.ax.appendChild(page, echo);
        rig.ax.elementAtPoint = field;
        std::string fieldText;
        std::vector<std::string> canaries;
        const auto echoEverywhere = [&](const std::string& text) {
            rig.ax.setText(window, "AXTitle", text + " – Notes");
            rig.ax.setText(echo, "AXTitle", text);
            rig.ax.set(page, "AXURL", AXURLValue{"https://example.com/" + text + "?q=" + text});
        };

        int step = 0;
        const auto type = [&] { // one key press per character
            canaries.emplace_back();
            for (const std::string& character : canary(random)) {
                rig.recorder->appendTyping(character, step % 2 ? "com.apple.Notes" : "");
                canaries.back() += character;
                rig.ax.setText(field, "AXValue", fieldText += character);
            }
            echoEverywhere(canaries.back());
        };
        const std::function<void()> operations[] = {
            type,
            type,
            type,
            [&] { // copy
                canaries.emplace_back();
                for (const std::string& character : canary(random))
                    canaries.back() += character;
                rig.pasteboard.copy(canaries.back());
                rig.recorder->pollClipboard();
                echoEverywhere(canaries.back());
            },
            [&] { // paste
                rig.recorder->pollClipboard();
                rig.recorder->flushTyping();
                rig.ax.setText(field, "AXValue", fieldText += rig.pasteboard.text.value_or(""));
                rig.recorder->emit("paste", std::string("cmd+v"), std::nullopt);
            },
            [&] {
                rig.recorder->flushTyping();
                rig.recorder->emit("click", std::nullopt, std::nullopt);
            },
            [&] { rig.recorder->togglePause(); },
            [&] { rig.recorder->pollFocus(); },
            [&] { rig.loop.advance(0.5); },
            [&] { rig.recorder->flushTyping(); },
        };
        for (std::uniform_int_distribution<int> pick(0, 9); step < 60; ++step)
            operations[pick(random)]();
        rig.recorder->finalizeEpisode("completed");

        const std::string written = rig.pipes.output() + rig.pipes.errorText();
        ASSERT_FALSE(canaries.empty());
        EXPECT_EQ(rig.pipes.frames().trailingBytes, 0u);
        // Not even the first eight bytes appear, escaped or not.
        for (const auto& secret : canaries)
            EXPECT_EQ(written.find(secret.substr(0, 8)), std::string::npos) << "seed " << seed;
        EXPECT_FALSE(rig.events().empty());
    }
}

TEST(PrivacyWipe, WipedTextLeavesNoByteInItsBlock) {
    std::string text(100, 'x');
    text.resize(10); // bytes beyond the size still hold characters
    const char* data = text.data();
    const std::size_t capacity = text.capacity();
    wipeString(text);
    EXPECT_TRUE(text.empty());
    EXPECT_EQ(text.data(), data); // same block, still owned: safe to inspect
    EXPECT_EQ(std::string(data, capacity), std::string(capacity, '\0'));
}

TEST(PrivacyWipe, TakenRunKeepsEveryCharacterInAHeapBlockThatMovesWithTheString) {
    TypingBuffer buffer;
    buffer.append("pw");
    std::string taken = buffer.take();
    EXPECT_TRUE(buffer.empty());
    const char* block = taken.data();
    const std::string moved = std::move(taken);
    EXPECT_EQ(moved.data(), block); // not copied out of a small-string buffer
    std::string expected;
    for (int i = 0; i < 500; ++i) {
        buffer.append(i % 3 ? "あ" : "b");
        expected += i % 3 ? "あ" : "b";
    }
    EXPECT_EQ(buffer.size(), expected.size());
    EXPECT_EQ(buffer.take(), expected);
}

} // namespace

// Keys left out while input waited too long are never recorded, yet an application may show
// them: the screen still learns them.
TEST(PrivacyProperty, KeysLeftOutOfTheInputQueueAreScreenedToo) {
    RecorderRig rig;
    rig.pipes.grant(20);
    ASSERT_EQ(rig.run({"--stream"}), 0);
    rig.workspace.setFront("Notes", "com.apple.Notes", 1);
    const auto window = rig.ax.addNode("AXWindow");
    rig.ax.set(rig.ax.addApplication(1), "AXFocusedWindow", FakeAccessibility::ElementRef{window});
    rig.ax.elementAtPoint = rig.ax.appendChain(window, 1, "AXButton");
    rig.loop.inputDropped(9, "Kx7\x7Fq9Wv3Zr\r");
    rig.ax.setText(window, "AXTitle", "Kxq9Wv3Zr – Notes");
    rig.recorder->emit("click", std::nullopt, std::nullopt);
    EXPECT_EQ(rig.events().at(0)["target"]["windowTitle"], "(withheld)");
    EXPECT_EQ(rig.pipes.output().find("q9Wv3"), std::string::npos);
    EXPECT_NE(rig.pipes.errorText().find("入力 9 件が上限を超え"), std::string::npos);
}
