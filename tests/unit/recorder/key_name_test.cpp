// Key names for key combinations, and the characters of a key press.
#include "recorder/event_tap.h"

#include <gtest/gtest.h>

namespace {

TEST(KeyName, TableKeysByTheirAnsiPositionOthersByTheirDecimalCode) {
    const std::pair<std::int64_t, const char*> table[] = {
        {0, "a"},      {1, "s"},        {3, "f"},      {6, "z"},
        {7, "x"},      {8, "c"},        {9, "v"},      {12, "q"},
        {13, "w"},     {15, "r"},       {17, "t"},     {35, "p"},
        {45, "n"},     {36, "key36"},   {2, "key2"},   {11, "key11"},
        {46, "key46"}, {127, "key127"}, {-1, "key-1"}, {4'294'967'296, "key4294967296"},
    };
    for (const auto& [code, name] : table)
        EXPECT_EQ(keyName(code), name) << code;
}

TEST(CharFor, DecodesAtMostFourUnitsReplacingLoneSurrogates) {
    const std::pair<std::u16string, std::string> table[] = {
        {u"a", "a"},
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
