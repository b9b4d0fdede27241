// The requests of one moment that the port's parts share: what one of them read is not asked
// again by another until the moment ends.
#pragma once

#include "platform/linux/atspi/atspi_batch.h"
#include "platform/linux/atspi/atspi_calls.h"

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

/// Outside a moment every call asks. Inside one, states, extents, child lists and counts,
/// roles, texts and process ids read successfully are answered again from memory; failures
/// are asked again.
/// Not thread-safe: the port's lock guards it.
class AtspiMoment {
public:
    void begin();
    /// Forgets everything read, so that nothing outlives the moment.
    void end();
    /// Forgets what was read and stays open: the tree has changed since.
    void forget();

    atspi_calls::GObjectPtr<AtspiStateSet> states(AtspiAccessible* object);
    bool hasState(AtspiAccessible* object, AtspiStateType state);
    std::optional<AtspiRect> reportedExtents(AtspiAccessible* object);
    /// As `atspi_calls::children`; a list read whole up to a larger limit serves a smaller one.
    std::vector<atspi_calls::GObjectPtr<AtspiAccessible>>
    children(AtspiAccessible* object, int limit, atspi_calls::Clock::time_point deadline);
    /// How many children the object has; absent when the request failed.
    std::optional<int> childCount(AtspiAccessible* object);
    /// The role; absent when the request failed.
    std::optional<AtspiRole> role(AtspiAccessible* object);
    /// The name as sent; absent when the request failed or gave none.
    std::optional<std::string> name(AtspiAccessible* object);
    /// As `atspi_batch::readText`.
    std::optional<std::string> text(AtspiAccessible* object, atspi_batch::Fact which);
    /// Reads the `facts` of `objects` not known yet in this moment together (see
    /// `atspi_batch::readTogether`), for the calls above to answer; nothing outside a moment,
    /// where nothing is kept.
    void readTogether(std::span<AtspiAccessible* const> objects,
                      std::span<const atspi_batch::Fact> facts, int timeoutMs);
    /// Reads the `facts` of `children`, known from before, together with what confirms them
    /// as `parent`'s whole list of children now: as many children, each naming `parent` its
    /// parent and its own place in the list its index. True, and the list known to `children`
    /// until the moment ends, when they do; false outside a moment.
    bool confirmChildren(AtspiAccessible* parent,
                         std::span<const atspi_calls::GObjectPtr<AtspiAccessible>> children,
                         std::span<const atspi_batch::Fact> facts, int timeoutMs);
    /// The process that owns the object's bus name; absent when the request failed.
    std::optional<std::uint32_t> processId(AtspiAccessible* object);

private:
    struct Entry {
        atspi_calls::GObjectPtr<AtspiAccessible> held; ///< keeps the key's address unused
        atspi_calls::GObjectPtr<AtspiStateSet> states;
        std::optional<AtspiRect> extents;
        std::optional<atspi_calls::ChildList> children; ///< complete lists only
        std::optional<AtspiRole> role;
        std::array<std::optional<std::string>, atspi_batch::kTextKinds> texts;
        std::optional<int> childCount;
        std::optional<std::uint32_t> processId;
    };
    /// The entry of `object` while a moment is open; null outside one.
    Entry* entryOf(AtspiAccessible* object);
    static bool knows(const Entry& entry, atspi_batch::Fact fact);
    static void keep(Entry& entry, atspi_batch::Fact fact, atspi_batch::Answer answer);

    bool open_ = false;
    std::map<AtspiAccessible*, Entry> entries_;
};
