// The press hold's own process. The grabs that hold presses belong to it, not to the
// recorder, so that no hold can outlive its limit whatever happens to the recorder: a stopped
// recorder (SIGSTOP, a debugger, Ctrl+Z) does not stop this process, which lives in a session
// of its own and times every hold itself; a recorder that ends in any way (exit, crash,
// SIGKILL, its parent gone) closes the pipe this process reads, which then lets a held press
// go on, exactly once, before it ends.
//
// The recorder writes to the pipe one 4-byte number (native byte order) per release: the
// server time up to which it is done with presses.
#pragma once

#include <cstdint>
#include <string_view>

namespace press_hold_keeper {

/// The program name (argv[0]) under which the recorder starts its executable as the keeper.
inline constexpr std::string_view programName = "stepreel-press-hold";
/// The descriptor the keeper reads releases from.
inline constexpr int releaseDescriptor = 3;
/// The descriptor on which the keeper writes one byte once its grabs are in place, then
/// closes it.
inline constexpr int readyDescriptor = 4;

/// Runs the keeper on $DISPLAY until the pipe on `releaseDescriptor` ends, a termination
/// signal comes or the display goes; its exit status (2 when the descriptor is no pipe).
int run();

} // namespace press_hold_keeper
