// A main loop in virtual time: delayed tasks and repeating timers wait until the test advances
// time; the interrupt and display-lost handlers are kept so the test can fire them.
#pragma once

#include "platform/event_loop.h"
#include "tests/fakes/fake_clock.h"

#include <cmath>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>

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
        queue_.emplace(now_ + intervalSeconds, Entry{intervalSeconds, std::move(action)});
    }
    void runAfter(double delaySeconds, std::function<void()> task) override {
        queue_.emplace(now_ + delaySeconds, Entry{std::nullopt, std::move(task)});
    }
    void onInterrupt(std::function<void()> handler) override { interrupt = std::move(handler); }
    std::optional<int> interruptDescriptor() const override { return std::nullopt; }
    void onParentGone(int outputFd, std::optional<int> inputFd,
                      std::function<void(ParentGone)> handler) override {
        watchedFds = {outputFd, inputFd};
        parentGone = std::move(handler);
    }
    void onDisplayLost(std::function<void()> handler) override { displayLost = std::move(handler); }
    void onInputDropped(
        std::function<void(std::int64_t count, std::string_view droppedText)> handler) override {
        inputDropped = std::move(handler);
    }
    void releaseHeldInput() override { ++releases; }
    void run() override {}

    /// Runs every task due within the next `seconds` in time order (ties in queue order),
    /// moving virtual time to each task's moment, then to the end.
    void advance(double seconds) {
        const double end = now_ + seconds;
        // The tolerance keeps sums like 0.1 + 0.35 from missing a task due at 0.45.
        while (!queue_.empty() && queue_.begin()->first <= end + 1e-9) {
            auto [due, entry] = *queue_.begin();
            queue_.erase(queue_.begin());
            moveTo(due);
            if (entry.interval) queue_.emplace(due + *entry.interval, entry);
            entry.action();
        }
        moveTo(end);
    }

    bool tapInstallSucceeds = true;
    std::optional<std::uint64_t> tapMask;
    int releases = 0;
    /// The output and input descriptors `onParentGone` watches.
    std::optional<std::pair<int, std::optional<int>>> watchedFds;
    std::function<void()> interrupt, displayLost; ///< the handlers, for the test to fire
    std::function<void(ParentGone)> parentGone;
    std::function<void(std::int64_t, std::string_view)> inputDropped;

private:
    struct Entry {
        std::optional<double> interval; ///< repeating timers only
        std::function<void()> action;
    };
    void moveTo(double moment) {
        if (moment <= now_) return;
        if (clock_) clock_->advance(std::llround((moment - now_) * 1000.0));
        now_ = moment;
    }

    FakeClock* clock_;
    double now_ = 0;
    std::multimap<double, Entry> queue_; ///< equal moments keep their queue order
};
