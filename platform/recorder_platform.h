// The real ports of the system the recorder was built for.
#pragma once

#include "platform/accessibility.h"
#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/graphics.h"
#include "platform/pasteboard.h"
#include "platform/permissions.h"
#include "platform/screen_capture.h"
#include "platform/screens.h"
#include "platform/workspace.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

struct RecorderPlatform {
    std::unique_ptr<Clock> clock;
    std::unique_ptr<Workspace> workspace;
    std::unique_ptr<Screens> screens;
    std::unique_ptr<Pasteboard> pasteboard;
    std::unique_ptr<Accessibility> accessibility;
    std::unique_ptr<ScreenCapture> screenCapture;
    std::unique_ptr<Graphics> graphics;
    std::unique_ptr<Permissions> permissions;
    std::unique_ptr<EventLoop> eventLoop;
    /// The running executable's path, when the platform can tell.
    std::optional<std::string> executablePath;
};

/// Builds the real ports. Implemented once per operating system (platform/linux, platform/macos).
RecorderPlatform makeRecorderPlatform();

/// When `args` (argv, program name first) start a process of the platform's own that the
/// recorder runs beside itself, runs it and gives its exit status; nothing for every command
/// line of the recorder's own.
std::optional<int> runPlatformProcess(const std::vector<std::string>& args);
