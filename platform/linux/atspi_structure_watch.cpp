#include "platform/linux/atspi_structure_watch.h"

namespace {

constexpr const char* childrenChanged = "object:children-changed";

} // namespace

AtspiStructureWatch::~AtspiStructureWatch() {
    for (auto& [pid, watched] : watched_)
        stop(*watched);
}

void AtspiStructureWatch::onNotice(AtspiEvent* event, void* watched) {
    static_cast<Watched*>(watched)->notices.fetch_add(1, std::memory_order_relaxed);
    g_boxed_free(ATSPI_TYPE_EVENT, event);
}

void AtspiStructureWatch::stop(Watched& watched) {
    if (!watched.listening) return;
    atspi_event_listener_deregister_from_callback(&AtspiStructureWatch::onNotice, &watched,
                                                  childrenChanged, nullptr);
}

std::optional<std::uint64_t> AtspiStructureWatch::changes(std::int32_t pid,
                                                          AtspiAccessible* application) {
    if (application == nullptr) return std::nullopt;
    if (auto known = watched_.find(pid); known != watched_.end()) {
        // The same process may have registered anew under another bus name.
        if (known->second->application.get() == application) {
            if (!known->second->listening) return std::nullopt;
            return known->second->notices.load(std::memory_order_relaxed);
        }
        stop(*known->second);
        watched_.erase(known);
    }
    if (watched_.size() >= watchLimit) {
        stop(*watched_.begin()->second);
        watched_.erase(watched_.begin());
    }
    auto watched = std::make_unique<Watched>();
    watched->application = atspi_calls::retained(application);
    atspi_calls::CallError error;
    watched->listening = atspi_event_listener_register_from_callback_with_app(
                             &AtspiStructureWatch::onNotice, watched.get(), nullptr,
                             childrenChanged, nullptr, application, error.out()) &&
                         !error.failed();
    // A refusal is remembered too: it is not asked again on every probe.
    const bool listening = watched->listening;
    watched_.emplace(pid, std::move(watched));
    if (!listening) return std::nullopt;
    return 0;
}
