// Parents read from applications' trees, kept while the application adds or removes nothing.
#pragma once

#include "platform/linux/atspi/atspi_calls.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <unordered_map>

/// An element's parent and the parent's role, as read once.
struct AtspiParentLink {
    atspi_calls::GObjectPtr<AtspiAccessible> parent;
    std::optional<AtspiRole> role;
};

/// A walk outwards from an element asks for a parent and its role at every level, two round
/// trips to an application that is often busy; the levels above an element are the same for
/// every click in a window. A link is valid only while the count of the application's
/// structure changes (elements added or removed) is the one it was read under.
class AtspiLineage {
public:
    /// The link read for `child` while its application had made `changes` structure changes,
    /// if that is still the count.
    std::optional<AtspiParentLink> known(AtspiAccessible* child, std::uint64_t changes) const;
    /// Keeps `link` for `child`, read with the count at `changes` before the request.
    void remember(AtspiAccessible* child, const AtspiParentLink& link, std::uint64_t changes);

private:
    struct Entry {
        atspi_calls::GObjectPtr<AtspiAccessible> child; ///< held, so its address is not reused
        AtspiParentLink link;
        std::uint64_t changes = 0;
    };
    /// Links kept at once; all are dropped beyond this.
    static constexpr std::size_t entryLimit = 4096;

    std::unordered_map<AtspiAccessible*, Entry> entries_;
};
