#include "recorder/event_tap.h"

#include "common/unicode_text.h"
#include "recorder/recorder.h"

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

namespace {

constexpr std::uint32_t leftMouseDown = 1;
constexpr std::uint32_t rightMouseDown = 3;
constexpr std::uint32_t keyDown = 10;
constexpr std::uint64_t commandFlag = 0x100000;
constexpr std::size_t maxCharacterUnits = 4;

struct KeyNameEntry {
    std::int64_t code;
    const char* name;
};

// ANSI virtual key codes: physical positions, whatever the active layout.
constexpr std::array<KeyNameEntry, 13> keyNames{{
    {0, "a"},
    {1, "s"},
    {3, "f"},
    {6, "z"},
    {7, "x"},
    {8, "c"},
    {9, "v"},
    {12, "q"},
    {13, "w"},
    {15, "r"},
    {17, "t"},
    {35, "p"},
    {45, "n"},
}};

/// Bundle id of the application the key went to; empty when there is none or it has none.
std::string typingSignature(Recorder& recorder, const InputEvent& key) {
    const std::optional<RunningApplication> app = recorder.keyboardApplication(key.windowNumber);
    if (!app || !app->bundleIdentifier) return {};
    return *app->bundleIdentifier;
}

EventMoment momentOf(const InputEvent& event) {
    return {event.location, event.timestampMs, event.windowNumber};
}

void handleKeyDown(Recorder& recorder, const InputEvent& event) {
    if ((event.flags & commandFlag) != 0) {
        const EventMoment moment = momentOf(event);
        const std::string name = keyName(event.keyCode);
        if (name == "v")
            recorder.emit("paste", "cmd+v", std::nullopt, moment);
        else
            recorder.emit("shortcut", "cmd+" + name, std::nullopt, moment);
        return;
    }
    // Even a key without characters is passed on: it still closes another application's run.
    recorder.appendTyping(charFor(event), typingSignature(recorder, event), event.windowNumber);
}

} // namespace

std::string keyName(std::int64_t keyCode) {
    const auto* found =
        std::find_if(keyNames.begin(), keyNames.end(),
                     [keyCode](const KeyNameEntry& e) { return e.code == keyCode; });
    if (found != keyNames.end()) return found->name;
    return "key" + std::to_string(keyCode);
}

std::string charFor(const InputEvent& event) {
    const std::size_t length = std::min(event.characters.size(), maxCharacterUnits);
    if (length < 1) return {};
    return text::utf16ToUtf8(std::u16string_view(event.characters).substr(0, length));
}

void eventCallback(Recorder& recorder, const InputEvent& event) {
    // A copy made since the previous input must be known before a paste is recorded.
    recorder.pollClipboard();
    switch (event.type) {
    case keyDown:
        handleKeyDown(recorder, event);
        break;
    case leftMouseDown:
        recorder.emit(event.clickState < 2 ? "click" : "doubleclick", std::nullopt, std::nullopt,
                      momentOf(event));
        break;
    case rightMouseDown:
        recorder.emit("rightclick", std::nullopt, std::nullopt, momentOf(event));
        break;
    default:
        // Tap-disabled notices and anything else pass through untouched.
        break;
    }
}
