#include "platform/linux/atspi/atspi_focus_tracker.h"

#include <chrono>

namespace {

constexpr const char* focusChanged = "object:state-changed:focused";
// Gains remembered: enough for the moves a key's own effect makes before it is looked up.
constexpr std::size_t kMaxGains = 8;

std::int64_t wallClockMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

} // namespace

AtspiFocusTracker::~AtspiFocusTracker() {
    if (listening_)
        atspi_event_listener_deregister_from_callback(&AtspiFocusTracker::onNotice, this,
                                                      focusChanged, nullptr);
}

void AtspiFocusTracker::start(std::function<void()> onFocus) {
    if (started_) return;
    started_ = true;
    onFocus_ = std::move(onFocus);
    atspi_calls::CallError error;
    listening_ = atspi_event_listener_register_from_callback(&AtspiFocusTracker::onNotice, this,
                                                             nullptr, focusChanged, error.out()) &&
                 !error.failed();
}

atspi_calls::GObjectPtr<AtspiAccessible> AtspiFocusTracker::focused() const {
    if (gains_.empty() || gains_.back().lostMs) return nullptr;
    return atspi_calls::retained(gains_.back().element.get());
}

atspi_calls::GObjectPtr<AtspiAccessible> AtspiFocusTracker::focusedAt(std::int64_t atMs) const {
    for (auto gain = gains_.rbegin(); gain != gains_.rend(); ++gain) {
        if (gain->gainedMs > atMs) continue;
        if (gain->lostMs && *gain->lostMs <= atMs) break;
        return atspi_calls::retained(gain->element.get());
    }
    for (const Loss& loss : losses_) {
        if (loss.lostMs > atMs) return atspi_calls::retained(loss.element.get());
    }
    return nullptr;
}

void AtspiFocusTracker::gained(AtspiAccessible* element) {
    if (gains_.size() >= kMaxGains) gains_.pop_front();
    gains_.push_back({atspi_calls::retained(element), wallClockMs(), std::nullopt});
}

void AtspiFocusTracker::found(AtspiAccessible* element) {
    if (gains_.empty() || gains_.back().element.get() != element || gains_.back().lostMs)
        gained(element);
}

void AtspiFocusTracker::onNotice(AtspiEvent* event, void* tracker) {
    auto& self = *static_cast<AtspiFocusTracker*>(tracker);
    if (event->source != nullptr) {
        if (event->detail1 != 0) {
            self.gained(event->source);
            if (self.onFocus_) self.onFocus_();
        } else {
            const std::int64_t now = wallClockMs();
            if (!self.gains_.empty() && event->source == self.gains_.back().element.get() &&
                !self.gains_.back().lostMs)
                self.gains_.back().lostMs = now;
            if (self.losses_.size() >= kMaxGains) self.losses_.pop_front();
            self.losses_.push_back({atspi_calls::retained(event->source), now});
        }
    }
    g_boxed_free(ATSPI_TYPE_EVENT, event);
}
