#include "common/unicode_text.h"

#include <gtest/gtest.h>

namespace {

const std::string eAcute = "e\xCC\x81"; // e + COMBINING ACUTE ACCENT
const std::string family = "👨‍👩‍👧";
const std::string fffd = "\xEF\xBF\xBD";
const std::string invalid = "\xFF";
// Ill-formed around U+3000, a space and 7 with a combining mark: one character per maximal subpart.
const std::string mixed = "\xE3\x80\x80\xFF 7\xCC\x81\xF0\x9F\x91\xE3\x80";

TEST(CharacterCount, CountsExtendedGraphemeClustersAndEachInvalidByteAsOne) {
    const std::pair<std::string, std::size_t> cases[] = {
        {"", 0},
        {"a\r\nb", 3},
        {"x" + eAcute + family + "日", 4},
        {"🇯🇵🇯🇵", 2},
        {"\xE1\x84\x92\xE1\x85\xA1\xE1\x86\xAB", 1}, // Hangul syllable of conjoining jamo
        {"a" + invalid + "\xFE" + "b", 4},
        {"\xE6\x97", 1},
        {mixed, 6},
    };
    for (const auto& [text, count] : cases)
        EXPECT_EQ(text::characterCount(text), count) << text;
}

TEST(CharacterPrefix, KeepsWholeClusters) {
    const std::tuple<std::string, std::size_t, std::string> cases[] = {
        {eAcute + "x", 1, eAcute}, {family + "ab", 2, family + "a"},
        {"a\r\nb", 2, "a\r\n"},    {"abc", 0, ""},
        {"abc", 10, "abc"},        {invalid + "ab", 2, fffd + "a"},
    };
    for (const auto& [text, count, prefix] : cases)
        EXPECT_EQ(text::characterPrefix(text, count), prefix) << text << " " << count;
}

TEST(NumericCharacter, UsesNumericTypeOfFirstScalar) {
    for (const char* numeric : {"5", "½", "Ⅻ", "七", "٣", "①", "7\xE2\x83\xA3" /* keycap 7 */})
        EXPECT_TRUE(text::isNumericCharacter(numeric)) << numeric;
    for (std::string other : {"", "a", "-", "日", "x5", invalid.c_str()})
        EXPECT_FALSE(text::isNumericCharacter(other)) << other;
    EXPECT_EQ(text::numericCharacterCount("a1b22七八x½5\xCC\x81"), 7u); // 5 + mark is one
    EXPECT_EQ(text::numericCharacterCount(mixed), 1u);
}

TEST(TrimWhitespace, RemovesUnicodeWhiteSpaceAtBothEnds) {
    const std::pair<std::string, std::string> cases[] = {
        {" \t\n", ""},
        {"\u3000日\u3000", "日"},
        {"\xE2\x80\xA8x\xE2\x80\xA9\xC2\x85\r\n\v\f", "x"},
        {"\u00A0a\u3000b\u00A0", "a\u3000b"},
        {"\u200Ba", "\u200Ba"}, // zero-width space is not White_Space
        {" " + eAcute + " ", eAcute},
        {mixed, fffd + " 7\xCC\x81" + fffd + fffd},
    };
    for (const auto& [text, trimmed] : cases)
        EXPECT_EQ(text::trimWhitespace(text), trimmed) << text;
}

TEST(Utf16ToUtf8, ConvertsPairsAndReplacesLoneSurrogates) {
    const std::pair<std::u16string, std::string> cases[] = {
        {u"a\u00E9\u65E5\U0001F600", "aé日😀"},
        {{u'a', char16_t(0xD83D), u'b'}, "a" + fffd + "b"},
        {{char16_t(0xDE00), char16_t(0xD83D)}, fffd + fffd},
        {{char16_t(0xD83D), char16_t(0xD83D), char16_t(0xDE00)}, fffd + "😀"},
    };
    for (const auto& [utf16, utf8] : cases)
        EXPECT_EQ(text::utf16ToUtf8(utf16), utf8);
}

} // namespace
