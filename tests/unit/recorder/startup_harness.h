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

#include <fcntl.h>
#include <memory>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace startup_harness {

/// One pipe, both ends closed on destruction; large enough for everything a run writes.
class Pipe {
public:
    Pipe() {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
        readEnd_ = ends[0];
        writeEnd_ = ends[1];
        ::fcntl(writeEnd_, F_SETPIPE_SZ, 1 << 20);
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

    /// Everything written so far, without waiting for more.
    std::string drain() {
        const int flags = ::fcntl(readEnd_, F_GETFL);
        ::fcntl(readEnd_, F_SETFL, flags | O_NONBLOCK);
        char buffer[65536];
        for (;;) {
            const ssize_t got = ::read(readEnd_, buffer, sizeof buffer);
            if (got <= 0) break;
            drained_.append(buffer, static_cast<std::size_t>(got));
        }
        ::fcntl(readEnd_, F_SETFL, flags);
        return drained_;
    }

private:
    static void closeEnd(int& fd) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }

    int readEnd_ = -1;
    int writeEnd_ = -1;
    std::string drained_;
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

    Pipe out;
    Pipe in;
    Pipe err;

private:
    template <typename Fake> static std::unique_ptr<Fake> own(Fake*& raw) {
        auto owned = std::make_unique<Fake>();
        raw = owned.get();
        return owned;
    }
};

} // namespace startup_harness
