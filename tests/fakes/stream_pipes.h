// Real pipes in place of the recorder's standard input, output and error, for tests that
// read every byte the recorder writes and answer its permission requests.
#pragma once

#include "recorder/capture_stream.h"
#include "recorder/user_messages.h"

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <fcntl.h>
#include <mutex>
#include <nlohmann/json.hpp>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <unistd.h>
#include <vector>

/// One frame as the parent sees it.
struct ParsedFrame {
    std::string headerText;
    nlohmann::json header;
    std::string payload;

    std::string type() const { return header.value("type", std::string()); }
};

/// Frames parsed from a byte stream; `trailingBytes` counts bytes of an incomplete frame.
struct ParsedStream {
    std::vector<ParsedFrame> frames;
    std::size_t trailingBytes = 0;
    bool malformedHeader = false;

    std::vector<ParsedFrame> ofType(std::string_view type) const {
        std::vector<ParsedFrame> out;
        for (const auto& frame : frames) {
            if (frame.type() == type) out.push_back(frame);
        }
        return out;
    }
    /// Frame types in order, permit requests left out.
    std::vector<std::string> typesWithoutPermits() const {
        std::vector<std::string> out;
        for (const auto& frame : frames) {
            if (frame.type() != "permit") out.push_back(frame.type());
        }
        return out;
    }
};

inline std::uint32_t readBigEndian32(std::string_view bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    }
    return value;
}

inline ParsedStream parseFrames(std::string_view bytes) {
    ParsedStream out;
    std::size_t at = 0;
    while (bytes.size() - at >= 8) {
        const std::size_t headerLength = readBigEndian32(bytes, at);
        const std::size_t payloadLength = readBigEndian32(bytes, at + 4);
        if (bytes.size() - at - 8 < headerLength + payloadLength) break;
        ParsedFrame frame;
        frame.headerText = std::string(bytes.substr(at + 8, headerLength));
        frame.payload = std::string(bytes.substr(at + 8 + headerLength, payloadLength));
        frame.header = nlohmann::json::parse(frame.headerText, nullptr, false);
        if (frame.header.is_discarded() || !frame.header.is_object()) out.malformedHeader = true;
        out.frames.push_back(std::move(frame));
        at += 8 + headerLength + payloadLength;
    }
    out.trailingBytes = bytes.size() - at;
    return out;
}

class StreamPipes {
public:
    explicit StreamPipes(std::vector<std::string> args = {"stepreel", "--stream"}) {
        CaptureStream::ignoreBrokenPipeSignal();
        makePipe(output_);
        makePipe(input_);
        makePipe(errors_);
        makePipe(stop_);
        setNonBlocking(output_[0]);
        setNonBlocking(errors_[0]);
        CaptureStream::configure(output_[1], input_[0], std::move(args));
        CaptureStream::setBrokenPipeHandler([this] { brokenPipeCalls_.fetch_add(1); });
        UserMessages::setFd(errors_[1]);
        reader_ = std::thread([this] { collect(); });
    }

    StreamPipes(const StreamPipes&) = delete;
    StreamPipes& operator=(const StreamPipes&) = delete;

    ~StreamPipes() {
        const char stop = 's';
        (void)!::write(stop_[1], &stop, 1);
        reader_.join();
        // Later writes fail quietly on an invalid descriptor instead of reaching the test's own.
        CaptureStream::configure(-1, -1, {});
        CaptureStream::setBrokenPipeHandler(nullptr);
        UserMessages::setFd(-1);
        for (int* pipe : {output_, input_, errors_, stop_}) {
            for (int i = 0; i < 2; ++i)
                closeFd(pipe[i]);
        }
    }

    /// Bytes for the recorder to read as answers.
    void answer(std::string_view bytes) {
        while (!bytes.empty()) {
            const ssize_t written = ::write(input_[1], bytes.data(), bytes.size());
            if (written < 0) throw std::runtime_error("answer pipe");
            bytes.remove_prefix(static_cast<std::size_t>(written));
        }
    }
    /// `count` granting answers.
    void grant(std::size_t count) { answer(std::string(count, '\x01')); }
    /// The parent closes the recorder's standard input.
    void closeInput() { closeFd(input_[1]); }
    /// The parent closes its end of the recorder's standard output.
    /// Returns once the reader thread has closed it, so no poll still holds the pipe open.
    void closeOutputReader() {
        const char command = 'c';
        (void)!::write(stop_[1], &command, 1);
        std::unique_lock guard(mutex_);
        outputClosed_.wait(guard, [this] { return output_[0] < 0; });
    }

    /// Every byte written to standard output so far.
    std::string output() {
        drain();
        std::lock_guard guard(mutex_);
        return out_;
    }
    /// Every byte written to standard error so far.
    std::string errorText() {
        drain();
        std::lock_guard guard(mutex_);
        return err_;
    }
    ParsedStream frames() { return parseFrames(output()); }
    int brokenPipeCalls() const { return brokenPipeCalls_.load(); }

private:
    static void makePipe(int (&fds)[2]) {
        if (::pipe(fds) != 0) throw std::runtime_error("pipe");
    }
    static void setNonBlocking(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK); }
    static void closeFd(int& fd) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }

    // Reads whatever is waiting on both pipes. Holds the mutex, so reads never interleave.
    void drain() {
        std::lock_guard guard(mutex_);
        readAvailable(output_[0], out_);
        readAvailable(errors_[0], err_);
    }
    static void readAvailable(int fd, std::string& into) {
        if (fd < 0) return;
        char buffer[65536];
        for (;;) {
            const ssize_t got = ::read(fd, buffer, sizeof buffer);
            if (got > 0) {
                into.append(buffer, static_cast<std::size_t>(got));
                continue;
            }
            if (got < 0 && errno == EINTR) continue;
            return;
        }
    }

    // Keeps the output pipes from filling up while the recorder writes. The descriptors it
    // polls are only closed here or after it has stopped.
    void collect() {
        for (;;) {
            int outFd = 0;
            {
                std::lock_guard guard(mutex_);
                outFd = output_[0];
            }
            pollfd fds[3] = {{stop_[0], POLLIN, 0}, {outFd, POLLIN, 0}, {errors_[0], POLLIN, 0}};
            if (::poll(fds, 3, -1) < 0 && errno != EINTR) return;
            if (fds[0].revents != 0) {
                char command = 's';
                (void)!::read(stop_[0], &command, 1);
                if (command != 'c') return;
                std::lock_guard guard(mutex_);
                closeFd(output_[0]);
                outputClosed_.notify_all();
                continue;
            }
            drain();
        }
    }

    int output_[2] = {-1, -1};
    int input_[2] = {-1, -1};
    int errors_[2] = {-1, -1};
    int stop_[2] = {-1, -1};
    std::mutex mutex_;
    std::condition_variable outputClosed_;
    std::string out_;
    std::string err_;
    std::atomic<int> brokenPipeCalls_{0};
    std::thread reader_;
};
