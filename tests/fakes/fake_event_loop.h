// A main loop in virtual time: delayed tasks and repeating timers wait until the test advances
// time; the handlers it was given are kept so the test can fire them.
#pragma once

#include "platform/event_loop.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class FakeClock;

class FakeEventLoop : public EventLoop {
public:
    /// With a clock, virtual time moves the clock too.
    explicit FakeEventLoop(FakeClock* clock = nullptr) : clock_(clock) {}

    bool installEventTap(std::uint64_t mask,
                         std::function<void(const InputEvent&)> callback) override {
        installations.push_back("tap");
        tapMask = mask;
        tap_ = std::move(callback);
        return tapInstallSucceeds;
    }
    void addGlobalKeyDownMonitor(std::function<void(const HotkeyEvent&)> handler) override {
        installations.push_back("hotkey");
        hotkey_ = std::move(handler);
    }
    void addRepeatingTimer(double intervalSeconds, std::function<void()> action) override {
        installations.push_back("timer");
        queue_.push_back({now_ + intervalSeconds, order_++, intervalSeconds, std::move(action)});
    }
    void runAfter(double delaySeconds, std::function<void()> task) override {
        queue_.push_back({now_ + delaySeconds, order_++, std::nullopt, std::move(task)});
    }
    void onInterrupt(std::function<void()> handler) override {
        installations.push_back("interrupt");
        interrupt_ = std::move(handler);
    }
    std::optional<int> interruptDescriptor() const override { return std::nullopt; }
    void onParentGone(int outputFd, std::optional<int> inputFd,
                      std::function<void()> handler) override {
        installations.push_back("parent");
        watchedFds = {outputFd, inputFd};
        parentGone_ = std::move(handler);
    }
    void onDisplayLost(std::function<void()> handler) override {
        installations.push_back("display");
        displayLost_ = std::move(handler);
    }
    void releaseHeldInput() override { ++releases; }
    void run() override { ++runs; }

    /// Runs every task due within the next `seconds` in time order (ties in queue order),
    /// moving virtual time to each task's moment, then to the end.
    void advance(double seconds);

    bool tapInstallSucceeds = true;
    std::optional<std::uint64_t> tapMask;
    int runs = 0;
    int releases = 0;
    /// The output and input descriptors `onParentGone` watches.
    std::optional<std::pair<int, std::optional<int>>> watchedFds;
    std::vector<std::string> installations;

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

    FakeClock* clock_;
    double now_ = 0;
    std::uint64_t order_ = 0;
    std::vector<Entry> queue_;
    std::function<void(const InputEvent&)> tap_;
    std::function<void(const HotkeyEvent&)> hotkey_;
    std::function<void()> interrupt_, parentGone_, displayLost_;
};
