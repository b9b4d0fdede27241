#include "platform/linux/atspi/atspi_focus_tracker.h"

namespace {

constexpr const char* focusChanged = "object:state-changed:focused";

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
    if (!focused_) return nullptr;
    return atspi_calls::retained(focused_.get());
}

void AtspiFocusTracker::onNotice(AtspiEvent* event, void* tracker) {
    auto& self = *static_cast<AtspiFocusTracker*>(tracker);
    if (event->source != nullptr) {
        if (event->detail1 != 0) {
            self.focused_ = atspi_calls::retained(event->source);
            if (self.onFocus_) self.onFocus_();
        } else if (event->source == self.focused_.get()) {
            self.focused_.reset();
        }
    }
    g_boxed_free(ATSPI_TYPE_EVENT, event);
}
