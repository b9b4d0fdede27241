#include "common/base64.h"
#include "common/uuid.h"

#include <gtest/gtest.h>
#include <regex>
#include <set>
#include <string_view>
#include <vector>

namespace {

std::string encoded(std::string_view text) {
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    return base64Encode(bytes);
}

TEST(Base64, MatchesRfc4648Vectors) {
    EXPECT_EQ(encoded(""), "");
    EXPECT_EQ(encoded("f"), "Zg==");
    EXPECT_EQ(encoded("fo"), "Zm8=");
    EXPECT_EQ(encoded("foo"), "Zm9v");
    EXPECT_EQ(encoded("foob"), "Zm9vYg==");
    EXPECT_EQ(encoded("fooba"), "Zm9vYmE=");
    EXPECT_EQ(encoded("foobar"), "Zm9vYmFy");
}

TEST(Base64, UsesStandardAlphabetForHighBytes) {
    const std::vector<std::uint8_t> bytes{0xFB, 0xFF, 0xBF, 0x00, 0x10, 0x83};
    EXPECT_EQ(base64Encode(bytes), "+/+/ABCD");
}

TEST(RandomUuid, HasUpperCaseVersion4Form) {
    const std::regex form("^[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}$");
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        const std::string uuid = randomUuid();
        EXPECT_TRUE(std::regex_match(uuid, form)) << uuid;
        seen.insert(uuid);
    }
    EXPECT_EQ(seen.size(), 200u);
}

} // namespace
