#include "tests/fakes/fake_event_loop.h"

#include "tests/fakes/fake_clock.h"

#include <algorithm>
#include <cmath>

void FakeEventLoop::advance(double seconds) {
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
            queue_.push_back({entry.due + *entry.interval, order_++, entry.interval, entry.action});
        entry.action();
    }
    moveTo(end);
}
