#include "common/siphash.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

// The reference vectors: key 00 01 … 0f, message 00 01 … of each length.
TEST(SipHash, MatchesTheReferenceVectors) {
    std::array<std::uint8_t, 16> keyBytes{};
    for (std::size_t i = 0; i < keyBytes.size(); ++i)
        keyBytes[i] = static_cast<std::uint8_t>(i);
    const siphash::Key key = siphash::keyFromBytes(keyBytes);
    const std::pair<std::size_t, std::uint64_t> vectors[] = {
        {0, 0x726fdb47dd0e0e31ULL},  {1, 0x74f839c593dc67fdULL},  {7, 0xab0200f58b01d137ULL},
        {8, 0x93f5f5799a932462ULL},  {15, 0xa129ca6149be45e5ULL}, {16, 0x3f2acc7f57c29bdbULL},
        {63, 0x958a324ceb064572ULL},
    };
    for (const auto& [length, expected] : vectors) {
        std::vector<std::uint8_t> message(length);
        for (std::size_t i = 0; i < length; ++i)
            message[i] = static_cast<std::uint8_t>(i);
        EXPECT_EQ(siphash::hash(key, message), expected) << length << " bytes";
    }
}

} // namespace
