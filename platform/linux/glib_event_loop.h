// The recorder's main loop on GLib: input, timers, delayed tasks, SIGINT and the watches on
// the parent's pipes, all delivered on the thread that calls run(). The loop sleeps in
// poll() between deliveries. Input is read and stamped on a thread of its own
// (X11InputThread) and handed over in order.
#pragma once

#include "platform/event_loop.h"
#include "platform/linux/x11/x11_connection.h"
#include "platform/linux/x11/x11_input_thread.h"

#include <memory>
#include <vector>

class InterruptPipe;
typedef struct _GSource GSource;
typedef struct _GMainLoop GMainLoop;

class GlibEventLoop final : public EventLoop {
public:
    /// Uses the default main context. `display` (may be null) is the main thread's X
    /// connection: without it there is no input. Input comes through a connection of its
    /// own to the same display ($DISPLAY), opened when it is first asked for; `presses` says
    /// whether presses are held for their screenshots (see X11InputThread::Presses).
    GlibEventLoop(std::shared_ptr<x11::Connection> display, X11InputThread::Presses presses);
    ~GlibEventLoop() override;
    GlibEventLoop(const GlibEventLoop&) = delete;
    GlibEventLoop& operator=(const GlibEventLoop&) = delete;

    bool installEventTap(std::uint64_t mask,
                         std::function<void(const InputEvent&)> callback) override;
    void addGlobalKeyDownMonitor(std::function<void(const HotkeyEvent&)> handler) override;
    void addRepeatingTimer(double intervalSeconds, std::function<void()> action) override;
    void runAfter(double delaySeconds, std::function<void()> task) override;
    void onInterrupt(std::function<void()> handler) override;
    std::optional<int> interruptDescriptor() const override;
    void onParentGone(int outputFd, std::optional<int> inputFd,
                      std::function<void(ParentGone)> handler) override;
    void onDisplayLost(std::function<void()> handler) override;
    void onInputDropped(
        std::function<void(std::int64_t count, std::string_view droppedText)> handler) override;
    void releaseHeldInput() override;
    void run() override;

    /// Makes run() return after the current delivery (for tests and embedding).
    void quit();

    struct ParentWatch;

private:
    /// Starts the input thread on first use; false when there is no input.
    bool startInput();
    void deliverInput();
    void attach(GSource* source);

    std::shared_ptr<x11::Connection> display_;
    X11InputThread::Presses presses_;
    std::unique_ptr<X11InputThread> input_;
    bool inputTried_ = false;
    std::uint64_t tapMask_ = 0;
    std::function<void(const InputEvent&)> tap_;
    std::function<void(const HotkeyEvent&)> hotkeys_;
    std::function<void()> displayLost_;
    std::function<void(std::int64_t, std::string_view)> inputDropped_;
    std::vector<GSource*> sources_;
    GMainLoop* loop_ = nullptr;
    std::unique_ptr<InterruptPipe> interrupt_;
    std::unique_ptr<ParentWatch> parent_;
};
