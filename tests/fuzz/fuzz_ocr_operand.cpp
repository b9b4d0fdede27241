// The ocr operand parser against a second, string-based reading of the same rule.
#include "helper/ocr_operand.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

/// The rule read as text: sign, digits, no leading-zero-stripped value longer or larger than
/// "4294967295"; after "-" only zeros.
std::optional<std::uint32_t> expectedWindowId(std::string_view operand) {
    constexpr auto npos = std::string_view::npos;
    const bool negative = operand.starts_with('-');
    if (negative || operand.starts_with('+')) operand.remove_prefix(1);
    if (operand.empty() || operand.find_first_not_of("0123456789") != npos) return std::nullopt;
    const auto firstNonZero = operand.find_first_not_of('0');
    const std::string_view digits = firstNonZero == npos ? "0" : operand.substr(firstNonZero);
    const std::string_view max = "4294967295";
    if ((negative && digits != "0") || digits.size() > max.size() ||
        (digits.size() == max.size() && digits > max))
        return std::nullopt;
    return static_cast<std::uint32_t>(std::stoull(std::string(digits)));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view operand(reinterpret_cast<const char*>(data), size);
    if (helper::parseWindowId(operand) != expectedWindowId(operand)) std::abort();
    return 0;
}
