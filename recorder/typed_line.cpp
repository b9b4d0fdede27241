#include "recorder/typed_line.h"

#include "common/secure_wipe.h"

#include <algorithm>

void TypedLine::insert(char32_t character) {
    if (size_ == capacity) {
        // The character farthest from the caret goes: the first, or with the caret at the
        // start the last.
        if (caret_ > 0) {
            std::move(characters_.begin() + 1, characters_.begin() + size_, characters_.begin());
            --caret_;
        }
        characters_[--size_] = 0;
        overflowed_ = true;
    }
    std::move_backward(characters_.begin() + caret_, characters_.begin() + size_,
                       characters_.begin() + size_ + 1);
    characters_[caret_] = character;
    ++size_;
    ++caret_;
}

void TypedLine::eraseBefore() {
    if (caret_ == 0) return;
    std::move(characters_.begin() + caret_, characters_.begin() + size_,
              characters_.begin() + caret_ - 1);
    --caret_;
    characters_[--size_] = 0;
}

void TypedLine::eraseAfter() {
    if (caret_ == size_) return;
    std::move(characters_.begin() + caret_ + 1, characters_.begin() + size_,
              characters_.begin() + caret_);
    characters_[--size_] = 0;
}

bool TypedLine::moveLeft() {
    if (caret_ == 0) return false;
    --caret_;
    return true;
}

bool TypedLine::moveRight() {
    if (caret_ == size_) return false;
    ++caret_;
    return true;
}

void TypedLine::clear() {
    wipeMemory(characters_.data(), sizeof characters_);
    size_ = 0;
    caret_ = 0;
    overflowed_ = false;
}
