// The recorder program from its command line to its exit status.
#pragma once

#include "platform/event_loop.h"
#include "platform/recorder_platform.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

class Recorder;
class ScreenShooter;
struct RecorderPorts;

/// Where the program talks and how it ends. Defaults are the process's own.
struct StartupEnvironment {
    int inFd = 0;
    int outFd = 1;
    int errFd = 2;
    /// Ends the process from inside the running loop (the Ctrl+C handler).
    std::function<void(int status)> exitProcess;
    /// The recorder for these ports; `Recorder::shared` when unset.
    std::function<Recorder&(const RecorderPorts&)> makeRecorder;
    /// The screenshot taker for these ports; `ScreenShooter::shared` when unset.
    std::function<ScreenShooter&(ScreenCapture&, Graphics&)> makeShooter;
};

namespace Startup {

inline constexpr std::uint64_t eventMask = 0x40A; // left down, right down, key down
inline constexpr double focusPollSeconds = 1.5;

/// The start banner, written to standard error once the recording runs.
std::string_view banner();
/// The end line written after Ctrl+C.
std::string_view endLine();
/// The message for a missing permission, with the three states as they are now.
std::string permissionWarning(Permissions& permissions);
/// The message for an event tap that could not be created.
std::string_view tapFailureMessage();
/// The message for a recording ended because the display went away.
std::string_view displayLostMessage();
/// The message for `count` input events left out while the parent kept the recorder waiting.
std::string inputDroppedMessage(std::int64_t count);
/// The message for a recording that ended without its finish frame: the parent had stopped
/// reading.
std::string_view unfinishedMessage();

/// True for Control and Option held (other modifiers allowed) with the key "p".
bool isPauseHotkey(const HotkeyEvent& event);

} // namespace Startup

/// Runs the recorder program with `args` (program name first) on `platform`, whose ports must
/// all be present. Returns the exit status of every path that ends by returning (2 when frames
/// would go to a terminal); a recording ends from inside the loop through
/// `environment.exitProcess`: Ctrl+C and the end of the parent's answers with the finish frame
/// and status 0, a parent that reads no more quietly
/// with status 0, a lost display with the finish frame and status 1.
int runStepreel(const std::vector<std::string>& args, RecorderPlatform& platform,
                const StartupEnvironment& environment = {});
