// A recorder on fakes, writing into real pipes that the test reads as the parent would.
#pragma once

#include "recorder/recorder.h"
#include "recorder/screen_shooter.h"
#include "tests/fakes/fake_accessibility.h"
#include "tests/fakes/fake_clock.h"
#include "tests/fakes/fake_event_loop.h"
#include "tests/fakes/fake_graphics.h"
#include "tests/fakes/fake_pasteboard.h"
#include "tests/fakes/fake_screen_capture.h"
#include "tests/fakes/fake_screens.h"
#include "tests/fakes/fake_workspace.h"
#include "tests/fakes/stream_pipes.h"

#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

struct RecorderRig {
    explicit RecorderRig(std::vector<std::string> args = {"stepreel", "--stream"})
        : pipes(std::move(args)) {
        recorder = std::make_unique<Recorder>(ports());
    }

    RecorderPorts ports() {
        return RecorderPorts{clock, workspace, screens, pasteboard, ax, loop, shooter};
    }

    /// Puts an application in front whose focused window has `title` and, when given, a web
    /// area showing `url`.
    void showApp(const std::string& name, const std::string& bundle, std::int32_t pid,
                 std::optional<std::string> title = std::nullopt,
                 std::optional<std::string> url = std::nullopt) {
        workspace.setFront(name, bundle, pid);
        const auto app = ax.addApplication(pid);
        const auto window = ax.addNode("AXWindow");
        if (title) ax.setText(window, "AXTitle", *title);
        ax.set(app, "AXFocusedWindow", FakeAccessibility::ElementRef{window});
        if (url) {
            const auto area = ax.addNode("AXWebArea");
            ax.appendChild(window, area);
            ax.set(area, "AXURL", AXURLValue{*url});
        }
    }

    /// The "event" members of every frame of `type`, in order.
    std::vector<nlohmann::json> events(const std::string& type = "events") {
        std::vector<nlohmann::json> out;
        for (const auto& frame : pipes.frames().ofType(type))
            out.push_back(frame.header["event"]);
        return out;
    }

    StreamPipes pipes;
    FakeClock clock;
    FakeWorkspace workspace;
    FakeScreens screens;
    FakePasteboard pasteboard;
    FakeAccessibility ax;
    FakeEventLoop loop{&clock};
    FakeScreenCapture capture;
    FakeGraphics graphics;
    ScreenShooter shooter{capture, graphics};
    std::unique_ptr<Recorder> recorder;
};
