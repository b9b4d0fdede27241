// A main loop in virtual time: delayed tasks and repeating timers wait until the test advances
// time; the interrupt and display-lost handlers are kept so the test can fire them.
#pragma once

#include "platform/event_loop.h"
#include "tests/fakes/fake_clock.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

class FakeEventLoop : public EventLoop {
public:
    /// With a clock, virtual time moves the clock too.
    explicit FakeEventLoop(FakeClock* clock = nullptr) : clock_(clock) {}

    bool installEventTap(std::uint64_t mask, std::function<void(const InputEvent&)>) override {
        tapMask = mask;
        return tapInstallSucceeds;
    }
    void addGlobalKeyDownMonitor(std::function<void(const HotkeyEvent&)>) override {}
    void addRepeatingTimer(double intervalSeconds, std::function<void()> action) override {
        queue_.push_back({now_ + intervalSeconds, order_++, intervalSeconds, std::move(action)});
    }
    void runAfter(double delaySeconds, std::function<void()> task) override {
        queue_.push_back({now_ + delaySeconds, order_++, std::nullopt, std::move(task)});
    }
    void onInterrupt(std::function<void()> handler) override { interrupt_ = std::move(handler); }
    std::optional<int> interruptDescriptor() const override { return std::nullopt; }
    void onParentGone(int outputFd, std::optional<int> inputFd, std::function<void()>) override {
        watchedFds = {outputFd, inputFd};
    }
    void onDisplayLost(std::function<void()> handler) override {
        displayLost_ = std::move(handler);
    }
    void releaseHeldInput() override { ++releases; }
    void run() override {}

    /// Runs every task due within the next `seconds` in time order (ties in queue order),
    /// moving virtual time to each task's moment, then to the end.
    void advance(double seconds) {
        const auto moveTo = [this](double moment) {
            if (moment <= now_) return;
            if (clock_) clock_->advance(std::llround((moment - now_) * 1000.0));
            now_ = moment;
        };
        const double end = now_ + seconds;
        for (;;) {
            auto next = std::min_element(queue_.begin(), queue_.end(), [](auto& a, auto& b) {
                return a.due != b.due ? a.due < b.due : a.order < b.order;
            });
            // The tolerance keeps sums like 0.1 + 0.35 from missing a task due at 0.45.
            if (next == queue_.end() || next->due > end + 1e-9) break;
            Entry entry = std::move(*next);
            queue_.erase(next);
            moveTo(entry.due);
            if (entry.interval)
                queue_.push_back(
                    {entry.due + *entry.interval, order_++, entry.interval, entry.action});
            entry.action();
        }
        moveTo(end);
    }

    bool tapInstallSucceeds = true;
    std::optional<std::uint64_t> tapMask;
    int releases = 0;
    /// The output and input descriptors `onParentGone` watches.
    std::optional<std::pair<int, std::optional<int>>> watchedFds;

    void fireInterrupt() { interrupt_(); }
    void fireDisplayLost() { displayLost_(); }

private:
    struct Entry {
        double due;
        std::uint64_t order;
        std::optional<double> interval; ///< repeating timers only
        std::function<void()> action;
    };

    FakeClock* clock_;
    double now_ = 0;
    std::uint64_t order_ = 0;
    std::vector<Entry> queue_;
    std::function<void()> interrupt_, displayLost_;
};
