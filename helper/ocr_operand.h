// The window identifier operand of `ocr`.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace helper {

/// The window identifier named by the `ocr` operand: an optional "+" or "-", then decimal
/// digits only, fitting in 32 bits unsigned; after "-" only zero. Nothing otherwise.
std::optional<std::uint32_t> parseWindowId(std::string_view operand);

} // namespace helper
