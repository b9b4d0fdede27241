// The end of the line being typed, as the keys since the last break leave it: characters
// inserted at the caret, erased before or after it, the caret moved over them. Holds at most
// `capacity` characters (the one farthest from the caret goes first) and wipes every
// character it lets go of.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

class TypedLine {
public:
    static constexpr std::size_t capacity = 64;

    TypedLine() = default;
    TypedLine(const TypedLine&) = delete;
    TypedLine& operator=(const TypedLine&) = delete;
    ~TypedLine() { clear(); }

    void insert(char32_t character);
    void eraseBefore();
    void eraseAfter();
    /// False when the caret would leave the known characters: what lies there is unknown.
    bool moveLeft();
    bool moveRight();
    void clear();

    std::u32string_view characters() const { return {characters_.data(), size_}; }
    /// True once characters at the start have been let go of.
    bool overflowed() const { return overflowed_; }

private:
    std::array<char32_t, capacity> characters_{};
    std::size_t size_ = 0;
    std::size_t caret_ = 0;
    bool overflowed_ = false;
};
