#include "common/unicode_text.h"

#include <gtest/gtest.h>

namespace {

const std::string eAcute = "e\xCC\x81";                   // e + COMBINING ACUTE ACCENT
const std::string family = "\xF0\x9F\x91\xA8\xE2\x80\x8D" // man ZWJ
                           "\xF0\x9F\x91\xA9\xE2\x80\x8D" // woman ZWJ
                           "\xF0\x9F\x91\xA7";            // girl
const std::string flagJapan = "\xF0\x9F\x87\xAF\xF0\x9F\x87\xB5";
const std::string ideographicSpace = "\xE3\x80\x80";

TEST(CharacterCount, CountsExtendedGraphemeClusters) {
    EXPECT_EQ(text::characterCount(""), 0u);
    EXPECT_EQ(text::characterCount("abc"), 3u);
    EXPECT_EQ(text::characterCount("a\r\nb"), 3u);
    EXPECT_EQ(text::characterCount(eAcute), 1u);
    EXPECT_EQ(text::characterCount(family), 1u);
    EXPECT_EQ(text::characterCount(flagJapan + flagJapan), 2u);
    EXPECT_EQ(text::characterCount("x" + eAcute + family + "\xE6\x97\xA5"), 4u);
    // Hangul syllable built from conjoining jamo.
    EXPECT_EQ(text::characterCount("\xE1\x84\x92\xE1\x85\xA1\xE1\x86\xAB"), 1u);
}

TEST(CharacterCount, InvalidBytesCountAsReplacementCharacters) {
    EXPECT_EQ(text::characterCount("a\xFF\xFE"
                                   "b"),
              4u);
    EXPECT_EQ(text::characterCount("\xE6\x97"), 1u);
}

TEST(CharacterPrefix, KeepsWholeClusters) {
    EXPECT_EQ(text::characterPrefix(eAcute + "x", 1), eAcute);
    EXPECT_EQ(text::characterPrefix(family + "ab", 2), family + "a");
    EXPECT_EQ(text::characterPrefix("a\r\nb", 2), "a\r\n");
    EXPECT_EQ(text::characterPrefix("abc", 0), "");
    EXPECT_EQ(text::characterPrefix("abc", 10), "abc");
    EXPECT_EQ(text::characterPrefix(eAcute + eAcute, 5), eAcute + eAcute);
    EXPECT_EQ(text::characterPrefix("\xFF"
                                    "ab",
                                    2),
              "\xEF\xBF\xBD"
              "a");
}

TEST(NumericCharacter, UsesNumericTypeOfFirstScalar) {
    for (const char* numeric : {"5", "\xC2\xBD" /* ½ */, "\xE2\x85\xAB" /* Ⅻ */,
                                "\xE4\xB8\x83" /* 七 */, "\xD9\xA3" /* Arabic-Indic 3 */,
                                "\xE2\x91\xA0" /* ① */, "7\xE2\x83\xA3" /* keycap 7 */}) {
        EXPECT_TRUE(text::isNumericCharacter(numeric)) << numeric;
    }
    for (const char* other : {"", "a", " ", "-", "\xE6\x97\xA5", "\xFF", "x5"}) {
        EXPECT_FALSE(text::isNumericCharacter(other)) << other;
    }
}

TEST(NumericCharacter, CountsNumericClusters) {
    EXPECT_EQ(text::numericCharacterCount(""), 0u);
    EXPECT_EQ(text::numericCharacterCount("a1b22"), 3u);
    EXPECT_EQ(text::numericCharacterCount("\xE4\xB8\x83\xE5\x85\xAB"
                                          "x\xC2\xBD"),
              3u);
    EXPECT_EQ(text::numericCharacterCount("5\xCC\x81"
                                          "6"),
              2u); // 5 + combining mark is one
}

TEST(TrimWhitespace, RemovesUnicodeWhiteSpaceAtBothEnds) {
    EXPECT_EQ(text::trimWhitespace(""), "");
    EXPECT_EQ(text::trimWhitespace(" \t\n"), "");
    EXPECT_EQ(text::trimWhitespace("  a b  "), "a b");
    EXPECT_EQ(text::trimWhitespace(ideographicSpace + "\xE6\x97\xA5" + ideographicSpace),
              "\xE6\x97\xA5");
    EXPECT_EQ(text::trimWhitespace("\xE2\x80\xA8x\xE2\x80\xA9\xC2\x85\r\n\v\f"), "x");
    EXPECT_EQ(text::trimWhitespace("\xC2\xA0"
                                   "a" +
                                   ideographicSpace + "b\xC2\xA0"),
              "a" + ideographicSpace + "b");
    // Zero-width space is not White_Space.
    EXPECT_EQ(text::trimWhitespace("\xE2\x80\x8B"
                                   "a"),
              "\xE2\x80\x8B"
              "a");
    EXPECT_EQ(text::trimWhitespace(" " + eAcute + " "), eAcute);
}

TEST(Utf16ToUtf8, ConvertsPairsAndReplacesLoneSurrogates) {
    EXPECT_EQ(text::utf16ToUtf8(u""), "");
    EXPECT_EQ(text::utf16ToUtf8(u"a\u00E9\u65E5"), "a\xC3\xA9\xE6\x97\xA5");
    EXPECT_EQ(text::utf16ToUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
    const std::string fffd = "\xEF\xBF\xBD";
    EXPECT_EQ(text::utf16ToUtf8(std::u16string{u'a', char16_t(0xD83D), u'b'}), "a" + fffd + "b");
    EXPECT_EQ(text::utf16ToUtf8(std::u16string{char16_t(0xDE00), char16_t(0xD83D)}), fffd + fffd);
    EXPECT_EQ(
        text::utf16ToUtf8(std::u16string{char16_t(0xD83D), char16_t(0xD83D), char16_t(0xDE00)}),
        fffd + "\xF0\x9F\x98\x80");
}

} // namespace
