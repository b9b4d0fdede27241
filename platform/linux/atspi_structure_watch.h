// Counts, per application, the AT-SPI notices that elements were added or removed.
#pragma once

#include "platform/linux/atspi_calls.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>

/// Listens to "object:children-changed" of the applications asked about, and of no other:
/// each listener is registered for one application's bus name, so the bus delivers nothing
/// else. Notices arrive through the GLib main context while it runs (libatspi also
/// dispatches them while it waits for a reply); counting them takes no lock.
class AtspiStructureWatch {
public:
    AtspiStructureWatch() = default;
    ~AtspiStructureWatch();
    AtspiStructureWatch(const AtspiStructureWatch&) = delete;
    AtspiStructureWatch& operator=(const AtspiStructureWatch&) = delete;

    /// Notices counted for `application` (the accessible of process `pid`), starting to
    /// listen on the first call; absent when the listener cannot be registered.
    std::optional<std::uint64_t> changes(std::int32_t pid, AtspiAccessible* application);

private:
    struct Watched {
        atspi_calls::GObjectPtr<AtspiAccessible> application;
        std::atomic<std::uint64_t> notices{0};
        bool listening = false;
    };
    /// Applications watched at once; the oldest listeners are dropped beyond this.
    static constexpr std::size_t watchLimit = 16;

    static void onNotice(AtspiEvent* event, void* watched);
    static void stop(Watched& watched);

    std::map<std::int32_t, std::unique_ptr<Watched>> watched_;
};
