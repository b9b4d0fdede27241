#include "common/siphash.h"

#include <bit>
#include <cstddef>

namespace siphash {
namespace {

std::uint64_t readLittleEndian(const std::uint8_t* bytes, std::size_t count) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < count; ++i)
        value |= static_cast<std::uint64_t>(bytes[i]) << (8 * i);
    return value;
}

struct State {
    std::uint64_t v0, v1, v2, v3;

    void round() {
        v0 += v1;
        v1 = std::rotl(v1, 13);
        v1 ^= v0;
        v0 = std::rotl(v0, 32);
        v2 += v3;
        v3 = std::rotl(v3, 16);
        v3 ^= v2;
        v0 += v3;
        v3 = std::rotl(v3, 21);
        v3 ^= v0;
        v2 += v1;
        v1 = std::rotl(v1, 17);
        v1 ^= v2;
        v2 = std::rotl(v2, 32);
    }

    void absorb(std::uint64_t word) {
        v3 ^= word;
        round();
        round();
        v0 ^= word;
    }
};

} // namespace

Key keyFromBytes(const std::array<std::uint8_t, 16>& bytes) {
    return {readLittleEndian(bytes.data(), 8), readLittleEndian(bytes.data() + 8, 8)};
}

std::uint64_t hash(const Key& key, std::span<const std::uint8_t> message) {
    State state{key.k0 ^ 0x736f6d6570736575ULL, key.k1 ^ 0x646f72616e646f6dULL,
                key.k0 ^ 0x6c7967656e657261ULL, key.k1 ^ 0x7465646279746573ULL};
    const std::size_t whole = message.size() / 8 * 8;
    for (std::size_t at = 0; at < whole; at += 8)
        state.absorb(readLittleEndian(message.data() + at, 8));
    // The last word holds the remaining bytes and the message length's low byte on top.
    const std::uint64_t last = readLittleEndian(message.data() + whole, message.size() - whole) |
                               (static_cast<std::uint64_t>(message.size() & 0xff) << 56);
    state.absorb(last);
    state.v2 ^= 0xff;
    for (int i = 0; i < 4; ++i)
        state.round();
    return state.v0 ^ state.v1 ^ state.v2 ^ state.v3;
}

} // namespace siphash
