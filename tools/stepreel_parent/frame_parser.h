// Incremental reader of the recorder's frame stream: two big-endian 32-bit lengths, a
// JSON header, a payload. Bytes are fed as they arrive; complete frames come out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace stepreel_parent {

struct Frame {
    std::uint64_t offset = 0; ///< stream offset of the frame's first length byte
    std::string type;         ///< the header's "type"
    nlohmann::json header;    ///< the whole header object
    std::vector<std::uint8_t> payload;
};

/// A stream fault, always tied to the byte offset where it was found.
struct StreamError {
    std::uint64_t offset = 0;
    std::string message;

    std::string describe() const;
};

struct FrameLimits {
    std::uint32_t maxHeaderBytes = 1u << 20;   ///< headers are small JSON objects
    std::uint32_t maxPayloadBytes = 64u << 20; ///< one JPEG of at most 2048 px on its long edge
};

class FrameParser {
public:
    explicit FrameParser(FrameLimits limits = {}) : limits_(limits) {}

    /// Appends bytes read from the stream.
    void feed(const std::uint8_t* data, std::size_t size);

    /// The next complete frame, or nothing when more bytes are needed or the stream is
    /// broken (see error()). A broken stream yields no further frames: once the lengths
    /// cannot be trusted there is no way to find the next frame boundary.
    std::optional<Frame> next();

    /// The fault that stopped the stream, if any.
    const std::optional<StreamError>& error() const { return error_; }

    /// Call at end of input: reports a frame cut short (or keeps an earlier fault).
    const std::optional<StreamError>& finish();

    /// Bytes consumed so far as whole frames.
    std::uint64_t consumedBytes() const { return base_ + pos_; }

private:
    void fail(std::uint64_t offset, std::string message);

    FrameLimits limits_;
    std::vector<std::uint8_t> buffer_;
    std::size_t pos_ = 0;    ///< start of the first unparsed frame inside buffer_
    std::uint64_t base_ = 0; ///< stream offset of buffer_[0]
    std::optional<StreamError> error_;
};

/// Checks a parsed frame against the layout of its type (members, value types, payload).
/// Returns a description of the first problem found.
std::optional<std::string> validateFrame(const Frame& frame);

} // namespace stepreel_parent
