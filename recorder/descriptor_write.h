// Writing a whole buffer to a descriptor.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

enum class WriteOutcome { written, brokenPipe, failed };

/// Writes all of `bytes` to `fd`, across partial writes, interruptions and a non-blocking
/// descriptor (it waits until the descriptor takes more).
WriteOutcome writeFully(int fd, std::span<const std::uint8_t> bytes);

/// `text` as bytes.
inline std::span<const std::uint8_t> bytesOf(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}
