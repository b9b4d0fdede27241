// A main loop in virtual time. Delayed tasks and repeating timers wait in a queue until the
// test advances time; the tap, hotkey, interrupt, parent-gone and display-lost handlers are
// kept so tests can fire them.
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
                         std::function<void(const InputEvent&)> callback) override {
        installations_.push_back("tap");
        if (!tapInstallSucceeds) return false;
        tapMask_ = mask;
        tap_ = std::move(callback);
        return true;
    }
    void addGlobalKeyDownMonitor(std::function<void(const HotkeyEvent&)> handler) override {
        installations_.push_back("hotkey");
        hotkey_ = std::move(handler);
    }
    void addRepeatingTimer(double intervalSeconds, std::function<void()> action) override {
        installations_.push_back("timer");
        queue_.push_back(
            {now_ + intervalSeconds, nextOrder_++, intervalSeconds, std::move(action)});
    }
    void runAfter(double delaySeconds, std::function<void()> task) override {
        queue_.push_back({now_ + delaySeconds, nextOrder_++, std::nullopt, std::move(task)});
    }
    void onInterrupt(std::function<void()> handler) override {
        installations_.push_back("interrupt");
        interrupt_ = std::move(handler);
    }
    std::optional<int> interruptDescriptor() const override { return std::nullopt; }
    void onParentGone(int outputFd, std::optional<int> inputFd,
                      std::function<void()> handler) override {
        installations_.push_back("parent");
        watchedOutput_ = outputFd;
        watchedInput_ = inputFd;
        parentGone_ = std::move(handler);
    }
    void onDisplayLost(std::function<void()> handler) override {
        installations_.push_back("display");
        displayLost_ = std::move(handler);
    }
    void releaseHeldInput() override { ++releases_; }
    /// Counts the call and returns at once.
    void run() override { ++runs_; }

    /// Runs every task due within the next `seconds`, in time order (ties in the order they
    /// were queued), moving virtual time to each task's moment, then to the end.
    void advance(double seconds);
    /// One-shot tasks still waiting.
    std::size_t pendingTasks() const;
    std::vector<double> timerIntervals() const;

    /// What `installEventTap` answers.
    bool tapInstallSucceeds = true;

    std::optional<std::uint64_t> tapMask() const { return tapMask_; }
    int runs() const { return runs_; }
    int releases() const { return releases_; }
    /// The descriptors `onParentGone` was asked to watch.
    std::optional<int> watchedOutput() const { return watchedOutput_; }
    std::optional<int> watchedInput() const { return watchedInput_; }
    /// Installation calls in order: "tap", "hotkey", "timer", "interrupt", "parent",
    /// "display".
    const std::vector<const char*>& installations() const { return installations_; }

    void fireEvent(const InputEvent& event) { fire(tap_, event); }
    void fireHotkey(const HotkeyEvent& event) { fire(hotkey_, event); }
    void fireInterrupt() { fire(interrupt_); }
    void fireParentGone() { fire(parentGone_); }
    void fireDisplayLost() { fire(displayLost_); }

private:
    struct Entry {
        double due;
        std::uint64_t order;
        std::optional<double> interval; ///< repeating timers only
        std::function<void()> action;
    };

    template <typename Handler, typename... Args> static void fire(Handler& h, Args&... args) {
        if (h) h(args...);
    }
    void setNow(double seconds);

    FakeClock* clock_;
    double now_ = 0;
    std::uint64_t nextOrder_ = 0;
    std::vector<Entry> queue_;
    std::function<void(const InputEvent&)> tap_;
    std::optional<std::uint64_t> tapMask_;
    std::function<void(const HotkeyEvent&)> hotkey_;
    std::function<void()> interrupt_;
    std::optional<int> watchedOutput_;
    std::optional<int> watchedInput_;
    std::function<void()> parentGone_;
    std::function<void()> displayLost_;
    std::vector<const char*> installations_;
    int runs_ = 0;
    int releases_ = 0;
};
