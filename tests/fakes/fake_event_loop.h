// A main loop in virtual time. Delayed tasks and repeating timers wait in a queue until the
// test advances time; the tap, hotkey, interrupt, parent-gone and display-lost handlers are
// kept so tests can fire them. The interrupt descriptor is a real pipe.
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
    ~FakeEventLoop() override;
    FakeEventLoop(const FakeEventLoop&) = delete;
    FakeEventLoop& operator=(const FakeEventLoop&) = delete;

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
    void releaseHeldInput() override { ++releases_; }
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
    int releases() const { return releases_; }
    /// The descriptors `onParentGone` was asked to watch.
    std::optional<int> watchedOutput() const { return watchedOutput_; }
    std::optional<int> watchedInput() const { return watchedInput_; }
    /// Installation calls in order: "tap", "hotkey", "timer", "interrupt", "parent",
    /// "display".
    const std::vector<const char*>& installations() const { return installations_; }

    void fireEvent(const InputEvent& event);
    void fireHotkey(const HotkeyEvent& event);
    /// SIGINT arrives: the interrupt descriptor becomes readable; the handler has not run.
    void raiseInterrupt();
    /// The handler runs, as the loop would deliver it; the descriptor is read empty.
    void fireInterrupt();
    void fireParentGone();
    void fireDisplayLost();

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
    int interruptPipe_[2] = {-1, -1};
    std::optional<int> watchedOutput_;
    std::optional<int> watchedInput_;
    std::function<void()> parentGone_;
    std::function<void()> displayLost_;
    std::vector<const char*> installations_;
    int runs_ = 0;
    int releases_ = 0;
};
