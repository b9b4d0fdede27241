#include "recorder/hashed_piece_set.h"

#include "common/secure_wipe.h"

#include <new>

namespace {

constexpr std::size_t wordCount = HashedPieceSet::bitCount / 64;

/// The bit positions of a piece, by double hashing of its 64-bit keyed hash.
template <typename Visit>
bool forEachBit(const siphash::Key& key, std::span<const std::uint8_t> piece, Visit visit) {
    const std::uint64_t hash = siphash::hash(key, piece);
    const std::uint64_t first = hash & 0xffffffffULL;
    const std::uint64_t step = (hash >> 32) | 1;
    for (int i = 0; i < HashedPieceSet::bitsPerPiece; ++i) {
        const std::uint64_t bit =
            (first + static_cast<std::uint64_t>(i) * step) % HashedPieceSet::bitCount;
        if (!visit(bit / 64, std::uint64_t{1} << (bit % 64))) return false;
    }
    return true;
}

} // namespace

HashedPieceSet::HashedPieceSet(const siphash::Key& key)
    : key_(key),
      words_(static_cast<std::uint64_t*>(std::calloc(wordCount, sizeof(std::uint64_t)))) {
    if (!words_) throw std::bad_alloc();
}

HashedPieceSet::~HashedPieceSet() {
    wipeMemory(&key_, sizeof key_);
}

void HashedPieceSet::add(std::span<const std::uint8_t> piece) {
    forEachBit(key_, piece, [this](std::size_t word, std::uint64_t mask) {
        words_[word] |= mask;
        return true;
    });
}

bool HashedPieceSet::mayHold(std::span<const std::uint8_t> piece) const {
    return forEachBit(key_, piece, [this](std::size_t word, std::uint64_t mask) {
        return (words_[word] & mask) != 0;
    });
}
