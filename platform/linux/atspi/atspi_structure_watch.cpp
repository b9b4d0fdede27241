#include "platform/linux/atspi/atspi_structure_watch.h"

namespace {

constexpr const char* childrenChanged = "object:children-changed";

} // namespace

AtspiStructureWatch::~AtspiStructureWatch() {
    for (auto& [application, watched] : watched_)
        stop(*watched);
}

void AtspiStructureWatch::onNotice(AtspiEvent* event, void* watched) {
    static_cast<Watched*>(watched)->notices.fetch_add(1, std::memory_order_relaxed);
    g_boxed_free(ATSPI_TYPE_EVENT, event);
}

void AtspiStructureWatch::onApplicationGone(void* watched, GObject* /*application*/) {
    auto& gone = *static_cast<Watched*>(watched);
    gone.owner = nullptr; // being disposed: no weak reference is left to drop
    stop(gone);
}

void AtspiStructureWatch::stop(Watched& watched) {
    if (watched.owner != nullptr) {
        g_object_weak_unref(G_OBJECT(watched.owner), &AtspiStructureWatch::onApplicationGone,
                            &watched);
        watched.owner = nullptr;
    }
    if (!watched.listening) return;
    watched.listening = false;
    atspi_event_listener_deregister_from_callback(&AtspiStructureWatch::onNotice, &watched,
                                                  childrenChanged, nullptr);
}

std::optional<std::uint64_t>
AtspiStructureWatch::changesIfWatched(AtspiAccessible* application) const {
    const auto known = watched_.find(application);
    if (known == watched_.end()) return std::nullopt;
    const Watched& watched = *known->second;
    if (!watched.listening || std::chrono::steady_clock::now() - watched.since < settleTime)
        return std::nullopt;
    return watched.notices.load(std::memory_order_relaxed);
}

std::optional<std::uint64_t> AtspiStructureWatch::changes(AtspiAccessible* application) {
    // An application that has left the bus is not listened to.
    if (application == nullptr || application->parent.app == nullptr) return std::nullopt;
    if (watched_.contains(application)) return changesIfWatched(application);
    // Applications that have left the bus make room first.
    std::erase_if(watched_, [](const auto& entry) {
        if (entry.second->application->parent.app != nullptr) return false;
        stop(*entry.second);
        return true;
    });
    if (watched_.size() >= watchLimit) {
        stop(*watched_.begin()->second);
        watched_.erase(watched_.begin());
    }
    auto watched = std::make_unique<Watched>();
    watched->application = atspi_calls::retained(application);
    watched->since = std::chrono::steady_clock::now();
    atspi_calls::CallError error;
    watched->listening = atspi_event_listener_register_from_callback_with_app(
                             &AtspiStructureWatch::onNotice, watched.get(), nullptr,
                             childrenChanged, nullptr, application, error.out()) &&
                         !error.failed();
    if (watched->listening) {
        watched->owner = application->parent.app;
        g_object_weak_ref(G_OBJECT(watched->owner), &AtspiStructureWatch::onApplicationGone,
                          watched.get());
    }
    // A refusal is remembered too: it is not asked again on every probe.
    watched_.emplace(application, std::move(watched));
    return std::nullopt;
}
