// Byte-level UTF-8 decoding and encoding shared by the text rules and the JSON writer.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace text::utf8 {

inline constexpr char32_t replacementCharacter = 0xFFFD;

/// One step of decoding: a well-formed sequence of `length` bytes encoding `scalar`, or
/// (when `valid` is false) a maximal ill-formed subpart of `length` bytes.
struct Step {
    std::size_t length;
    char32_t scalar;
    bool valid;
};

/// Decodes the sequence starting at `bytes[at]` (`at` must be inside `bytes`).
/// Only the well-formed sequences are accepted: no overlongs, no surrogates, nothing above
/// U+10FFFF. The lead byte fixes the number of continuation bytes and the second byte's range.
inline Step decode(std::string_view bytes, std::size_t at) {
    const auto lead = static_cast<unsigned char>(bytes[at]);
    if (lead < 0x80) return {1, lead, true};

    std::size_t continuation = 0;
    unsigned char secondLow = 0x80;
    unsigned char secondHigh = 0xBF;
    char32_t scalar = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        continuation = 1;
        scalar = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        continuation = 2;
        scalar = lead & 0x0Fu;
        if (lead == 0xE0) secondLow = 0xA0;
        if (lead == 0xED) secondHigh = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        continuation = 3;
        scalar = lead & 0x07u;
        if (lead == 0xF0) secondLow = 0x90;
        if (lead == 0xF4) secondHigh = 0x8F;
    } else {
        return {1, replacementCharacter, false};
    }

    for (std::size_t k = 1; k <= continuation; ++k) {
        if (at + k >= bytes.size()) return {k, replacementCharacter, false};
        const auto byte = static_cast<unsigned char>(bytes[at + k]);
        const unsigned char low = k == 1 ? secondLow : 0x80;
        const unsigned char high = k == 1 ? secondHigh : 0xBF;
        if (byte < low || byte > high) return {k, replacementCharacter, false};
        scalar = (scalar << 6) | (byte & 0x3Fu);
    }
    return {continuation + 1, scalar, true};
}

/// Appends the UTF-8 encoding of the Unicode scalar value `scalar`.
inline void append(std::string& out, char32_t scalar) {
    auto put = [&out](char32_t bits) { out.push_back(static_cast<char>(bits)); };
    if (scalar < 0x80) {
        put(scalar);
    } else if (scalar < 0x800) {
        put(0xC0 | (scalar >> 6));
        put(0x80 | (scalar & 0x3F));
    } else if (scalar < 0x10000) {
        put(0xE0 | (scalar >> 12));
        put(0x80 | ((scalar >> 6) & 0x3F));
        put(0x80 | (scalar & 0x3F));
    } else {
        put(0xF0 | (scalar >> 18));
        put(0x80 | ((scalar >> 12) & 0x3F));
        put(0x80 | ((scalar >> 6) & 0x3F));
        put(0x80 | (scalar & 0x3F));
    }
}

} // namespace text::utf8
