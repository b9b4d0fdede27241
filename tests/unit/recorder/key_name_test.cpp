// Key names for key combinations, and the characters of a key press.
#include "recorder/event_tap.h"

#include <gtest/gtest.h>

namespace {

TEST(KeyName, NamesTheTableKeysByTheirAnsiPosition) {
    const std::pair<std::int64_t, const char*> table[] = {
        {0, "a"},  {1, "s"},  {3, "f"},  {6, "z"},  {7, "x"},  {8, "c"},  {9, "v"},
        {12, "q"}, {13, "w"}, {15, "r"}, {17, "t"}, {35, "p"}, {45, "n"},
    };
    for (const auto& [code, name] : table)
        EXPECT_EQ(keyName(code), name) << code;
}

TEST(KeyName, OtherCodesAreKeyAndTheirDecimalCode) {
    EXPECT_EQ(keyName(36), "key36");
    EXPECT_EQ(keyName(2), "key2"); // "d" is not in the table
    EXPECT_EQ(keyName(11), "key11");
    EXPECT_EQ(keyName(46), "key46");
    EXPECT_EQ(keyName(127), "key127");
    EXPECT_EQ(keyName(-1), "key-1");
    EXPECT_EQ(keyName(4'294'967'296), "key4294967296");
}

InputEvent keyWith(std::u16string characters) {
    InputEvent event;
    event.type = 10;
    event.characters = std::move(characters);
    return event;
}

TEST(CharFor, DecodesTheReportedUnits) {
    EXPECT_EQ(charFor(keyWith(u"a")), "a");
    EXPECT_EQ(charFor(keyWith(u"あ")), "あ");
    EXPECT_EQ(charFor(keyWith(u"\r")), "\r");
    EXPECT_EQ(charFor(keyWith(u"😀")), "😀"); // a surrogate pair
}

TEST(CharFor, NoUnitsGiveEmptyText) {
    EXPECT_EQ(charFor(keyWith(u"")), "");
}

TEST(CharFor, KeepsAtMostFourUnits) {
    EXPECT_EQ(charFor(keyWith(u"abcdef")), "abcd");
    // A pair cut in half by the limit decodes to the replacement character.
    EXPECT_EQ(charFor(keyWith(u"abc😀")), "abc\xEF\xBF\xBD");
}

TEST(CharFor, LoneSurrogateBecomesReplacementCharacter) {
    EXPECT_EQ(charFor(keyWith(std::u16string(1, char16_t{0xDC00}))), "\xEF\xBF\xBD");
}

} // namespace
