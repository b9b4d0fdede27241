// The recorder's only channel to its parent: length-prefixed frames on standard output and a
// one-byte permission answer per request on standard input.
//
// Frame: header length (u32 big-endian), payload length (u32 big-endian), JSON header with a
// "type" member, payload bytes. One process-wide lock makes every frame atomic and is held by
// a permission request until its answer byte has been read.
#pragma once

#include "common/json_writer.h"

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace CaptureStream {

/// The lock every frame is written under. Created on first use, never destroyed.
std::mutex& lock();

/// Replaces the stream's ends and the command line stream mode is read from, and turns the
/// interrupt descriptor off. Defaults: output 1, input 0, no arguments (stream mode off).
void configure(int outFd, int inFd, std::vector<std::string> args);

/// Sets the command line (all arguments, program name included) stream mode is read from.
void setArguments(std::vector<std::string> args);

/// What happens once the parent has closed standard output (a write failed with EPIPE), or a
/// write error cut a frame short. Default: the process ends at once with status 0, running no
/// exit handlers.
void setBrokenPipeHandler(std::function<void()> handler);

/// Makes a permission request give up, denied, once `fd` is readable (an interrupt waits to
/// be handled): a request still waiting for its answer stops waiting, and later requests are
/// not written. A frame whose reader takes nothing more for half a second after `fd` turned
/// readable is given up too, and so is every frame after it (see `givenUp`). -1, the default,
/// turns this off.
void setInterruptDescriptor(int fd);

/// True once the stream has been given up: an interrupt came while the parent did not read.
/// Nothing more is written, not even the finish frame; the last frame may be cut short.
bool givenUp();

/// Makes writes to a closed pipe fail with EPIPE instead of killing the process.
/// Start-up calls this before the first frame can be written.
void ignoreBrokenPipeSignal();

/// True when one argument is exactly "--stream".
bool isStreamMode(const std::vector<std::string>& args);

/// The 8-byte prefix for a header and payload of these sizes; nothing when either is 2^32
/// bytes or more and so cannot be described.
std::optional<std::array<std::uint8_t, 8>> lengthPrefix(std::uint64_t headerBytes,
                                                        std::uint64_t payloadBytes);

/// Writes one frame. The caller holds `lock()`. Returns whether the whole frame was written;
/// a header that cannot be serialised, or a frame too large for its prefix, writes nothing.
bool write(const json::Value& header, std::span<const std::uint8_t> payload);

/// Writes one frame under the lock.
bool send(const json::Value& header, std::span<const std::uint8_t> payload = {});

/// Writes `event` as the "event" member of a frame of `frameType` for `session`.
/// Dropped silently when it cannot be encoded (a real that is not finite).
void recordValue(std::string_view frameType, const std::string& session, const json::Value& event);

/// Writes a record (ActionRecord, FocusRecord) as one frame of `frameType` for `session`.
template <typename Record>
void record(std::string_view frameType, const std::string& session, const Record& value) {
    recordValue(frameType, session, value.toJson());
}

/// Asks the parent whether the next piece of work may be recorded: writes {"type":"permit"}
/// and reads one answer byte. 01 grants; any other byte, or end of input, denies; so does an
/// interrupt (see `setInterruptDescriptor`). Always false, with nothing written, outside
/// stream mode.
bool permitted();

} // namespace CaptureStream
