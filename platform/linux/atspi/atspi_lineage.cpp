#include "platform/linux/atspi/atspi_lineage.h"

using atspi_calls::retained;

std::optional<AtspiParentLink> AtspiLineage::known(AtspiAccessible* child,
                                                   std::uint64_t changes) const {
    const auto found = entries_.find(child);
    if (found == entries_.end() || found->second.changes != changes) return std::nullopt;
    return AtspiParentLink{retained(found->second.link.parent.get()), found->second.link.role};
}

void AtspiLineage::remember(AtspiAccessible* child, const AtspiParentLink& link,
                            std::uint64_t changes) {
    if (child == nullptr || !link.parent) return;
    if (entries_.size() >= entryLimit && !entries_.contains(child)) entries_.clear();
    entries_.insert_or_assign(
        child, Entry{retained(child), {retained(link.parent.get()), link.role}, changes});
}
