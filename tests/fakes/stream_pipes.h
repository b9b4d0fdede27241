// Real pipes in place of the recorder's standard streams, read as the parent reads them.
#pragma once

#include "recorder/capture_stream.h"
#include "recorder/user_messages.h"

#include <atomic>
#include <cerrno>
#include <condition_variable>
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
        for (const auto& frame : frames)
            if (frame.type() == type) out.push_back(frame);
        return out;
    }
    std::vector<std::string> typesWithoutPermits() const {
        std::vector<std::string> out;
        for (const auto& frame : frames)
            if (frame.type() != "permit") out.push_back(frame.type());
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
        ParsedFrame frame{std::string(bytes.substr(at + 8, headerLength)),
                          {},
                          std::string(bytes.substr(at + 8 + headerLength, payloadLength))};
        frame.header = nlohmann::json::parse(frame.headerText, nullptr, false);
        out.malformedHeader |= !frame.header.is_object();
        out.frames.push_back(std::move(frame));
        at += 8 + headerLength + payloadLength;
    }
    out.trailingBytes = bytes.size() - at;
    return out;
}

/// The three standard streams as pipes, configured as the recorder's. A thread keeps output
/// and error drained, so a writer never blocks however much it writes.
class StreamPipes {
public:
    explicit StreamPipes(std::vector<std::string> args = {"stepreel", "--stream"}) {
        CaptureStream::ignoreBrokenPipeSignal();
        for (int* ends : {output_, input_, errors_, control_}) {
            if (::pipe(ends) != 0) throw std::runtime_error("pipe");
            for (int i : {0, 1})
                ::fcntl(ends[i], F_SETFD, FD_CLOEXEC);
        }
        for (const int fd : {output_[0], errors_[0]})
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        CaptureStream::configure(output_[1], input_[0], std::move(args));
        CaptureStream::setBrokenPipeHandler([this] { ++brokenPipeCalls_; });
        UserMessages::setFd(errors_[1]);
        reader_ = std::thread([this] { collect(); });
    }
    StreamPipes(const StreamPipes&) = delete;
    StreamPipes& operator=(const StreamPipes&) = delete;
    ~StreamPipes() {
        command('s');
        reader_.join();
        // Later writes fail on an invalid descriptor instead of reaching the test's own.
        CaptureStream::configure(-1, -1, {});
        CaptureStream::setBrokenPipeHandler(nullptr);
        UserMessages::setFd(-1);
        for (int* ends : {output_, input_, errors_, control_})
            for (int i : {0, 1})
                closeFd(ends[i]);
    }

    int inputReadEnd() const { return input_[0]; }
    int outputWriteEnd() const { return output_[1]; }
    int errorWriteEnd() const { return errors_[1]; }

    /// Bytes for the recorder to read as answers.
    void answer(std::string_view bytes) {
        if (::write(input_[1], bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
            throw std::runtime_error("answer pipe");
    }
    void grant(std::size_t count) { answer(std::string(count, '\x01')); }
    void closeInput() { closeFd(input_[1]); }
    /// The parent stops reading. Returns once the reader thread, the only one polling the
    /// pipe, has closed it.
    void closeOutputReader() {
        command('c');
        std::unique_lock guard(mutex_);
        outputClosed_.wait(guard, [this] { return output_[0] < 0; });
    }

    std::string output() { return drained(out_); }
    std::string errorText() { return drained(err_); }
    ParsedStream frames() { return parseFrames(output()); }
    int brokenPipeCalls() const { return brokenPipeCalls_.load(); }

private:
    static void closeFd(int& fd) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
    void command(char c) { (void)!::write(control_[1], &c, 1); }
    std::string drained(const std::string& bytes) {
        std::lock_guard guard(mutex_);
        drain();
        return bytes;
    }
    // Reads whatever is waiting on both pipes; the caller holds the mutex.
    void drain() {
        char buffer[65536];
        for (auto [fd, into] : {std::pair{output_[0], &out_}, std::pair{errors_[0], &err_}}) {
            for (ssize_t got = 1; fd >= 0 && got != 0;) {
                got = ::read(fd, buffer, sizeof buffer);
                if (got > 0) into->append(buffer, static_cast<std::size_t>(got));
                if (got < 0 && errno != EINTR) break;
            }
        }
    }
    void collect() {
        for (;;) {
            int outFd = 0;
            {
                std::lock_guard guard(mutex_);
                outFd = output_[0];
            }
            pollfd fds[3] = {{control_[0], POLLIN, 0}, {outFd, POLLIN, 0}, {errors_[0], POLLIN, 0}};
            if (::poll(fds, 3, -1) < 0 && errno != EINTR) return;
            std::lock_guard guard(mutex_);
            if (fds[0].revents != 0) {
                char c = 's';
                (void)!::read(control_[0], &c, 1);
                if (c != 'c') return;
                closeFd(output_[0]);
                outputClosed_.notify_all();
            } else {
                drain();
            }
        }
    }

    int output_[2] = {-1, -1}, input_[2] = {-1, -1}, errors_[2] = {-1, -1}, control_[2] = {-1, -1};
    std::mutex mutex_;
    std::condition_variable outputClosed_;
    std::string out_, err_;
    std::atomic<int> brokenPipeCalls_{0};
    std::thread reader_;
};
