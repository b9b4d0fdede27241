#include "common/base64.h"
#include "common/uuid.h"

#include <gtest/gtest.h>
#include <regex>
#include <set>

namespace {

TEST(Base64, MatchesRfc4648VectorsWithTheStandardAlphabet) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"foobar", "Zm9vYmFy"},
        {std::string("\xFB\xFF\xBF\x00\x10\x83", 6), "+/+/ABCD"},
    };
    for (const auto& [text, encoded] : cases)
        EXPECT_EQ(base64Encode(std::vector<std::uint8_t>(text.begin(), text.end())), encoded);
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
