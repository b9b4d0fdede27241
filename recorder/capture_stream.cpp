#include "recorder/capture_stream.h"

#include "recorder/descriptor_write.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <utility>

namespace CaptureStream {
namespace {

struct Settings {
    int outFd = 1;
    int inFd = 0;
    int interruptFd = -1;
    std::vector<std::string> args;
    std::function<void()> onBrokenPipe;
};

// Guards the settings only; frames are serialised by `lock()`.
std::mutex& settingsMutex() {
    static auto* mutex = new std::mutex;
    return *mutex;
}

Settings& settings() {
    static auto* value = new Settings;
    return *value;
}

// Half a second for a parent to read on after an interrupt, then the stream is given up.
constexpr int interruptGraceMs = 500;

// Set once a frame could not be written because an interrupt came while the parent did not
// read: no byte is written after it.
std::atomic<bool>& givenUpFlag() {
    static auto* flag = new std::atomic<bool>(false);
    return *flag;
}

Settings snapshot() {
    std::lock_guard guard(settingsMutex());
    return settings();
}

void endAfterBrokenPipe() {
    std::function<void()> handler;
    {
        std::lock_guard guard(settingsMutex());
        handler = settings().onBrokenPipe;
    }
    if (handler) {
        handler();
    } else {
        // The parent is gone: nothing more can be delivered, so stop quietly.
        std::_Exit(0);
    }
}

bool readable(int fd, int timeoutMs) {
    if (fd < 0) return false;
    pollfd entry{fd, POLLIN, 0};
    int ready = 0;
    while ((ready = ::poll(&entry, 1, timeoutMs)) < 0 && errno == EINTR) {
    }
    return ready > 0;
}

// Waits for one answer byte on `fd`. Nothing at end of input, on a read error, or once
// `interruptFd` is readable: an interrupt wins over an answer that arrives with it.
std::optional<std::uint8_t> readAnswer(int fd, int interruptFd) {
    if (fd < 0) return std::nullopt;
    for (;;) {
        pollfd entries[2] = {{fd, POLLIN, 0}, {interruptFd, POLLIN, 0}};
        if (::poll(entries, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        if (entries[1].revents != 0) return std::nullopt;
        if (entries[0].revents == 0) continue;
        std::uint8_t byte = 0;
        const ssize_t got = ::read(fd, &byte, 1);
        if (got == 1) return byte;
        if (got == 0) return std::nullopt;
        if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) return std::nullopt;
    }
}

// Writes prefix, header and payload as three writes. The caller holds the lock. A frame that
// stops part-way leaves the parent unable to find the next one, so the stream ends as it does
// when the parent is gone; a frame refused before its first byte is just missing. While an
// interrupt waits to be handled, a parent that does not read is waited for only briefly: the
// stream is then given up, so that the recording can end.
bool writeFrame(int fd, std::string_view headerText, std::span<const std::uint8_t> payload,
                int interruptFd) {
    const auto prefix = lengthPrefix(headerText.size(), payload.size());
    if (!prefix || givenUpFlag().load()) return false;
    bool started = false;
    for (const auto part : {std::span<const std::uint8_t>(*prefix), bytesOf(headerText), payload}) {
        switch (writeFully(fd, part, GiveUp{interruptFd, interruptGraceMs})) {
        case WriteOutcome::written:
            started = true;
            break;
        case WriteOutcome::givenUp:
            givenUpFlag().store(true);
            return false;
        case WriteOutcome::failed:
            if (!started) return false;
            [[fallthrough]];
        case WriteOutcome::brokenPipe:
        case WriteOutcome::cutShort:
            endAfterBrokenPipe();
            return false;
        }
    }
    return true;
}

std::optional<std::string> serialise(const json::Value& header) {
    return json::write(header, json::SlashStyle::escaped);
}

} // namespace

std::mutex& lock() {
    static auto* mutex = new std::mutex;
    return *mutex;
}

bool givenUp() {
    return givenUpFlag().load();
}

void configure(int outFd, int inFd, std::vector<std::string> args) {
    givenUpFlag().store(false);
    std::lock_guard guard(settingsMutex());
    settings().outFd = outFd;
    settings().inFd = inFd;
    settings().interruptFd = -1;
    settings().args = std::move(args);
}

void setArguments(std::vector<std::string> args) {
    std::lock_guard guard(settingsMutex());
    settings().args = std::move(args);
}

void setInterruptDescriptor(int fd) {
    std::lock_guard guard(settingsMutex());
    settings().interruptFd = fd;
}

void setBrokenPipeHandler(std::function<void()> handler) {
    std::lock_guard guard(settingsMutex());
    settings().onBrokenPipe = std::move(handler);
}

void ignoreBrokenPipeSignal() {
    std::signal(SIGPIPE, SIG_IGN);
}

bool isStreamMode(const std::vector<std::string>& args) {
    for (const auto& arg : args) {
        if (arg == "--stream") return true;
    }
    return false;
}

std::optional<std::array<std::uint8_t, 8>> lengthPrefix(std::uint64_t headerBytes,
                                                        std::uint64_t payloadBytes) {
    constexpr std::uint64_t limit = std::uint64_t{1} << 32;
    if (headerBytes >= limit || payloadBytes >= limit) return std::nullopt;
    std::array<std::uint8_t, 8> prefix{};
    for (int i = 0; i < 4; ++i) {
        const int shift = 24 - 8 * i;
        prefix[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(headerBytes >> shift);
        prefix[static_cast<std::size_t>(4 + i)] = static_cast<std::uint8_t>(payloadBytes >> shift);
    }
    return prefix;
}

bool write(const json::Value& header, std::span<const std::uint8_t> payload) {
    const auto text = serialise(header);
    if (!text) return false;
    const Settings current = snapshot();
    return writeFrame(current.outFd, *text, payload, current.interruptFd);
}

bool send(const json::Value& header, std::span<const std::uint8_t> payload) {
    std::lock_guard guard(lock());
    return write(header, payload);
}

void recordValue(std::string_view frameType, const std::string& session, const json::Value& event) {
    json::ObjectBuilder header;
    header.add("type", frameType).add("sessionId", session).add("event", event);
    send(std::move(header).value());
}

bool permitted() {
    const Settings current = snapshot();
    if (!isStreamMode(current.args)) return false;
    static const std::string request = R"({"type":"permit"})";
    std::lock_guard guard(lock());
    // The recording ends as soon as the loop takes the interrupt: ask for nothing more.
    if (readable(current.interruptFd, 0)) return false;
    // A request that did not reach the parent will never be answered.
    if (!writeFrame(current.outFd, request, {}, current.interruptFd)) return false;
    const auto answer = readAnswer(current.inFd, current.interruptFd);
    return answer && *answer == 0x01;
}

} // namespace CaptureStream
