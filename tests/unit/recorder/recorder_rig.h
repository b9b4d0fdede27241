// The recorder on fakes, writing a stream the test reads as the parent would; `run` starts
// the whole program on the same fakes.
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

using Types = std::vector<std::string>; ///< frame types in order, arguments or lines of text

struct RecorderRig {
    RecorderRig() { recorder = std::make_unique<Recorder>(ports()); }

    RecorderPorts ports() { return {clock, workspace, screens, pasteboard, ax, loop, shooter}; }

    /// Runs the program with `args`; it owns the platform's ports, the rig keeps using them.
    int run(std::vector<std::string> args) {
        args.insert(args.begin(), "/opt/quill/stepreel");
        recorder.reset();
        StartupEnvironment environment{
            pipes.inputReadEnd(),
            pipes.outputWriteEnd(),
            pipes.errorWriteEnd(),
            [this](int status) { exits.push_back(status); },
            [this](const RecorderPorts& made) -> Recorder& {
                return *(recorder = std::make_unique<Recorder>(made));
            },
            [this](ScreenCapture&, Graphics&) -> ScreenShooter& { return shooter; }};
        return runStepreel(args, platform, environment);
    }

    /// `app` (process 1) in front, its focused window titled `title` holding a web area;
    /// the web area.
    FakeAccessibility::NodeId frontPage(std::string app, std::string bundleId, std::string title) {
        return ax.appendChain(frontWindow(std::move(app), std::move(bundleId), std::move(title)), 1,
                              "AXWebArea");
    }
    /// The front application's focused window, titled `title`.
    FakeAccessibility::NodeId frontWindow(std::string app, std::string bundleId,
                                          std::string title) {
        workspace.setFront(std::move(app), std::move(bundleId), 1);
        const auto window = ax.addNode("AXWindow");
        ax.setText(window, "AXTitle", std::move(title));
        ax.set(ax.addApplication(1), "AXFocusedWindow", FakeAccessibility::ElementRef{window});
        return window;
    }

    /// The "event" members of the action records, in order.
    std::vector<nlohmann::json> events() {
        std::vector<nlohmann::json> out;
        for (const auto& frame : pipes.frames().ofType("events"))
            out.push_back(frame.header["event"]);
        return out;
    }

    StreamPipes pipes;
    RecorderPlatform platform;
    FakeClock& clock = own<FakeClock>(platform.clock);
    FakeWorkspace& workspace = own<FakeWorkspace>(platform.workspace);
    FakeScreens& screens = own<FakeScreens>(platform.screens);
    FakePasteboard& pasteboard = own<FakePasteboard>(platform.pasteboard);
    FakeAccessibility& ax = own<FakeAccessibility>(platform.accessibility);
    FakeScreenCapture& capture = own<FakeScreenCapture>(platform.screenCapture);
    FakeGraphics& graphics = own<FakeGraphics>(platform.graphics);
    FakePermissions& permissions = own<FakePermissions>(platform.permissions);
    FakeEventLoop& loop = own<FakeEventLoop>(platform.eventLoop, &clock);
    ScreenShooter shooter{capture, graphics};
    std::unique_ptr<Recorder> recorder;
    std::vector<int> exits;

private:
    template <typename Fake, typename Port, typename... Args>
    static Fake& own(std::unique_ptr<Port>& slot, Args... args) {
        slot = std::make_unique<Fake>(args...);
        return static_cast<Fake&>(*slot);
    }
};
