// `context` and `running-apps`: what the user is working in right now.
#pragma once

#include "common/json_writer.h"
#include "helper/output.h"
#include "platform/helper_platform.h"

#include <cstdint>
#include <optional>
#include <string>

namespace helper {

struct FrontWindow {
    std::optional<std::string> title;
    std::optional<std::uint32_t> id;
};

/// The first front-to-back on-screen window of process `pid` on layer 0; an empty title
/// counts as absent.
FrontWindow frontWindowInfo(WindowList& windows, std::int32_t pid);

/// The front window of the frontmost application `app`: by its process id, or, when the
/// platform cannot tell the process, the front window the workspace named.
FrontWindow frontWindowOf(WindowList& windows, const RunningApplication& app);

/// Seconds since the user's last input: the smallest over the seven input event types.
double idleSeconds(IdleTime& idle);

/// Prints the frontmost application, its front window, page address and idle time; fails
/// with "no frontmost application" (status 1) when there is none.
void runContext(HelperIO& io, HelperPlatform& platform);

/// Prints the regular applications that have both a name and a bundle id, in order.
void runRunningApps(HelperIO& io, Workspace& workspace);

} // namespace helper
