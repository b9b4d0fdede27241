#include "helper/ocr_operand.h"

#include <limits>

namespace helper {

std::optional<std::uint32_t> parseWindowId(std::string_view operand) {
    bool negative = false;
    if (!operand.empty() && (operand.front() == '+' || operand.front() == '-')) {
        negative = operand.front() == '-';
        operand.remove_prefix(1);
    }
    if (operand.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (char c : operand) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
        if (value > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
    }
    if (negative && value != 0) return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

} // namespace helper
