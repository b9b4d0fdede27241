#include "tests/fakes/fake_event_loop.h"

#include "tests/fakes/fake_clock.h"

#include <algorithm>
#include <cmath>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

FakeEventLoop::~FakeEventLoop() {
    for (const int fd : interruptPipe_) {
        if (fd >= 0) ::close(fd);
    }
}

bool FakeEventLoop::installEventTap(std::uint64_t mask,
                                    std::function<void(const InputEvent&)> callback) {
    installations_.push_back("tap");
    if (!tapInstallSucceeds) return false;
    tapMask_ = mask;
    tap_ = std::move(callback);
    return true;
}

void FakeEventLoop::addGlobalKeyDownMonitor(std::function<void(const HotkeyEvent&)> handler) {
    installations_.push_back("hotkey");
    hotkey_ = std::move(handler);
}

void FakeEventLoop::addRepeatingTimer(double intervalSeconds, std::function<void()> action) {
    installations_.push_back("timer");
    queue_.push_back({now_ + intervalSeconds, nextOrder_++, intervalSeconds, std::move(action)});
}

void FakeEventLoop::runAfter(double delaySeconds, std::function<void()> task) {
    queue_.push_back({now_ + delaySeconds, nextOrder_++, std::nullopt, std::move(task)});
}

void FakeEventLoop::onInterrupt(std::function<void()> handler) {
    installations_.push_back("interrupt");
    interrupt_ = std::move(handler);
    if (interruptPipe_[0] < 0 && ::pipe(interruptPipe_) == 0) {
        for (const int fd : interruptPipe_)
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
}

std::optional<int> FakeEventLoop::interruptDescriptor() const {
    if (interruptPipe_[0] < 0) return std::nullopt;
    return interruptPipe_[0];
}

void FakeEventLoop::onParentGone(int outputFd, std::optional<int> inputFd,
                                 std::function<void()> handler) {
    installations_.push_back("parent");
    watchedOutput_ = outputFd;
    watchedInput_ = inputFd;
    parentGone_ = std::move(handler);
}

void FakeEventLoop::onDisplayLost(std::function<void()> handler) {
    installations_.push_back("display");
    displayLost_ = std::move(handler);
}

void FakeEventLoop::advance(double seconds) {
    const double end = now_ + seconds;
    for (;;) {
        auto next =
            std::min_element(queue_.begin(), queue_.end(), [](const auto& a, const auto& b) {
                return a.due != b.due ? a.due < b.due : a.order < b.order;
            });
        // A small tolerance keeps sums like 0.1 + 0.35 from missing a task due at 0.45.
        if (next == queue_.end() || next->due > end + 1e-9) break;
        Entry entry = std::move(*next);
        queue_.erase(next);
        setNow(std::max(now_, entry.due));
        if (entry.interval) {
            queue_.push_back(
                {entry.due + *entry.interval, nextOrder_++, entry.interval, entry.action});
        }
        entry.action();
    }
    setNow(std::max(now_, end));
}

std::size_t FakeEventLoop::pendingTasks() const {
    return static_cast<std::size_t>(
        std::count_if(queue_.begin(), queue_.end(), [](const auto& e) { return !e.interval; }));
}

std::vector<double> FakeEventLoop::timerIntervals() const {
    std::vector<double> intervals;
    for (const auto& entry : queue_) {
        if (entry.interval) intervals.push_back(*entry.interval);
    }
    return intervals;
}

void FakeEventLoop::fireEvent(const InputEvent& event) {
    if (tap_) tap_(event);
}

void FakeEventLoop::fireHotkey(const HotkeyEvent& event) {
    if (hotkey_) hotkey_(event);
}

void FakeEventLoop::raiseInterrupt() {
    const char byte = 1;
    if (interruptPipe_[1] >= 0) (void)!::write(interruptPipe_[1], &byte, 1);
}

void FakeEventLoop::fireInterrupt() {
    char drained[16];
    if (interruptPipe_[0] >= 0) {
        while (::read(interruptPipe_[0], drained, sizeof drained) > 0) {
        }
    }
    if (interrupt_) interrupt_();
}

void FakeEventLoop::fireParentGone() {
    if (parentGone_) parentGone_();
}

void FakeEventLoop::fireDisplayLost() {
    if (displayLost_) displayLost_();
}

void FakeEventLoop::setNow(double seconds) {
    if (clock_ && seconds > now_) {
        clock_->advance(static_cast<std::int64_t>(std::llround((seconds - now_) * 1000.0)));
    }
    now_ = seconds;
}
