#pragma once

#include "platform/event_loop.h"

#include <memory>

/// The main run loop, run by NSApplication: a listen-only CGEventTap that re-enables itself
/// when the system disables it, an NSEvent global monitor, NSTimers in the common modes, the
/// main dispatch queue, a dispatch source on a self-pipe that SIGINT writes to, and a dispatch
/// timer that looks at the parent's pipes.
class CFEventLoop final : public EventLoop {
public:
    CFEventLoop();
    ~CFEventLoop() override;

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
    void run() override;

    struct State;

private:
    std::unique_ptr<State> state_;
};
