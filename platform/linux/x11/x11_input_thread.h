// Input read off the main thread: a thread with an X connection of its own decodes each key
// and button press as it arrives, stamped with the time and, for a press, the pointer
// position of that moment, and queues it for the main thread. However long the main thread
// is busy, what it is handed later still describes the moment of the event; the queue holds
// at most `maxWaiting` events, and counts those it had no room for.
#pragma once

#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/linux/x11/event_fd.h"
#include "platform/linux/x11/press_hold_link.h"
#include "platform/linux/x11/x11_connection.h"
#include "platform/linux/x11/xi2_input.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <variant>
#include <vector>

/// The input connection broke: nothing more will come.
struct InputDisplayLost {};

using InputDelivery = std::variant<InputEvent, HotkeyEvent, InputDisplayLost>;

class X11InputThread {
public:
    /// Whether left and right presses are held for their screenshots. Holding starts this
    /// executable again as the hold's keeper (press_hold_keeper.h): only a program whose main()
    /// runs the keeper for it may ask for it.
    enum class Presses { held, unheld };

    /// Connects to $DISPLAY, selects its input and starts reading, stamping events with
    /// `clock` (read on the input thread); nullptr when there is no display or it lacks
    /// XInput2 or XKB.
    static std::unique_ptr<X11InputThread> start(std::unique_ptr<Clock> clock, Presses presses);
    /// Stops and joins the thread, then closes the connection.
    ~X11InputThread();
    X11InputThread(const X11InputThread&) = delete;
    X11InputThread& operator=(const X11InputThread&) = delete;

    /// Readable while deliveries wait to be taken.
    int readyDescriptor() const { return ready_.descriptor(); }
    /// Input events (a key with its hotkey counts once) the queue holds at most.
    static constexpr std::size_t maxWaiting = 2048;

    struct Taken {
        std::vector<InputDelivery> deliveries;
        /// Input events left out since the last take, for want of room.
        std::int64_t dropped = 0;
        /// The characters of the key presses left out, oldest first; the taker wipes them.
        std::u16string droppedCharacters;
    };
    /// The waiting deliveries, oldest first; every key press gives its InputEvent and then
    /// its HotkeyEvent, and InputDisplayLost comes last of all.
    Taken take();
    /// Lets the button presses taken so far go on, those held for their screenshots included.
    void release();

private:
    X11InputThread(std::shared_ptr<x11::Connection> connection, std::unique_ptr<Xi2Input> input,
                   std::unique_ptr<Clock> clock);
    void post(InputDelivery delivery);
    void read();
    /// Hands every event read so far to the decoder; false once the connection broke.
    bool drain();

    std::shared_ptr<x11::Connection> connection_; // used by the thread alone once it runs
    std::unique_ptr<Xi2Input> input_;
    std::unique_ptr<Clock> clock_; // read by the thread alone
    EventFd ready_;
    std::unique_ptr<PressHoldLink> hold_; // nullptr when presses cannot be held
    EventFd stop_;
    std::mutex mutex_;
    std::vector<InputDelivery> waiting_;             // under mutex_
    std::size_t waitingEvents_ = 0;                  // under mutex_
    std::int64_t dropped_ = 0;                       // under mutex_
    std::u16string droppedCharacters_;               // under mutex_
    bool droppingHotkey_ = false;                    // under mutex_
    std::optional<std::uint32_t> postedPressTime_;   // server time, under mutex_
    std::optional<std::uint32_t> takenPressTime_;    // the main thread's
    std::optional<std::uint32_t> releasedPressTime_; // the main thread's
    std::thread thread_;                             // last: starts once everything above exists
};
