// The recorder's main-thread event delivery: input tap, hotkey monitor, timers, SIGINT, and
// the ends of the parent's pipes and of the display connection.
#pragma once

#include "platform/geometry.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

/// A low-level input event, in macOS terms on every platform.
struct InputEvent {
    std::uint32_t type = 0;      ///< 1 left mouse down, 3 right mouse down, 10 key down, …
    std::uint64_t flags = 0;     ///< modifier flags; Command (the shortcut modifier) is 0x100000
    std::int64_t keyCode = 0;    ///< ANSI virtual key code of a key event
    std::int64_t clickState = 0; ///< 1 single click, 2 second press of a double click, …
    std::u16string characters;   ///< UTF-16 units the key press produced (may be empty)
    /// Pointer position when the event happened, in points, global, with the origin at the
    /// top-left corner of the main screen (mouse events; absent when unknown).
    std::optional<geo::Point> location;
    /// When the event happened, on the same scale as `Clock::nowMs` (absent when unknown).
    std::optional<std::int64_t> timestampMs;
    /// The window under the pointer when the event happened (mouse events), or the active one
    /// (key events); absent when unknown. By the window server's number, which still names it
    /// once it has closed.
    std::optional<std::uint32_t> windowNumber;
};

/// How the parent went away.
enum class ParentGone {
    outputClosed, ///< nobody reads standard output any more
    inputEnded,   ///< standard input, which carries the parent's answers, is at its end
};

/// A key-down seen by the global hotkey monitor.
struct HotkeyEvent {
    std::uint64_t flags = 0; ///< Control is 0x40000, Option 0x80000
    std::optional<std::string> charactersIgnoringModifiers;
};

class EventLoop {
public:
    virtual ~EventLoop() = default;
    /// Creates a listen-only input tap for the event types in `mask` (bit 1 << type) and
    /// enables it on the main loop. False when the tap cannot be created.
    virtual bool installEventTap(std::uint64_t mask,
                                 std::function<void(const InputEvent&)> callback) = 0;
    /// Calls `handler` on the main thread for key-downs delivered to other applications.
    virtual void addGlobalKeyDownMonitor(std::function<void(const HotkeyEvent&)> handler) = 0;
    /// Calls `action` every `intervalSeconds` on the main thread; the first call after one
    /// interval.
    virtual void addRepeatingTimer(double intervalSeconds, std::function<void()> action) = 0;
    /// Runs `task` once on the main thread after `delaySeconds`.
    virtual void runAfter(double delaySeconds, std::function<void()> task) = 0;
    /// Delivers SIGINT to `handler` on the main thread and ignores its default action.
    /// Signals that arrive before the handler has run are delivered once.
    virtual void onInterrupt(std::function<void()> handler) = 0;
    /// After `onInterrupt`: a descriptor that is readable from the moment SIGINT arrives until
    /// its handler runs, so that a wait outside the loop can give up. Nothing before.
    virtual std::optional<int> interruptDescriptor() const = 0;
    /// Calls `handler` once on the main thread when the parent is gone: `outputFd` hangs up
    /// or fails, or `inputFd`, when given, is at its end. Bytes waiting on `inputFd` are
    /// never read here; they stay for whoever reads that descriptor.
    virtual void onParentGone(int outputFd, std::optional<int> inputFd,
                              std::function<void(ParentGone)> handler) = 0;
    /// Calls `handler` once on the main thread when the connection to the display is lost
    /// (the server ended or the session closed). Only while the event tap is installed.
    virtual void onDisplayLost(std::function<void()> handler) = 0;
    /// Calls `handler` on the main thread with the number of input events the platform left
    /// out because too many waited while the main thread was busy. Without such a bound,
    /// never.
    /// `droppedText` holds the characters of the key presses left out (at most
    /// `droppedTextLimit` UTF-16 units per call): only for screening what is written later,
    /// never to be recorded; it is wiped once the handler returns.
    virtual void
    onInputDropped(std::function<void(std::int64_t count, std::string_view droppedText)> handler) {
        (void)handler;
    }
    static constexpr std::size_t droppedTextLimit = 16384;
    /// Lets a pointer press that the platform holds back from applications, until its
    /// operation's "before" pixels are taken and the element under it is read, go on now.
    /// Without such a hold, nothing to do.
    virtual void releaseHeldInput() {}
    /// Runs the main loop; returns only if the loop stops.
    virtual void run() = 0;
};
