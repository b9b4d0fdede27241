// A main loop in virtual time. Delayed tasks and repeating timers wait in a queue until the
// test advances time; the tap, hotkey and interrupt handlers are kept so tests can fire them.
#pragma once

#include "platform/event_loop.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

class FakeClock;

class FakeEventLoop : public EventLoop {
public:
    /// With a clock, virtual time moves the clock too (one virtual second = 1000 ms).
    explicit FakeEventLoop(FakeClock* clock = nullptr) : clock_(clock) {}

    bool installEventTap(std::uint64_t mask,
                         std::function<void(const InputEvent&)> callback) override;
    void addGlobalKeyDownMonitor(std::function<void(const HotkeyEvent&)> handler) override;
    void addRepeatingTimer(double intervalSeconds, std::function<void()> action) override;
    void runAfter(double delaySeconds, std::function<void()> task) override;
    void onInterrupt(std::function<void()> handler) override;
    /// Counts the call and returns at once.
    void run() override { ++runs_; }

    /// Runs every task due within the next `seconds`, in time order (ties in the order they
    /// were queued), moving virtual time to each task's moment, then to the end.
    void advance(double seconds);
    /// Virtual seconds since the loop was made.
    double now() const { return now_; }
    /// One-shot tasks still waiting.
    std::size_t pendingTasks() const;

    /// What `installEventTap` answers.
    bool tapInstallSucceeds = true;

    bool hasEventTap() const { return static_cast<bool>(tap_); }
    std::optional<std::uint64_t> tapMask() const { return tapMask_; }
    bool hasHotkeyMonitor() const { return static_cast<bool>(hotkey_); }
    bool hasInterruptHandler() const { return static_cast<bool>(interrupt_); }
    std::vector<double> timerIntervals() const;
    int runs() const { return runs_; }
    /// Installation calls in order: "tap", "hotkey", "timer", "interrupt".
    const std::vector<const char*>& installations() const { return installations_; }

    void fireEvent(const InputEvent& event);
    void fireHotkey(const HotkeyEvent& event);
    void fireInterrupt();

private:
    struct Entry {
        double due;
        std::uint64_t order;
        std::optional<double> interval; ///< repeating timers only
        std::function<void()> action;
    };

    void setNow(double seconds);

    FakeClock* clock_;
    double now_ = 0;
    std::uint64_t nextOrder_ = 0;
    std::vector<Entry> queue_;
    std::function<void(const InputEvent&)> tap_;
    std::optional<std::uint64_t> tapMask_;
    std::function<void(const HotkeyEvent&)> hotkey_;
    std::function<void()> interrupt_;
    std::vector<const char*> installations_;
    int runs_ = 0;
};
