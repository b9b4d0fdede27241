// Counts, per application, the AT-SPI notices that elements were added or removed.
#pragma once

#include "platform/linux/atspi/atspi_calls.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>

/// Listens to "object:children-changed" of the applications asked about, and of no other:
/// each listener is registered for one application's bus name, so the bus delivers nothing
/// else. Notices arrive through the GLib main context while it runs (libatspi also
/// dispatches them while it waits for a reply); counting them takes no lock.
///
/// libatspi compares every notice with the application of each such listener, and reads
/// that application through a pointer it clears when the application leaves the bus: a
/// listener must be gone by then, so each one goes as soon as libatspi lets its
/// application go.
class AtspiStructureWatch {
public:
    AtspiStructureWatch() = default;
    ~AtspiStructureWatch();
    AtspiStructureWatch(const AtspiStructureWatch&) = delete;
    AtspiStructureWatch& operator=(const AtspiStructureWatch&) = delete;

    /// Notices counted for `application` (an application's root accessible), starting to
    /// listen on the first call; absent when the listener cannot be registered, and while
    /// the application may not know of it yet.
    std::optional<std::uint64_t> changes(AtspiAccessible* application);
    /// The same for an application already watched; nothing is started for one that is not.
    std::optional<std::uint64_t> changesIfWatched(AtspiAccessible* application) const;

private:
    struct Watched {
        atspi_calls::GObjectPtr<AtspiAccessible> application;
        AtspiApplication* owner = nullptr; ///< referenced weakly while listening
        std::atomic<std::uint64_t> notices{0};
        bool listening = false;
        std::chrono::steady_clock::time_point since;
    };
    /// An application learns of a new listener from the registry in its own time, and
    /// announces nothing until then: a count is trusted once the listener is this old.
    static constexpr std::chrono::milliseconds settleTime{250};
    /// Applications watched at once; beyond this, one listener is dropped for each new one.
    static constexpr std::size_t watchLimit = 16;

    static void onNotice(AtspiEvent* event, void* watched);
    static void onApplicationGone(void* watched, GObject* application);
    static void stop(Watched& watched);

    /// By application; each entry holds its application, so no other takes its address.
    std::map<AtspiAccessible*, std::unique_ptr<Watched>> watched_;
};
