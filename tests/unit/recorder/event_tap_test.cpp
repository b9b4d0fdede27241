// Input events through the tap callback into a recorder on fakes, read back as the parent
// reads them, and the characters of a key press.
#include "recorder/event_tap.h"
#include "tests/unit/recorder/recorder_rig.h"

#include <gtest/gtest.h>
#include <limits>

namespace {

constexpr std::uint64_t command = 0x100000;
constexpr std::int64_t int64Max = std::numeric_limits<std::int64_t>::max();

struct Step {
    enum Kind { input, front, noFront, copy, pause, restart } kind = input;
    InputEvent event{};
    std::optional<std::string> text{}; ///< the application put in front, or the text copied
};

Step key(std::int64_t keyCode, std::u16string characters, std::uint64_t flags = 0) {
    InputEvent event;
    event.type = 10;
    event.keyCode = keyCode;
    event.flags = flags;
    event.characters = std::move(characters);
    return {Step::input, event};
}
Step type(std::u16string characters) {
    return key(0, std::move(characters));
}
Step mouse(std::uint32_t type) {
    InputEvent event;
    event.type = type;
    event.clickState = 1;
    return {Step::input, event};
}
Step front(std::string app) {
    return {Step::front, {}, std::move(app)};
}
Step copied(std::string text) {
    return {Step::copy, {}, std::move(text)};
}
const Step noFront{Step::noFront}, pause{Step::pause}, copiedImage{Step::copy};
const Step paste = key(9, u"v", command);
/// The recorder is made anew, as when recording begins.
const Step restart{Step::restart};

/// Kind of each action record, with its key, characters and clipboard where it has them.
std::vector<std::string> actions(RecorderRig& rig) {
    std::vector<std::string> out;
    for (const auto& event : rig.events()) {
        std::string line = event["kind"].get<std::string>();
        if (event.contains("key")) line += " " + event["key"].get<std::string>();
        if (event.contains("inputCharCount"))
            line +=
                " " + event["inputCharCount"].dump() + " " + event["inputKind"].get<std::string>();
        if (event.contains("clipboardFromApp"))
            line += " from " + event["clipboardFromApp"].get<std::string>();
        if (event.contains("clipboardCharCount"))
            line += " copied " + event["clipboardCharCount"].dump();
        out.push_back(line);
    }
    return out;
}

TEST(EventTap, EventsBecomeTheirActionsAndNeitherTypedNorCopiedTextLeaves) {
    const struct {
        const char* name;
        std::vector<Step> steps;
        std::vector<std::string> actions;
    } cases[] = {
        {"every event polls the clipboard",
         {copied("Kq5x8w2z"), mouse(22), front("Mail"), paste},
         {"paste cmd+v from Editor copied 8"}},
        {"a copy made before recording began is never attributed",
         {copied("Kq7old"), restart, paste},
         {"paste cmd+v"}},
        {"copies are noticed while paused too, only pastes carry them",
         {pause, copied("Kq3fst"), type(u""), copied("日本語"), type(u""), pause, front("Mail"),
          key(8, u"c", command), paste},
         {"shortcut cmd+c", "paste cmd+v from Editor copied 3"}},
        {"content that is not text counts zero",
         {copiedImage, paste},
         {"paste cmd+v from Editor copied 0"}},
        {"no frontmost application leaves the name out",
         {noFront, copied("qzj"), paste},
         {"paste cmd+v copied 3"}},
        {"other event types record nothing and keep the run open",
         {type(u"a"), mouse(0), mouse(2), mouse(4), mouse(5), mouse(11), mouse(12), mouse(22),
          mouse(0xFFFFFFFE), mouse(0xFFFFFFFF), mouse(1)},
         {"type 1 text", "click"}},
        {"key codes outside the table",
         {key(-5, u"", command), key(int64Max, u"", command),
          key(std::numeric_limits<std::int64_t>::min(), u"\xD800\xD800\xD800\xD800\xD800"),
          mouse(1)},
         {"shortcut cmd+key-5", "shortcut cmd+key9223372036854775807", "type 4 text", "click"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RecorderRig rig;
        rig.pipes.grant(500);
        rig.pipes.closeInput(); // requests beyond the grants are refused, never left waiting
        rig.showApp("Editor", "com.example.editor", 100, "Draft");
        std::string typed; // what the tap read from each key, as UTF-8
        std::vector<std::string> copies;
        for (const Step& step : c.steps) {
            switch (step.kind) {
            case Step::input:
                if (step.event.type == 10 && !(step.event.flags & command))
                    typed += charFor(step.event);
                eventCallback(*rig.recorder, rig.workspace, step.event);
                break;
            case Step::front:
                rig.showApp(*step.text, "com.example." + *step.text, 200);
                break;
            case Step::noFront:
                rig.workspace.clearFront();
                break;
            case Step::copy:
                rig.pasteboard.copy(step.text);
                if (step.text) copies.push_back(*step.text);
                break;
            case Step::pause:
                rig.recorder->togglePause();
                break;
            case Step::restart:
                rig.recorder = std::make_unique<Recorder>(rig.ports());
                break;
            }
        }
        EXPECT_EQ(actions(rig), c.actions);
        const std::string output = rig.pipes.output();
        for (std::size_t at = 0; at + 4 <= typed.size(); ++at)
            EXPECT_EQ(output.find(typed.substr(at, 4)), std::string::npos);
        for (const auto& copy : copies)
            EXPECT_EQ(output.find(copy), std::string::npos) << copy;
    }
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
    for (const auto& [units, text] : table) {
        InputEvent event;
        event.type = 10;
        event.characters = units;
        EXPECT_EQ(charFor(event), text) << text;
    }
}

} // namespace
