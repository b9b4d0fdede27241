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
    givenUp,    ///< the reader took no more in time after the give-up descriptor turned readable
};

/// When a write that waits for its reader stops waiting: `graceMs` after `fd` (when not
/// negative) has turned readable.
struct GiveUp {
    int fd = -1;
    int graceMs = 0;
};

/// Writes all of `bytes` to `fd`, across partial writes, interruptions and a non-blocking
/// descriptor (it waits until the descriptor takes more, or gives up as `giveUp` says; with a
/// give-up descriptor it writes at most a pipe's atomic size after each wait, so no write
/// blocks).
WriteOutcome writeFully(int fd, std::span<const std::uint8_t> bytes, GiveUp giveUp = {});

/// `text` as bytes.
inline std::span<const std::uint8_t> bytesOf(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}
