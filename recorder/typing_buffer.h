// Typed characters of the open run. They live only here, and every block that held them is
// overwritten before it is released.
#pragma once

#include "common/secure_wipe.h"

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

class TypingBuffer {
public:
    TypingBuffer() = default;
    TypingBuffer(const TypingBuffer&) = delete;
    TypingBuffer& operator=(const TypingBuffer&) = delete;
    ~TypingBuffer();

    bool empty() const { return size_ == 0; }
    std::size_t size() const { return size_; }

    void append(std::string_view characters);

    /// The run's text, in a heap block of its own (never the small-string buffer, so moving
    /// the string moves the block); this buffer is wiped and emptied.
    std::string take();

    /// Wipes and empties the buffer.
    void drop();

private:
    std::unique_ptr<char[]> data_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};
