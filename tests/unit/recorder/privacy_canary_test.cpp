// Typed characters and clipboard text never leave the process, and their memory is wiped.
#include "tests/unit/recorder/recorder_rig.h"

#include <gtest/gtest.h>
#include <random>

namespace {

// Characters of several scripts, so canaries exercise multi-byte text too.
const std::vector<std::string> alphabet = {"a",  "Q", "z", "7", "0", "ß",  "é",  "あ",
                                           "漢", "ж", "€", "😀", "/", "\"", "\\", "½"};

std::string canary(std::mt19937& random) {
    std::uniform_int_distribution<std::size_t> length(8, 20);
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::string text = "K";
    const std::size_t n = length(random);
    for (std::size_t i = 0; i < n; ++i)
        text += alphabet[pick(random)];
    return text;
}

// Random operations through the public recorder API, with canaries typed and copied.
TEST(PrivacyProperty, NoTypedOrCopiedCanaryEverReachesOutputOrError) {
    for (unsigned seed = 1; seed <= 12; ++seed) {
        std::mt19937 random(seed);
        RecorderRig rig;
        rig.pipes.grant(2000);
        rig.showApp("Notes", "com.apple.Notes", 1, "Doc", "https://example.com/");
        // The element under the pointer echoes everything typed or pasted into it, as an
        // unnamed field, a text area or editable web content does.
        const char* fieldRoles[] = {"AXTextField", "AXTextArea", "AXGroup"};
        const auto field = rig.ax.addNode(fieldRoles[seed % 3]);
        if (seed % 3 == 2)
            rig.ax.set(field, "AXEditableAncestor", FakeAccessibility::ElementRef{field});
        rig.ax.setElementAtPoint(field);
        std::string fieldText;
        std::vector<std::string> canaries;
        std::uniform_int_distribution<int> operation(0, 9);

        for (int step = 0; step < 60; ++step) {
            switch (operation(random)) {
            case 0:
            case 1:
            case 2: {
                canaries.push_back(canary(random));
                // Typed one character at a time, as key presses arrive.
                const std::string& text = canaries.back();
                for (std::size_t i = 0; i < text.size();) {
                    std::size_t length = 1;
                    while (i + length < text.size() &&
                           (static_cast<unsigned char>(text[i + length]) & 0xC0) == 0x80)
                        ++length;
                    rig.recorder->appendTyping(text.substr(i, length),
                                               std::string(step % 2 ? "com.apple.Notes" : ""));
                    fieldText += text.substr(i, length);
                    rig.ax.setText(field, "AXValue", fieldText);
                    i += length;
                }
                break;
            }
            case 3:
                canaries.push_back(canary(random));
                rig.pasteboard.copy(canaries.back());
                rig.recorder->pollClipboard();
                break;
            case 4:
                rig.recorder->pollClipboard();
                rig.recorder->flushTyping();
                fieldText += rig.pasteboard.text.value_or("");
                rig.ax.setText(field, "AXValue", fieldText);
                rig.recorder->emit("paste", std::string("cmd+v"), std::nullopt);
                break;
            case 5:
                rig.recorder->flushTyping();
                rig.recorder->emit("click", std::nullopt, std::nullopt);
                break;
            case 6:
                rig.recorder->togglePause();
                break;
            case 7:
                rig.recorder->pollFocus();
                break;
            case 8:
                rig.loop.advance(0.5);
                break;
            default:
                rig.recorder->flushTyping();
                break;
            }
        }
        rig.recorder->finalizeEpisode("completed");

        const std::string output = rig.pipes.output();
        const std::string errors = rig.pipes.errorText();
        ASSERT_FALSE(canaries.empty());
        EXPECT_EQ(rig.pipes.frames().trailingBytes, 0u);
        for (const auto& secret : canaries) {
            // Not even the first eight bytes appear, escaped or not.
            EXPECT_EQ(output.find(secret.substr(0, 8)), std::string::npos) << "seed " << seed;
            EXPECT_EQ(errors.find(secret.substr(0, 8)), std::string::npos) << "seed " << seed;
        }
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
