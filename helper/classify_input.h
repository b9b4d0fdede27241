// Strict decoding of the `classify` input document.
#pragma once

#include <cstddef>
#include <istream>
#include <optional>
#include <string>
#include <string_view>

namespace helper {

struct ClassifyInput {
    std::string appName;
    std::optional<std::string> windowTitle; ///< absent when missing or null
    std::optional<std::string> domain;      ///< absent when missing or null
    std::string text;
};

/// Largest input document accepted. One screen's recognised text is a few tens of kilobytes;
/// anything near this size is not a screen and is refused rather than held in memory.
inline constexpr std::size_t maxClassifyInputBytes = 16u * 1024u * 1024u;

/// Deepest nesting of arrays and objects accepted anywhere in the document.
inline constexpr std::size_t maxClassifyInputDepth = 256;

/// Reads `input` to its end; nothing when it holds more than `limit` bytes or fails.
std::optional<std::string> readBoundedInput(std::istream& input, std::size_t limit);

/// Decodes a JSON object with the string members `appName` and `text` and the optional
/// (string or null) members `windowTitle` and `domain`; other members are ignored. Nothing
/// when the bytes are not such a document.
std::optional<ClassifyInput> decodeClassifyInput(std::string_view bytes);

} // namespace helper
