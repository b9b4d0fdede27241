// SipHash-2-4: a keyed 64-bit hash. Without the key its outputs tell nothing of the input,
// so what they were taken of cannot be tried out.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace siphash {

/// A 128-bit key, as two little-endian 64-bit halves.
struct Key {
    std::uint64_t k0 = 0;
    std::uint64_t k1 = 0;
};

/// The key whose 16 bytes, in order, are `bytes`.
Key keyFromBytes(const std::array<std::uint8_t, 16>& bytes);

/// SipHash-2-4 of `message` under `key`.
std::uint64_t hash(const Key& key, std::span<const std::uint8_t> message);

} // namespace siphash
