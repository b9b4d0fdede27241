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

inline ParsedStream parseFrames(std::string_view bytes) {
    const auto length = [&bytes](std::size_t at) {
        std::size_t value = 0;
        for (std::size_t i = 0; i < 4; ++i)
            value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
        return value;
    };
    ParsedStream out;
    std::size_t at = 0;
    while (bytes.size() - at >= 8) {
        const std::size_t headerLength = length(at), payloadLength = length(at + 4);
        if (bytes.size() - at - 8 < headerLength + payloadLength) break;
        ParsedFrame frame;
        frame.headerText = std::string(bytes.substr(at + 8, headerLength));
        frame.payload = std::string(bytes.substr(at + 8 + headerLength, payloadLength));
        frame.header = nlohmann::json::parse(frame.headerText, nullptr, false);
        if (!frame.header.is_object()) out.malformedHeader = true;
        out.frames.push_back(std::move(frame));
        at += 8 + headerLength + payloadLength;
    }
    out.trailingBytes = bytes.size() - at;
    return out;
}

/// The three standard streams as pipes, configured as the recorder's. A thread keeps the
/// output and error pipes drained, so a writer never blocks however much it writes.
class StreamPipes {
public:
    explicit StreamPipes(std::vector<std::string> args = {"stepreel", "--stream"}) {
        CaptureStream::ignoreBrokenPipeSignal();
        for (int* ends : {output_, input_, errors_, stop_}) {
            if (::pipe(ends) != 0) throw std::runtime_error("pipe");
            for (int i = 0; i < 2; ++i)
                ::fcntl(ends[i], F_SETFD, FD_CLOEXEC);
        }
        for (const int fd : {output_[0], errors_[0]})
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        CaptureStream::configure(output_[1], input_[0], std::move(args));
        CaptureStream::setBrokenPipeHandler([this] { brokenPipeCalls_.fetch_add(1); });
        UserMessages::setFd(errors_[1]);
        reader_ = std::thread([this] { collect(); });
    }
    StreamPipes(const StreamPipes&) = delete;
    StreamPipes& operator=(const StreamPipes&) = delete;

    ~StreamPipes() {
        command('s');
        reader_.join();
        // Later writes fail quietly on an invalid descriptor instead of reaching the test's own.
        CaptureStream::configure(-1, -1, {});
        CaptureStream::setBrokenPipeHandler(nullptr);
        UserMessages::setFd(-1);
        for (int* ends : {output_, input_, errors_, stop_}) {
            for (int i = 0; i < 2; ++i)
                closeFd(ends[i]);
        }
    }

    int inputReadEnd() const { return input_[0]; }
    int outputWriteEnd() const { return output_[1]; }
    int errorWriteEnd() const { return errors_[1]; }

    /// Bytes for the recorder to read as answers.
    void answer(std::string_view bytes) {
        if (::write(input_[1], bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
            throw std::runtime_error("answer pipe");
    }
    /// `count` granting answers.
    void grant(std::size_t count) { answer(std::string(count, '\x01')); }
    /// The parent closes the recorder's standard input.
    void closeInput() { closeFd(input_[1]); }
    /// The parent closes its end of the recorder's standard output. Returns once the reader
    /// thread has closed it, so no poll still holds the pipe open.
    void closeOutputReader() {
        command('c');
        std::unique_lock guard(mutex_);
        outputClosed_.wait(guard, [this] { return output_[0] < 0; });
    }

    /// Every byte written to standard output so far.
    std::string output() {
        std::lock_guard guard(mutex_);
        drain();
        return out_;
    }
    /// Every byte written to standard error so far.
    std::string errorText() {
        std::lock_guard guard(mutex_);
        drain();
        return err_;
    }
    ParsedStream frames() { return parseFrames(output()); }
    int brokenPipeCalls() const { return brokenPipeCalls_.load(); }

private:
    static void closeFd(int& fd) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
    void command(char c) { (void)!::write(stop_[1], &c, 1); }

    // Reads whatever is waiting on both pipes; the caller holds the mutex.
    void drain() {
        char buffer[65536];
        for (auto [fd, into] : {std::pair{output_[0], &out_}, std::pair{errors_[0], &err_}}) {
            while (fd >= 0) {
                const ssize_t got = ::read(fd, buffer, sizeof buffer);
                if (got > 0)
                    into->append(buffer, static_cast<std::size_t>(got));
                else if (got == 0 || errno != EINTR)
                    break;
            }
        }
    }

    // The descriptors it polls are only closed here or after it has stopped.
    void collect() {
        for (;;) {
            int outFd = 0;
            {
                std::lock_guard guard(mutex_);
                outFd = output_[0];
            }
            pollfd fds[3] = {{stop_[0], POLLIN, 0}, {outFd, POLLIN, 0}, {errors_[0], POLLIN, 0}};
            if (::poll(fds, 3, -1) < 0 && errno != EINTR) return;
            std::lock_guard guard(mutex_);
            if (fds[0].revents != 0) {
                char c = 's';
                (void)!::read(stop_[0], &c, 1);
                if (c != 'c') return;
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
