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
    char sign = 0;
    if (!operand.empty() && (operand[0] == '+' || operand[0] == '-')) {
        sign = operand[0];
        operand.remove_prefix(1);
    }
    if (operand.empty()) return std::nullopt;
    for (char c : operand) {
        if (c < '0' || c > '9') return std::nullopt;
    }
    const auto firstNonZero = operand.find_first_not_of('0');
    const std::string_view digits = firstNonZero == std::string_view::npos
                                        ? std::string_view("0")
                                        : operand.substr(firstNonZero);
    if (sign == '-' && digits != "0") return std::nullopt;
    const std::string_view max = "4294967295";
    if (digits.size() > max.size() || (digits.size() == max.size() && digits > max)) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(std::stoull(std::string(digits)));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view operand(reinterpret_cast<const char*>(data), size);
    if (helper::parseWindowId(operand) != expectedWindowId(operand)) std::abort();
    return 0;
}
