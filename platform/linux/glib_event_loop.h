// The recorder's main loop on GLib: X events, timers, delayed tasks, SIGINT and the watches
// on the parent's pipes, all delivered on the thread that calls run(). The loop sleeps in
// poll() between deliveries.
#pragma once

#include "platform/event_loop.h"
#include "platform/linux/x11_connection.h"
#include "platform/linux/xi2_input.h"

#include <memory>
#include <vector>

typedef struct _GSource GSource;
typedef struct _GMainLoop GMainLoop;

class GlibEventLoop final : public EventLoop {
public:
    /// Uses the default main context. `display` (may be null) is the main thread's X
    /// connection; its events are drained whenever the loop wakes.
    explicit GlibEventLoop(std::shared_ptr<x11::Connection> display);
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
                      std::function<void()> handler) override;
    void onDisplayLost(std::function<void()> handler) override;
    void run() override;

    /// Makes run() return after the current delivery (for tests and embedding).
    void quit();

    struct InterruptPipe;
    struct ParentWatch;

private:
    Xi2Input* input();
    void attach(GSource* source);

    std::shared_ptr<x11::Connection> display_;
    std::unique_ptr<Xi2Input> input_;
    bool inputTried_ = false;
    GSource* displaySource_ = nullptr;
    std::vector<GSource*> sources_;
    GMainLoop* loop_ = nullptr;
    std::unique_ptr<InterruptPipe> interrupt_;
    std::unique_ptr<ParentWatch> parent_;
    std::function<void()> displayLost_;
};
