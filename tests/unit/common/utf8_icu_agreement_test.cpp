// Checks the UTF-8 validation and repair against ICU's converter over many byte sequences.
#include "common/unicode_text.h"

#include <array>
#include <gtest/gtest.h>
#include <optional>
#include <unicode/ustring.h>

namespace {

/// ICU's UTF-16 for `bytes`, substituting U+FFFD per maximal subpart when `substitute`;
/// nothing when ICU rejects the bytes.
std::optional<std::u16string> icuUtf16(const std::string& bytes, bool substitute) {
    std::u16string out(bytes.size() + 1, u'\0');
    std::int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(out.data(), static_cast<std::int32_t>(out.size()), &length, bytes.data(),
                         static_cast<std::int32_t>(bytes.size()), substitute ? 0xFFFD : U_SENTINEL,
                         nullptr, &status);
    if (U_FAILURE(status)) return std::nullopt;
    out.resize(static_cast<std::size_t>(length));
    return out;
}

void expectAgreement(const std::string& bytes) {
    const auto strict = icuUtf16(bytes, false);
    ASSERT_EQ(text::isValidUtf8(bytes), strict.has_value()) << testing::PrintToString(bytes);
    const auto repaired = icuUtf16(bytes, true);
    ASSERT_TRUE(repaired);
    ASSERT_EQ(text::sanitizeUtf8(bytes), text::utf16ToUtf8(*repaired))
        << testing::PrintToString(bytes);
}

// Bytes at the edges of every range that matters to a UTF-8 decoder.
constexpr std::array<unsigned char, 18> interesting{0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90,
                                                    0x9F, 0xA0, 0xBF, 0xC0, 0xC1, 0xC2,
                                                    0xDF, 0xE0, 0xED, 0xF0, 0xF4, 0xF5};

TEST(Utf8IcuAgreement, AllTwoByteSequencesEdgeBytesInFourAndLongerMixes) {
    for (int i = 0; i < 0x10000; ++i)
        expectAgreement({static_cast<char>(i >> 8), static_cast<char>(i)});
    const std::size_t n = interesting.size();
    for (std::size_t i = 0; i < n * n * n * n; ++i)
        expectAgreement({static_cast<char>(interesting[i / (n * n * n)]),
                         static_cast<char>(interesting[i / (n * n) % n]),
                         static_cast<char>(interesting[i / n % n]),
                         static_cast<char>(interesting[i % n])});
    for (const std::string& bytes : std::initializer_list<std::string>{
             "abc \xE6\x97\xA5", std::string("a\0b", 3), "\xE6\x97\xE6\x97\xA5", "\xF0\x9F\x98",
             "\x61\xF1\x80\x80\xE1\x80\xC2\x62\x80\x63\x80\xBF\x64", // Unicode's example
             "\xC3\x28\xA0\xA1\xE2\x28\xA1", "\xF4\x90\x80\x80\xED\xA0\x80\xC0\xAF"})
        expectAgreement(bytes);
}

} // namespace
