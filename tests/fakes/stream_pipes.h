// The recorder's standard streams in a test, read as the parent reads them.
#pragma once

#include "recorder/capture_stream.h"
#include "recorder/user_messages.h"
#include "tools/stepreel_parent/frame_parser.h"

#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unistd.h>
#include <utility>
#include <vector>

struct ParsedFrame {
    std::string type, headerText;
    nlohmann::json header;
    std::string payload;
};

/// Frames read with the parent's own parser; `trailingBytes` counts the bytes it could not take.
struct ParsedStream {
    std::vector<ParsedFrame> frames;
    std::size_t trailingBytes = 0;

    std::vector<ParsedFrame> ofType(std::string_view type) const {
        std::vector<ParsedFrame> out;
        for (const auto& frame : frames)
            if (frame.type == type) out.push_back(frame);
        return out;
    }
    std::vector<std::string> typesWithoutPermits() const {
        std::vector<std::string> out;
        for (const auto& frame : frames)
            if (frame.type != "permit") out.push_back(frame.type);
        return out;
    }
};

/// The recorder's standard streams as its parent holds them: answers go in through a pipe;
/// output and error land in unlinked files, so no writer ever blocks, and are read back whole.
class StreamPipes {
public:
    explicit StreamPipes(std::vector<std::string> args = {"stepreel", "--stream"}) {
        CaptureStream::ignoreBrokenPipeSignal();
        if (!output_ || !errors_ || ::pipe(input_) != 0) throw std::runtime_error("stream ends");
        outputWriteEnd_ = ::dup(::fileno(output_));
        for (const int fd : {input_[0], input_[1], outputWriteEnd_, ::fileno(errors_)})
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        CaptureStream::configure(outputWriteEnd_, input_[0], std::move(args));
        CaptureStream::setBrokenPipeHandler([this] { ++brokenPipeCalls_; });
        UserMessages::setFd(errorWriteEnd());
    }
    ~StreamPipes() {
        // Later writes fail on an invalid descriptor instead of reaching the test's own.
        CaptureStream::configure(-1, -1, {});
        CaptureStream::setBrokenPipeHandler(nullptr);
        UserMessages::setFd(-1);
        for (const int fd : {input_[0], input_[1], outputWriteEnd_})
            if (fd >= 0) ::close(fd);
        std::fclose(output_);
        std::fclose(errors_);
    }

    int inputReadEnd() const { return input_[0]; }
    int outputWriteEnd() const { return outputWriteEnd_; }
    int errorWriteEnd() const { return ::fileno(errors_); }

    /// Bytes for the recorder to read as answers.
    void answer(std::string_view bytes) {
        if (::write(input_[1], bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
            throw std::runtime_error("answer pipe");
    }
    void grant(std::size_t count) { answer(std::string(count, '\x01')); }
    void closeInput() { ::close(std::exchange(input_[1], -1)); }
    /// The parent stops reading: from now on the output is a pipe nobody reads.
    void closeOutputReader() {
        int ends[2];
        if (::pipe(ends) != 0) throw std::runtime_error("pipe");
        ::close(ends[0]);
        ::dup2(ends[1], outputWriteEnd_);
        ::close(ends[1]);
    }

    std::string output() const { return contents(output_); }
    std::string errorText() const { return contents(errors_); }
    ParsedStream frames() const {
        const std::string bytes = output();
        stepreel_parent::FrameParser parser;
        parser.feed(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        ParsedStream out;
        while (auto frame = parser.next()) {
            const auto header = static_cast<std::size_t>(frame->offset) + 8;
            const auto payload = parser.consumedBytes() - frame->payload.size();
            out.frames.push_back({frame->type, bytes.substr(header, payload - header),
                                  std::move(frame->header),
                                  std::string(frame->payload.begin(), frame->payload.end())});
        }
        out.trailingBytes = bytes.size() - parser.consumedBytes();
        return out;
    }
    int brokenPipeCalls() const { return brokenPipeCalls_.load(); }

private:
    static std::string contents(std::FILE* file) {
        std::string out;
        char buffer[65536];
        for (ssize_t got; (got = ::pread(::fileno(file), buffer, sizeof buffer,
                                         static_cast<off_t>(out.size()))) > 0;)
            out.append(buffer, static_cast<std::size_t>(got));
        return out;
    }

    std::FILE* output_ = std::tmpfile();
    std::FILE* errors_ = std::tmpfile();
    int input_[2] = {-1, -1};
    int outputWriteEnd_ = -1;
    std::atomic<int> brokenPipeCalls_{0};
};
