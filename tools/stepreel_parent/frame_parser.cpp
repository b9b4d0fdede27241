#include "tools/stepreel_parent/frame_parser.h"

#include <algorithm>
#include <initializer_list>
#include <string_view>

namespace stepreel_parent {

namespace {

constexpr std::size_t prefixBytes = 8;

std::uint32_t readBigEndian32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           std::uint32_t{p[3]};
}

bool containsNull(const nlohmann::json& value) {
    if (value.is_null()) return true;
    if (value.is_structured()) {
        return std::any_of(value.begin(), value.end(),
                           [](const nlohmann::json& child) { return containsNull(child); });
    }
    return false;
}

std::optional<std::string> expectMembers(const nlohmann::json& object,
                                         std::initializer_list<std::string_view> names) {
    for (std::string_view name : names) {
        if (!object.contains(name)) return "missing member \"" + std::string(name) + "\"";
    }
    for (const auto& [key, value] : object.items()) {
        if (std::find(names.begin(), names.end(), key) == names.end()) {
            return "unexpected member \"" + key + "\"";
        }
    }
    return std::nullopt;
}

bool isCount(const nlohmann::json& value) {
    return value.is_number_integer() && value.get<std::int64_t>() >= 0;
}

std::optional<std::string> validateRecord(const nlohmann::json& header, std::string_view schema) {
    const nlohmann::json& event = header["event"];
    if (!event.is_object()) return "\"event\" is not an object";
    if (containsNull(event)) return "the record contains null";
    if (event.value("schema", "") != schema)
        return "the record's schema is not " + std::string(schema);
    if (event.value("episodeId", "") != header["sessionId"].get<std::string>()) {
        return "the record's episodeId differs from sessionId";
    }
    if (schema == "quillmap.trace.v0") {
        if (!isCount(event.value("seq", nlohmann::json()))) return "the record has no valid seq";
        if (!event.value("kind", nlohmann::json()).is_string()) return "the record has no kind";
        for (const char* key : {"timestampMs", "dtMsFromPrev"}) {
            if (!event.value(key, nlohmann::json()).is_number_integer()) {
                return "the record has no integer " + std::string(key);
            }
        }
    } else {
        for (const char* key : {"enterAtMs", "exitAtMs", "durationMs"}) {
            if (!event.value(key, nlohmann::json()).is_number_integer()) {
                return "the record has no integer " + std::string(key);
            }
        }
    }
    return std::nullopt;
}

std::optional<std::string> validateScreenshot(const Frame& frame) {
    const nlohmann::json& h = frame.header;
    if (auto problem = expectMembers(
            h, {"type", "sessionId", "seq", "kind", "width", "height", "cursor", "targetBounds"})) {
        return problem;
    }
    if (!isCount(h["seq"])) return "\"seq\" is not a non-negative integer";
    if (!h["kind"].is_string()) return "\"kind\" is not text";
    for (const char* key : {"width", "height"}) {
        if (!h[key].is_number_integer() || h[key].get<std::int64_t>() <= 0) {
            return "\"" + std::string(key) + "\" is not a positive integer";
        }
    }
    const nlohmann::json& cursor = h["cursor"];
    if (!cursor.is_array() || cursor.size() != 2 || !cursor[0].is_number() ||
        !cursor[1].is_number()) {
        return "\"cursor\" is not a pair of numbers";
    }
    if (!h["targetBounds"].is_null()) return "\"targetBounds\" is not null";
    const auto& jpeg = frame.payload;
    if (jpeg.size() < 4 || jpeg[0] != 0xFF || jpeg[1] != 0xD8 || jpeg[jpeg.size() - 2] != 0xFF ||
        jpeg[jpeg.size() - 1] != 0xD9) {
        return "the payload is not a complete JPEG file";
    }
    return std::nullopt;
}

} // namespace

std::string StreamError::describe() const {
    return "byte offset " + std::to_string(offset) + ": " + message;
}

void FrameParser::feed(const std::uint8_t* data, std::size_t size) {
    if (error_ || size == 0) return;
    // Drop consumed bytes before growing, so the buffer holds at most one partial frame.
    if (pos_ > 0) {
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(pos_));
        base_ += pos_;
        pos_ = 0;
    }
    buffer_.insert(buffer_.end(), data, data + size);
}

void FrameParser::fail(std::uint64_t offset, std::string message) {
    if (!error_) error_ = StreamError{offset, std::move(message)};
}

std::optional<Frame> FrameParser::next() {
    if (error_) return std::nullopt;
    const std::size_t available = buffer_.size() - pos_;
    if (available < prefixBytes) return std::nullopt;
    const std::uint8_t* start = buffer_.data() + pos_;
    const std::uint64_t offset = base_ + pos_;
    const std::uint32_t headerBytes = readBigEndian32(start);
    const std::uint32_t payloadBytes = readBigEndian32(start + 4);
    if (headerBytes == 0 || headerBytes > limits_.maxHeaderBytes) {
        fail(offset, "header length " + std::to_string(headerBytes) + " is out of range");
        return std::nullopt;
    }
    if (payloadBytes > limits_.maxPayloadBytes) {
        fail(offset, "payload length " + std::to_string(payloadBytes) + " is out of range");
        return std::nullopt;
    }
    const std::size_t total = prefixBytes + std::size_t{headerBytes} + payloadBytes;
    if (available < total) return std::nullopt;

    const auto* headerBegin = start + prefixBytes;
    const auto* headerEnd = headerBegin + headerBytes;
    Frame frame;
    frame.offset = offset;
    if (headerBegin[0] != '{' || headerEnd[-1] != '}') {
        fail(offset + prefixBytes, "header is not one compact JSON object");
        return std::nullopt;
    }
    try {
        frame.header = nlohmann::json::parse(headerBegin, headerEnd);
    } catch (const nlohmann::json::parse_error& e) {
        fail(offset + prefixBytes, std::string("header is not valid JSON (") + e.what() + ")");
        return std::nullopt;
    }
    if (!frame.header.is_object() || !frame.header.contains("type") ||
        !frame.header["type"].is_string()) {
        fail(offset + prefixBytes, "header has no text member \"type\"");
        return std::nullopt;
    }
    frame.type = frame.header["type"].get<std::string>();
    frame.payload.assign(headerEnd, headerEnd + payloadBytes);
    pos_ += total;
    return frame;
}

const std::optional<StreamError>& FrameParser::finish() {
    const std::size_t pending = buffer_.size() - pos_;
    if (!error_ && pending > 0) {
        std::string message = "stream ends inside a frame (" + std::to_string(pending) + " byte";
        message += pending == 1 ? "" : "s";
        if (pending >= prefixBytes) {
            const std::uint8_t* start = buffer_.data() + pos_;
            const std::uint64_t expected =
                prefixBytes + std::uint64_t{readBigEndian32(start)} + readBigEndian32(start + 4);
            message += " of " + std::to_string(expected);
        }
        message += ")";
        fail(base_ + pos_, std::move(message));
    }
    return error_;
}

std::optional<std::string> validateFrame(const Frame& frame) {
    const nlohmann::json& h = frame.header;
    const bool hasSession = h.contains("sessionId") && h["sessionId"].is_string();
    if (frame.type != "frame" && !frame.payload.empty()) {
        return "a \"" + frame.type + "\" frame carries a payload";
    }
    if (frame.type == "permit") return expectMembers(h, {"type"});
    if (frame.type == "events" || frame.type == "focus") {
        if (auto problem = expectMembers(h, {"type", "sessionId", "event"})) return problem;
        if (!hasSession) return "\"sessionId\" is not text";
        return validateRecord(h,
                              frame.type == "events" ? "quillmap.trace.v0" : "quillmap.focus.v0");
    }
    if (frame.type == "frame") {
        if (!hasSession) return "\"sessionId\" is not text";
        return validateScreenshot(frame);
    }
    if (frame.type == "loss" || frame.type == "finish") {
        if (auto problem = expectMembers(h, {"type", "sessionId"})) return problem;
        if (!hasSession) return "\"sessionId\" is not text";
        return std::nullopt;
    }
    return "unknown frame type \"" + frame.type + "\"";
}

} // namespace stepreel_parent
