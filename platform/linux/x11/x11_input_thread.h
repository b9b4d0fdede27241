// Input read off the main thread: a thread with an X connection of its own decodes each key
// and button press as it arrives, stamped with the time and, for a press, the pointer
// position of that moment, and queues it for the main thread. However long the main thread
// is busy, what it is handed later still describes the moment of the event.
#pragma once

#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/linux/x11/event_fd.h"
#include "platform/linux/x11/press_hold.h"
#include "platform/linux/x11/x11_connection.h"
#include "platform/linux/x11/xi2_input.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <variant>
#include <vector>

/// The input connection broke: nothing more will come.
struct InputDisplayLost {};

using InputDelivery = std::variant<InputEvent, HotkeyEvent, InputDisplayLost>;

class X11InputThread {
public:
    /// Connects to $DISPLAY, selects its input and starts reading, stamping events with
    /// `clock` (read on the input thread); nullptr when there is no display or it lacks
    /// XInput2 or XKB.
    static std::unique_ptr<X11InputThread> start(std::unique_ptr<Clock> clock);
    /// Stops and joins the thread, then closes the connection.
    ~X11InputThread();
    X11InputThread(const X11InputThread&) = delete;
    X11InputThread& operator=(const X11InputThread&) = delete;

    /// Readable while deliveries wait to be taken.
    int readyDescriptor() const { return ready_.descriptor(); }
    /// The waiting deliveries, oldest first; every key press gives its InputEvent and then
    /// its HotkeyEvent, and InputDisplayLost comes last of all.
    std::vector<InputDelivery> take();
    /// Lets a button press held for its screenshot go on, once it has been taken.
    void release();

private:
    X11InputThread(std::shared_ptr<x11::Connection> connection, std::unique_ptr<Xi2Input> input,
                   std::unique_ptr<Clock> clock);
    void post(InputDelivery delivery);
    void read();
    /// Hands every event read so far to the decoder; false once the connection broke.
    bool drain();
    void applyReleases();

    std::shared_ptr<x11::Connection> connection_; // used by the thread alone once it runs
    std::unique_ptr<Xi2Input> input_;
    std::unique_ptr<Clock> clock_; // read by the thread alone
    EventFd ready_;
    std::unique_ptr<PressHold> hold_; // nullptr when presses cannot be held
    EventFd stop_;
    EventFd released_;
    std::mutex mutex_;
    std::vector<InputDelivery> waiting_;
    std::optional<std::uint32_t> postedPressTime_; // server time, under mutex_
    std::optional<std::uint32_t> takenPressTime_;  // the main thread's
    std::atomic<bool> releaseAsked_{false};
    std::atomic<std::uint32_t> releaseUpTo_{0};
    std::thread thread_; // last: starts once everything above exists
};
