// Counts, per application, the accessibility notices that elements were created or destroyed.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>

/// One AXObserver per application asked about, its run-loop source on the main run loop;
/// notices are counted as that run loop delivers them.
class AXStructureWatch {
public:
    AXStructureWatch();
    ~AXStructureWatch();
    AXStructureWatch(const AXStructureWatch&) = delete;
    AXStructureWatch& operator=(const AXStructureWatch&) = delete;

    /// Notices counted for process `pid`, observing it from the first call on; absent when it
    /// cannot be observed.
    std::optional<std::uint64_t> changes(std::int32_t pid);

private:
    struct Observed;
    /// Applications observed at once; the oldest observers are dropped beyond this.
    static constexpr std::size_t observedLimit = 16;

    std::map<std::int32_t, std::unique_ptr<Observed>> observed_;
};
