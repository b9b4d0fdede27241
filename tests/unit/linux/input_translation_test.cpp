// X input in macOS terms: key positions, flags, characters of special keys, click counting.
#include "platform/linux/input_translation.h"

#include <gtest/gtest.h>
#include <map>
#include <set>
#include <string>

namespace {

TEST(KeyPositions, EachKeyHasItsOwnAnsiCodeAndTheUsKeysymNamesTheSameKey) {
    // XKB position; its unshifted US keysym (0: none compared); ANSI code (-1: any unique one)
    struct Key {
        const char* position;
        std::uint32_t keysym;
        std::int64_t code;
    };
    const Key keys[] = {
        {"AC01", 'a', 0},     {"AC02", 's', 1},     {"AC03", 'd', 2},     {"AC04", 'f', 3},
        {"AC06", 'h', 4},     {"AC05", 'g', 5},     {"AB01", 'z', 6},     {"AB02", 'x', 7},
        {"AB03", 'c', 8},     {"AB04", 'v', 9},     {"AB05", 'b', 11},    {"AD01", 'q', 12},
        {"AD02", 'w', 13},    {"AD03", 'e', 14},    {"AD04", 'r', 15},    {"AD06", 'y', 16},
        {"AD05", 't', 17},    {"AE01", '1', 18},    {"AD10", 'p', 35},    {"AB06", 'n', 45},
        {"RTRN", 0xff0d, 36}, {"TAB", 0xff09, 48},  {"SPCE", ' ', 49},    {"BKSP", 0xff08, 51},
        {"ESC", 0xff1b, 53},  {"TLDE", '`', -1},    {"AE02", '2', -1},    {"AE03", '3', -1},
        {"AE04", '4', -1},    {"AE05", '5', -1},    {"AE06", '6', -1},    {"AE07", '7', -1},
        {"AE08", '8', -1},    {"AE09", '9', -1},    {"AE10", '0', -1},    {"AE11", '-', -1},
        {"AE12", '=', -1},    {"AD07", 'u', -1},    {"AD08", 'i', -1},    {"AD09", 'o', -1},
        {"AD11", '[', -1},    {"AD12", ']', -1},    {"BKSL", '\\', -1},   {"AC07", 'j', -1},
        {"AC08", 'k', -1},    {"AC09", 'l', -1},    {"AC10", ';', -1},    {"AC11", '\'', -1},
        {"AB07", 'm', -1},    {"AB08", ',', -1},    {"AB09", '.', -1},    {"AB10", '/', -1},
        {"DELE", 0xffff, -1}, {"HOME", 0xff50, -1}, {"LEFT", 0xff51, -1}, {"UP", 0xff52, -1},
        {"RGHT", 0xff53, -1}, {"DOWN", 0xff54, -1}, {"PGUP", 0xff55, -1}, {"PGDN", 0xff56, -1},
        {"END", 0xff57, -1},  {"FK01", 0xffbe, -1}, {"FK02", 0xffbf, -1}, {"KPEN", 0xff8d, -1},
        {"LFSH", 0xffe1, -1}, {"RTSH", 0xffe2, -1}, {"LCTL", 0xffe3, -1}, {"RCTL", 0xffe4, -1},
        {"CAPS", 0xffe5, -1}, {"LALT", 0xffe9, -1}, {"AB11", 0, -1},      {"LSGT", 0, -1},
        {"AE13", 0, -1},      {"LWIN", 0, -1},      {"RALT", 0, -1},      {"RWIN", 0, -1},
        {"INS", 0, -1},       {"KP0", 0, -1},       {"KP9", 0, -1},       {"KPDL", 0, -1},
        {"FK12", 0, -1},
    };
    std::map<std::int64_t, std::string> seen;
    for (const Key& key : keys) {
        SCOPED_TRACE(key.position);
        const auto code = input::keyCodeForPosition(key.position);
        ASSERT_TRUE(code.has_value());
        EXPECT_TRUE(key.code < 0 || *code == key.code) << *code;
        EXPECT_TRUE(seen.emplace(*code, key.position).second) << "shared with " << seen[*code];
        EXPECT_TRUE(key.keysym == 0 || input::keyCodeForKeysym(key.keysym) == code);
    }
    // ANSI and ISO names of the backslash key; a shifted letter is the same key.
    EXPECT_EQ(input::keyCodeForPosition("AC12"), input::keyCodeForPosition("BKSL"));
    EXPECT_EQ(input::keyCodeForKeysym('V'), 9);
    EXPECT_EQ(input::keyCodeForKeysym(0x00e9), std::nullopt);
    EXPECT_EQ(input::keyCodeForPosition("I120"), std::nullopt);
    std::set<std::int64_t> ansi;
    for (std::uint32_t sym = 0x20; sym < 0x7f; ++sym)
        if (auto code = input::keyCodeForKeysym(sym)) ansi.insert(*code);
    for (std::uint32_t keycode = 8; keycode < 256; ++keycode) {
        const auto code = input::unmappedKeyCode(keycode);
        EXPECT_TRUE(code >= 0x100 && !ansi.contains(code)) << keycode;
    }
}

TEST(EventFlags, ControlIsTheShortcutModifierExceptInTheCtrlOptChord) {
    using namespace input;
    const std::pair<Modifiers, std::uint64_t> cases[] = {
        {{}, 0},
        {{.control = true}, commandFlag | controlFlag},
        {{.control = true, .shift = true}, commandFlag | controlFlag | shiftFlag},
        {{.shift = true}, shiftFlag},
        {{.alt = true}, optionFlag},
        {{.capsLock = true}, capsLockFlag},
        {{.control = true, .alt = true}, controlFlag | optionFlag},
    };
    for (const auto& [held, flags] : cases)
        EXPECT_EQ(eventFlags(held), flags);
    EXPECT_EQ(commandFlag, 0x100000u); // the bit the portable tap logic tests
    for (std::uint32_t sym : {0xffe1u, 0xffe3u, 0xffe5u, 0xffe9u, 0xffebu, 0xfe03u, 0xff7eu})
        EXPECT_TRUE(isModifierKeysym(sym)) << std::hex << sym;
    for (std::uint32_t sym : {std::uint32_t{'a'}, 0xff0du, 0xff08u, 0xffbeu, 0xff52u})
        EXPECT_FALSE(isModifierKeysym(sym)) << std::hex << sym;
}

TEST(KeyCharacters, SpecialKeysGiveWhatMacOsReportsAndUtf8BecomesUtf16) {
    const std::pair<std::uint32_t, std::optional<std::u16string>> keys[] = {
        {0xff08, u"\x7f"},   {0xff52, u"\xf700"}, {0xff53, u"\xf703"},
        {0xffbe, u"\xf704"}, {0xffc9, u"\xf70f"}, {0xffff, u"\xf728"},
        {0xff8d, u"\x03"},   {'a', std::nullopt}, {0xff0d, std::nullopt}, // xkb's "\r" is right
    };
    for (const auto& [keysym, characters] : keys)
        EXPECT_EQ(input::macKeyCharacters(keysym), characters) << std::hex << keysym;
    const std::pair<std::string, std::u16string> texts[] = {
        {"\xc3\xa9", u"\u00e9"}, {"\xf0\x9f\x98\x80", u"\xd83d\xde00"}, {"\xff", u"\xfffd"}};
    for (const auto& [utf8, utf16] : texts)
        EXPECT_EQ(input::utf8ToUtf16(utf8), utf16);
}

TEST(ClickCounter, CountsQuickPressesOfOneButtonInPlaceAcrossTheClockWrapping) {
    input::ClickCounter clicks(400, 4);
    // button, time, x, y, click state
    const std::tuple<std::uint32_t, std::uint32_t, double, double, std::int64_t> presses[] = {
        {1, 1000, 10, 10, 1},      {1, 1200, 12, 9, 2},  {1, 1590, 14, 10, 3}, // from the previous
        {1, 2000, 14, 10, 1},      {1, 2600, 10, 10, 1}, {1, 2700, 15, 10, 1}, // 410 ms; 5 px
        {3, 2800, 15, 10, 1},      {1, 2900, 15, 10, 1}, {1, 3000, 15, 14, 2}, // 4 px is in place
        {1, 0xffffff00u, 0, 0, 1}, {1, 0x40u, 0, 0, 2},                        // across the wrap
    };
    for (const auto& [button, time, x, y, state] : presses)
        EXPECT_EQ(clicks.press(button, time, x, y), state) << time;
}

} // namespace
