// One run of the recorder program on fakes, with pipes for its standard streams.
#pragma once

#include "recorder/recorder.h"
#include "recorder/screen_shooter.h"
#include "recorder/startup.h"
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

#include <memory>
#include <string>
#include <vector>

/// The fakes of one run, the recorder and shooter made for it, and what it wrote.
class StartupRun {
public:
    StartupRun() {
        platform.clock = own(clock);
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

        environment.inFd = pipes.inputReadEnd();
        environment.outFd = pipes.outputWriteEnd();
        environment.errFd = pipes.errorWriteEnd();
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

    /// Queues `count` grants for permission requests, then ends the input: later requests
    /// are refused instead of waiting.
    void grantThenClose(std::size_t count) {
        pipes.grant(count);
        pipes.closeInput();
    }

    int run(std::vector<std::string> args) {
        args.insert(args.begin(), "/opt/quill/stepreel");
        return runStepreel(args, platform, environment);
    }

    std::string output() { return pipes.output(); }
    std::string errors() { return pipes.errorText(); }
    ParsedStream frames() { return pipes.frames(); }

    StreamPipes pipes{std::vector<std::string>{}};
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

private:
    template <typename Fake> static std::unique_ptr<Fake> own(Fake*& raw) {
        auto owned = std::make_unique<Fake>();
        raw = owned.get();
        return owned;
    }
};
