#include "recorder/typing_buffer.h"

#include <algorithm>
#include <cstring>

namespace {

// Larger than any small-string buffer, so a taken run always gets its own heap block.
constexpr std::size_t minimumTakenCapacity = 64;
constexpr std::size_t initialCapacity = 64;

} // namespace

TypingBuffer::~TypingBuffer() {
    drop();
}

void TypingBuffer::append(std::string_view characters) {
    if (characters.empty()) return;
    const std::size_t needed = size_ + characters.size();
    if (needed > capacity_) {
        const std::size_t grown = std::max({needed, capacity_ * 2, initialCapacity});
        auto larger = std::make_unique<char[]>(grown);
        if (size_ > 0) std::memcpy(larger.get(), data_.get(), size_);
        if (data_) wipeMemory(data_.get(), capacity_);
        data_ = std::move(larger);
        capacity_ = grown;
    }
    std::memcpy(data_.get() + size_, characters.data(), characters.size());
    size_ = needed;
}

std::string TypingBuffer::take() {
    std::string text;
    text.reserve(std::max(size_, minimumTakenCapacity));
    if (size_ > 0) text.append(data_.get(), size_);
    drop();
    return text;
}

void TypingBuffer::drop() {
    if (data_) wipeMemory(data_.get(), capacity_);
    size_ = 0;
}
