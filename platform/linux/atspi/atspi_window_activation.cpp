#include "platform/linux/atspi/atspi_window_activation.h"

namespace {

constexpr const char* activeChanged = "object:state-changed:active";

} // namespace

AtspiWindowActivation::~AtspiWindowActivation() {
    if (listening_)
        atspi_event_listener_deregister_from_callback(&AtspiWindowActivation::onNotice, this,
                                                      activeChanged, nullptr);
}

void AtspiWindowActivation::start(std::function<void(AtspiAccessible*)> onActive) {
    if (started_) return;
    started_ = true;
    onActive_ = std::move(onActive);
    atspi_calls::CallError error;
    listening_ = atspi_event_listener_register_from_callback(&AtspiWindowActivation::onNotice, this,
                                                             nullptr, activeChanged, error.out()) &&
                 !error.failed();
}

void AtspiWindowActivation::onNotice(AtspiEvent* event, void* activation) {
    auto& self = *static_cast<AtspiWindowActivation*>(activation);
    if (event->source != nullptr && event->detail1 != 0 && self.onActive_)
        self.onActive_(event->source);
    g_boxed_free(ATSPI_TYPE_EVENT, event);
}
