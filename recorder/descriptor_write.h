// Writing a whole buffer to a descriptor.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

enum class WriteOutcome {
    written,    ///< every byte
    brokenPipe, ///< the reader is gone
    cutShort,   ///< some bytes went out, then writing failed
    failed,     ///< nothing went out
};

/// Writes all of `bytes` to `fd`, across partial writes, interruptions and a non-blocking
/// descriptor (it waits until the descriptor takes more).
WriteOutcome writeFully(int fd, std::span<const std::uint8_t> bytes);

/// `text` as bytes.
inline std::span<const std::uint8_t> bytesOf(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}
