// X input in macOS terms: key positions, flags, characters of special keys, click counting.
#include "platform/linux/input_translation.h"

#include <gtest/gtest.h>
#include <map>
#include <set>
#include <string>

namespace {

TEST(KeyPositions, LettersAndEditingKeysGetTheirAnsiCodes) {
    const std::map<std::string, std::int64_t> expected{
        {"AC01", 0},  {"AC02", 1},  {"AC03", 2},  {"AC04", 3},  {"AC06", 4},
        {"AC05", 5},  {"AB01", 6},  {"AB02", 7},  {"AB03", 8},  {"AB04", 9},
        {"AB05", 11}, {"AD01", 12}, {"AD02", 13}, {"AD03", 14}, {"AD04", 15},
        {"AD06", 16}, {"AD05", 17}, {"AE01", 18}, {"AD10", 35}, {"AB06", 45},
        {"RTRN", 36}, {"TAB", 48},  {"SPCE", 49}, {"BKSP", 51}, {"ESC", 53},
    };
    for (const auto& [position, code] : expected)
        EXPECT_EQ(input::keyCodeForPosition(position), code) << position;
    EXPECT_EQ(input::keyCodeForPosition("I120"), std::nullopt);
    EXPECT_EQ(input::keyCodeForPosition(""), std::nullopt);
}

TEST(KeyPositions, NoTwoPositionsShareACode) {
    // Every XKB position name of a full keyboard; BKSL and AC12 are the same key (ANSI and
    // ISO names of the backslash key), so they may share one.
    const std::vector<std::string> names{
        "TLDE", "AE01", "AE02", "AE03", "AE04", "AE05", "AE06", "AE07", "AE08", "AE09", "AE10",
        "AE11", "AE12", "AE13", "BKSP", "TAB",  "AD01", "AD02", "AD03", "AD04", "AD05", "AD06",
        "AD07", "AD08", "AD09", "AD10", "AD11", "AD12", "BKSL", "CAPS", "AC01", "AC02", "AC03",
        "AC04", "AC05", "AC06", "AC07", "AC08", "AC09", "AC10", "AC11", "RTRN", "LFSH", "LSGT",
        "AB01", "AB02", "AB03", "AB04", "AB05", "AB06", "AB07", "AB08", "AB09", "AB10", "AB11",
        "RTSH", "LCTL", "LWIN", "LALT", "SPCE", "RALT", "RWIN", "RCTL", "ESC",  "FK01", "FK02",
        "FK03", "FK04", "FK05", "FK06", "FK07", "FK08", "FK09", "FK10", "FK11", "FK12", "INS",
        "HOME", "PGUP", "DELE", "END",  "PGDN", "LEFT", "RGHT", "DOWN", "UP",   "KP0",  "KP1",
        "KP2",  "KP3",  "KP4",  "KP5",  "KP6",  "KP7",  "KP8",  "KP9",  "KPEN", "KPDL"};
    std::map<std::int64_t, std::string> seen;
    for (const auto& name : names) {
        const auto code = input::keyCodeForPosition(name);
        ASSERT_TRUE(code.has_value()) << name;
        EXPECT_TRUE(seen.emplace(*code, name).second)
            << name << " and " << seen[*code] << " both give " << *code;
    }
    EXPECT_EQ(input::keyCodeForPosition("AC12"), input::keyCodeForPosition("BKSL"));
}

TEST(KeyPositions, UsLayoutKeysymsAgreeWithPositions) {
    // On a US layout the fallback by keysym must name the same key as its position.
    const std::vector<std::pair<std::string, std::uint32_t>> usLayout{
        {"TLDE", '`'},    {"AE01", '1'},    {"AE02", '2'},    {"AE03", '3'},    {"AE04", '4'},
        {"AE05", '5'},    {"AE06", '6'},    {"AE07", '7'},    {"AE08", '8'},    {"AE09", '9'},
        {"AE10", '0'},    {"AE11", '-'},    {"AE12", '='},    {"AD01", 'q'},    {"AD02", 'w'},
        {"AD03", 'e'},    {"AD04", 'r'},    {"AD05", 't'},    {"AD06", 'y'},    {"AD07", 'u'},
        {"AD08", 'i'},    {"AD09", 'o'},    {"AD10", 'p'},    {"AD11", '['},    {"AD12", ']'},
        {"BKSL", '\\'},   {"AC01", 'a'},    {"AC02", 's'},    {"AC03", 'd'},    {"AC04", 'f'},
        {"AC05", 'g'},    {"AC06", 'h'},    {"AC07", 'j'},    {"AC08", 'k'},    {"AC09", 'l'},
        {"AC10", ';'},    {"AC11", '\''},   {"AB01", 'z'},    {"AB02", 'x'},    {"AB03", 'c'},
        {"AB04", 'v'},    {"AB05", 'b'},    {"AB06", 'n'},    {"AB07", 'm'},    {"AB08", ','},
        {"AB09", '.'},    {"AB10", '/'},    {"SPCE", ' '},    {"RTRN", 0xff0d}, {"TAB", 0xff09},
        {"BKSP", 0xff08}, {"ESC", 0xff1b},  {"DELE", 0xffff}, {"HOME", 0xff50}, {"LEFT", 0xff51},
        {"UP", 0xff52},   {"RGHT", 0xff53}, {"DOWN", 0xff54}, {"PGUP", 0xff55}, {"PGDN", 0xff56},
        {"END", 0xff57},  {"FK01", 0xffbe}, {"FK02", 0xffbf}, {"KPEN", 0xff8d}, {"LFSH", 0xffe1},
        {"RTSH", 0xffe2}, {"LCTL", 0xffe3}, {"RCTL", 0xffe4}, {"CAPS", 0xffe5}, {"LALT", 0xffe9}};
    for (const auto& [position, keysym] : usLayout) {
        ASSERT_TRUE(input::keyCodeForKeysym(keysym).has_value()) << position;
        EXPECT_EQ(input::keyCodeForKeysym(keysym), input::keyCodeForPosition(position)) << position;
    }
    EXPECT_EQ(input::keyCodeForKeysym('V'), 9);               // the shifted letter is the same key
    EXPECT_EQ(input::keyCodeForKeysym(0x00e9), std::nullopt); // é has no US position
}

TEST(KeyPositions, UnmappedKeysCanNeverPassForAnAnsiKey) {
    std::set<std::int64_t> ansi;
    for (std::uint32_t sym = 0x20; sym < 0x7f; ++sym)
        if (auto code = input::keyCodeForKeysym(sym)) ansi.insert(*code);
    for (std::uint32_t keycode = 8; keycode < 256; ++keycode) {
        const auto code = input::unmappedKeyCode(keycode);
        EXPECT_GE(code, 0x100);
        EXPECT_FALSE(ansi.contains(code));
    }
}

TEST(EventFlags, ControlIsTheShortcutModifierExceptInTheCtrlOptChord) {
    EXPECT_EQ(input::eventFlags({}), 0u);
    EXPECT_EQ(input::eventFlags({.control = true}), input::commandFlag | input::controlFlag);
    EXPECT_EQ(input::eventFlags({.control = true, .shift = true}),
              input::commandFlag | input::controlFlag | input::shiftFlag);
    EXPECT_EQ(input::eventFlags({.shift = true}), input::shiftFlag);
    EXPECT_EQ(input::eventFlags({.alt = true}), input::optionFlag);
    EXPECT_EQ(input::eventFlags({.capsLock = true}), input::capsLockFlag);
    EXPECT_EQ(input::eventFlags({.control = true, .alt = true}),
              input::controlFlag | input::optionFlag);
    EXPECT_EQ(input::commandFlag, 0x100000u); // the bit the portable tap logic tests
}

TEST(ModifierKeys, AreRecognisedByKeysym) {
    for (std::uint32_t sym :
         {0xffe1u, 0xffe2u, 0xffe3u, 0xffe4u, 0xffe5u, 0xffe9u, 0xffeau, 0xffebu, 0xfe03u, 0xff7eu})
        EXPECT_TRUE(input::isModifierKeysym(sym)) << std::hex << sym;
    for (std::uint32_t sym : {std::uint32_t{'a'}, 0xff0du, 0xff08u, 0xffbeu, 0xff52u})
        EXPECT_FALSE(input::isModifierKeysym(sym)) << std::hex << sym;
}

TEST(KeyCharacters, SpecialKeysGiveWhatMacOsReports) {
    EXPECT_EQ(input::macKeyCharacters(0xff08), u"\x7f");   // BackSpace
    EXPECT_EQ(input::macKeyCharacters(0xff52), u"\xf700"); // Up
    EXPECT_EQ(input::macKeyCharacters(0xff53), u"\xf703"); // Right
    EXPECT_EQ(input::macKeyCharacters(0xffbe), u"\xf704"); // F1
    EXPECT_EQ(input::macKeyCharacters(0xffc9), u"\xf70f"); // F12
    EXPECT_EQ(input::macKeyCharacters(0xffff), u"\xf728"); // Delete
    EXPECT_EQ(input::macKeyCharacters(0xff8d), u"\x03");   // keypad Enter
    EXPECT_EQ(input::macKeyCharacters('a'), std::nullopt);
    EXPECT_EQ(input::macKeyCharacters(0xff0d), std::nullopt); // Return: xkb's "\r" is right
}

TEST(KeyCharacters, Utf8BecomesUtf16) {
    EXPECT_EQ(input::utf8ToUtf16("a"), u"a");
    EXPECT_EQ(input::utf8ToUtf16("\xc3\xa9"), u"\u00e9");
    EXPECT_EQ(input::utf8ToUtf16("\xe3\x81\x82"), u"\u3042");
    EXPECT_EQ(input::utf8ToUtf16("\xf0\x9f\x98\x80"), u"\xd83d\xde00");
    EXPECT_EQ(input::utf8ToUtf16("\xff"), u"\xfffd");
    EXPECT_EQ(input::utf8ToUtf16(std::string("\x01", 1)), u"\x01");
}

TEST(ClickCounter, CountsQuickPressesOfOneButtonInPlaceAcrossTheClockWrapping) {
    input::ClickCounter clicks(400, 4);
    EXPECT_EQ(clicks.press(1, 1000, 10, 10), 1);
    EXPECT_EQ(clicks.press(1, 1200, 12, 9), 2);
    EXPECT_EQ(clicks.press(1, 1590, 14, 10), 3); // each press is measured from the previous
    EXPECT_EQ(clicks.press(1, 2000, 14, 10), 1); // 410 ms later
    EXPECT_EQ(clicks.press(1, 2600, 10, 10), 1);
    EXPECT_EQ(clicks.press(1, 2700, 15, 10), 1); // 5 px away
    EXPECT_EQ(clicks.press(3, 2800, 15, 10), 1); // other button
    EXPECT_EQ(clicks.press(1, 2900, 15, 10), 1);
    EXPECT_EQ(clicks.press(1, 3000, 15, 14), 2); // 4 px is still in place
    EXPECT_EQ(clicks.press(1, 0xffffff00u, 0, 0), 1);
    EXPECT_EQ(clicks.press(1, 0x40u, 0, 0), 2); // 320 ms later, across the wrap
}

} // namespace
