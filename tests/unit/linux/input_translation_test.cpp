// X input in macOS terms: key positions, flags, characters of special keys, click counting.
#include "platform/linux/x11/input_translation.h"

#include <gtest/gtest.h>
#include <map>
#include <set>
#include <string>

namespace {

TEST(KeyPositions, EachKeyHasItsOwnAnsiCodeAndTheUsKeysymNamesTheSameKey) {
    // XKB positions and their unshifted keysyms on a US layout (0: none compared).
    std::vector<std::pair<std::string, std::uint32_t>> keys{
        {"TLDE", '`'},    {"BKSL", '\\'},   {"SPCE", ' '},    {"RTRN", 0xff0d}, {"TAB", 0xff09},
        {"BKSP", 0xff08}, {"ESC", 0xff1b},  {"DELE", 0xffff}, {"HOME", 0xff50}, {"LEFT", 0xff51},
        {"UP", 0xff52},   {"RGHT", 0xff53}, {"DOWN", 0xff54}, {"PGUP", 0xff55}, {"PGDN", 0xff56},
        {"END", 0xff57},  {"FK01", 0xffbe}, {"FK02", 0xffbf}, {"KPEN", 0xff8d}, {"LFSH", 0xffe1},
        {"RTSH", 0xffe2}, {"LCTL", 0xffe3}, {"RCTL", 0xffe4}, {"CAPS", 0xffe5}, {"LALT", 0xffe9},
        {"AB11", 0},      {"LSGT", 0},      {"AE13", 0},      {"LWIN", 0},      {"RALT", 0},
        {"RWIN", 0},      {"INS", 0},       {"KP0", 0},       {"KP9", 0},       {"KPDL", 0},
        {"FK12", 0}};
    // Each row's name, then its keys' unshifted symbols from the left.
    for (std::string row : {"AE1234567890-=", "ADqwertyuiop[]", "ACasdfghjkl;'", "ABzxcvbnm,./"})
        for (std::size_t i = 2; i < row.size(); ++i)
            keys.emplace_back(row.substr(0, 2) + (i < 11 ? "0" : "") + std::to_string(i - 1),
                              row[i]);
    std::map<std::int64_t, std::string> seen;
    for (const auto& [position, keysym] : keys) {
        const auto code = input::keyCodeForPosition(position);
        ASSERT_TRUE(code.has_value()) << position;
        EXPECT_TRUE(seen.emplace(*code, position).second) << position << " and " << seen[*code];
        EXPECT_TRUE(keysym == 0 || input::keyCodeForKeysym(keysym) == code) << position;
    }
    // ANSI codes: 0 to 18 in this order ('_' the ISO key), then a few more.
    const std::string ansiOrder = "asdfhgzxcv_bqweryt1";
    for (std::size_t code = 0; code < ansiOrder.size(); ++code)
        EXPECT_TRUE(ansiOrder[code] == '_' ||
                    input::keyCodeForKeysym(ansiOrder[code]) == std::int64_t(code))
            << ansiOrder[code];
    const std::pair<std::uint32_t, std::int64_t> more[] = {{'p', 35},    {'n', 45},    {'V', 9},
                                                           {0xff0d, 36}, {0xff09, 48}, {' ', 49},
                                                           {0xff08, 51}, {0xff1b, 53}};
    for (const auto& [keysym, code] : more)
        EXPECT_EQ(input::keyCodeForKeysym(keysym), code) << keysym;
    // ANSI and ISO names of the backslash key.
    EXPECT_EQ(input::keyCodeForPosition("AC12"), input::keyCodeForPosition("BKSL"));
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
