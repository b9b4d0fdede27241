// One run of the recorder program on fakes, with pipes for its standard streams.
#pragma once

#include "recorder/capture_stream.h"
#include "recorder/recorder.h"
#include "recorder/screen_shooter.h"
#include "recorder/startup.h"
#include "recorder/user_messages.h"
#include "tests/fakes/fake_accessibility.h"
#include "tests/fakes/fake_clock.h"
#include "tests/fakes/fake_event_loop.h"
#include "tests/fakes/fake_graphics.h"
#include "tests/fakes/fake_pasteboard.h"
#include "tests/fakes/fake_permissions.h"
#include "tests/fakes/fake_screen_capture.h"
#include "tests/fakes/fake_screens.h"
#include "tests/fakes/fake_workspace.h"
#include "tests/fakes/stream_pipes.h"

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace startup_harness {

/// One pipe, both ends closed on destruction.
class Pipe {
public:
    Pipe() {
        int ends[2];
        if (::pipe(ends) != 0) throw std::runtime_error("pipe");
        readEnd_ = ends[0];
        writeEnd_ = ends[1];
        for (const int fd : ends)
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    ~Pipe() {
        closeEnd(readEnd_);
        closeEnd(writeEnd_);
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;

    int readEnd() const { return readEnd_; }
    int writeEnd() const { return writeEnd_; }
    void closeWrite() { closeEnd(writeEnd_); }
    void closeRead() { closeEnd(readEnd_); }

    void put(const std::string& bytes) {
        if (::write(writeEnd_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
            throw std::runtime_error("write");
    }

private:
    static void closeEnd(int& fd) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }

    int readEnd_ = -1;
    int writeEnd_ = -1;
};

/// A pipe whose read end a thread keeps empty, so that a writer never blocks however much
/// it writes (a pipe holds as little as 64 KiB on some systems).
class DrainedPipe {
public:
    DrainedPipe() {
        ::fcntl(pipe_.readEnd(), F_SETFL, ::fcntl(pipe_.readEnd(), F_GETFL) | O_NONBLOCK);
        reader_ = std::thread([this] { collect(); });
    }
    ~DrainedPipe() { stopReading(); }
    DrainedPipe(const DrainedPipe&) = delete;
    DrainedPipe& operator=(const DrainedPipe&) = delete;

    int writeEnd() const { return pipe_.writeEnd(); }

    /// The reader goes away unread: later writes fail with a broken pipe.
    void closeRead() {
        stopReading();
        pipe_.closeRead();
    }

    /// Everything written so far.
    std::string drain() {
        std::lock_guard guard(mutex_);
        readAvailable();
        return drained_;
    }

private:
    void collect() {
        for (;;) {
            pollfd fds[2] = {{stop_.readEnd(), POLLIN, 0}, {pipe_.readEnd(), POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0) {
                if (errno == EINTR) continue;
                return;
            }
            if (fds[0].revents != 0) return;
            std::lock_guard guard(mutex_);
            if (!readAvailable()) return;
        }
    }

    // Reads what is waiting; false once every writer has gone.
    bool readAvailable() {
        char buffer[65536];
        for (;;) {
            const ssize_t got = ::read(pipe_.readEnd(), buffer, sizeof buffer);
            if (got > 0) {
                drained_.append(buffer, static_cast<std::size_t>(got));
            } else if (got == 0) {
                return false;
            } else if (errno != EINTR) {
                return true;
            }
        }
    }

    void stopReading() {
        if (!reader_.joinable()) return;
        stop_.put("s");
        reader_.join();
    }

    Pipe pipe_;
    Pipe stop_;
    std::mutex mutex_;
    std::string drained_;
    std::thread reader_;
};

/// The fakes of one run, the recorder and shooter made for it, and what it wrote.
class StartupRun {
public:
    StartupRun() {
        auto clockPort = std::make_unique<FakeClock>();
        clock = clockPort.get();
        platform.clock = std::move(clockPort);
        platform.workspace = own(workspace);
        platform.screens = own(screens);
        platform.pasteboard = own(pasteboard);
        platform.accessibility = own(ax);
        platform.screenCapture = own(capture);
        platform.graphics = own(graphics);
        platform.permissions = own(permissions);
        auto loopPort = std::make_unique<FakeEventLoop>(clock);
        loop = loopPort.get();
        platform.eventLoop = std::move(loopPort);

        environment.inFd = in.readEnd();
        environment.outFd = out.writeEnd();
        environment.errFd = err.writeEnd();
        environment.exitProcess = [this](int status) { exits.push_back(status); };
        environment.makeShooter = [this](ScreenCapture& c, Graphics& g) -> ScreenShooter& {
            if (!shooter) shooter = std::make_unique<ScreenShooter>(c, g);
            return *shooter;
        };
        environment.makeRecorder = [this](const RecorderPorts& ports) -> Recorder& {
            ++recordersMade;
            recorder = std::make_unique<Recorder>(ports);
            return *recorder;
        };
    }

    ~StartupRun() {
        // Nothing may write to these descriptors once the pipes are gone.
        CaptureStream::configure(-1, -1, {});
        UserMessages::setFd(-1);
    }

    StartupRun(const StartupRun&) = delete;
    StartupRun& operator=(const StartupRun&) = delete;

    /// Queues `count` grants for permission requests, then ends the input: later requests
    /// are refused instead of waiting.
    void grantThenClose(int count) {
        in.put(std::string(static_cast<std::size_t>(count), '\x01'));
        in.closeWrite();
    }

    int run(std::vector<std::string> args) {
        args.insert(args.begin(), "/opt/quill/stepreel");
        return runStepreel(args, platform, environment);
    }

    std::string output() { return out.drain(); }
    std::string errors() { return err.drain(); }
    ParsedStream frames() { return parseFrames(output()); }

    RecorderPlatform platform;
    StartupEnvironment environment;
    FakeClock* clock = nullptr;
    FakeWorkspace* workspace = nullptr;
    FakeScreens* screens = nullptr;
    FakePasteboard* pasteboard = nullptr;
    FakeAccessibility* ax = nullptr;
    FakeScreenCapture* capture = nullptr;
    FakeGraphics* graphics = nullptr;
    FakePermissions* permissions = nullptr;
    FakeEventLoop* loop = nullptr;

    std::unique_ptr<ScreenShooter> shooter;
    std::unique_ptr<Recorder> recorder;
    int recordersMade = 0;
    std::vector<int> exits;

    DrainedPipe out;
    Pipe in;
    DrainedPipe err;

private:
    template <typename Fake> static std::unique_ptr<Fake> own(Fake*& raw) {
        auto owned = std::make_unique<Fake>();
        raw = owned.get();
        return owned;
    }
};

} // namespace startup_harness
