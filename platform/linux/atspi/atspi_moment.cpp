#include "platform/linux/atspi/atspi_moment.h"

#include <algorithm>
#include <cstddef>

using namespace atspi_calls;

void AtspiMoment::begin() {
    entries_.clear();
    open_ = true;
}

void AtspiMoment::end() {
    entries_.clear();
    open_ = false;
}

void AtspiMoment::forget() {
    entries_.clear();
}

AtspiMoment::Entry* AtspiMoment::entryOf(AtspiAccessible* object) {
    if (!open_ || object == nullptr) return nullptr;
    auto [at, added] = entries_.try_emplace(object);
    if (added) at->second.held = retained(object);
    return &at->second;
}

GObjectPtr<AtspiStateSet> AtspiMoment::states(AtspiAccessible* object) {
    Entry* entry = entryOf(object);
    if (entry == nullptr) return atspi_calls::states(object);
    if (!entry->states) entry->states = atspi_calls::states(object);
    if (!entry->states) return nullptr;
    return GObjectPtr<AtspiStateSet>(
        static_cast<AtspiStateSet*>(g_object_ref(entry->states.get())));
}

bool AtspiMoment::hasState(AtspiAccessible* object, AtspiStateType state) {
    const GObjectPtr<AtspiStateSet> set = states(object);
    return set && atspi_state_set_contains(set.get(), state);
}

std::optional<AtspiRect> AtspiMoment::reportedExtents(AtspiAccessible* object) {
    Entry* entry = entryOf(object);
    if (entry == nullptr) return atspi_calls::reportedExtents(object);
    if (!entry->extents) entry->extents = atspi_calls::reportedExtents(object);
    return entry->extents;
}

std::vector<GObjectPtr<AtspiAccessible>> AtspiMoment::children(AtspiAccessible* object, int limit,
                                                               Clock::time_point deadline) {
    Entry* entry = entryOf(object);
    if (entry == nullptr) return atspi_calls::children(object, limit, deadline);
    const auto wanted = static_cast<std::size_t>(std::max(limit, 0));
    if (!entry->children ||
        entry->children->first.size() <
            std::min(wanted, static_cast<std::size_t>(entry->children->count))) {
        ChildList read = childList(object, limit, deadline);
        if (!read.complete) return std::move(read.first);
        entry->children = std::move(read);
    }
    const auto& known = entry->children->first;
    std::vector<GObjectPtr<AtspiAccessible>> copies;
    for (std::size_t k = 0; k < known.size() && k < wanted; ++k)
        copies.push_back(retained(known[k].get()));
    return copies;
}

std::optional<int> AtspiMoment::childCount(AtspiAccessible* object) {
    Entry* entry = entryOf(object);
    if (entry && entry->children) return entry->children->count;
    CallError error;
    const gint count = atspi_accessible_get_child_count(object, error.out());
    if (error.failed()) return std::nullopt;
    // No children is a whole list already.
    if (entry && count <= 0) entry->children = ChildList{0, {}, true};
    return std::max(count, 0);
}

std::optional<AtspiRole> AtspiMoment::role(AtspiAccessible* object) {
    Entry* entry = entryOf(object);
    if (entry && entry->role) return entry->role;
    const std::optional<AtspiRole> read = atspi_calls::role(object);
    if (entry) entry->role = read;
    return read;
}

std::optional<std::string> AtspiMoment::name(AtspiAccessible* object) {
    Entry* entry = entryOf(object);
    if (entry && entry->name) return entry->name;
    CallError error;
    OwnedText raw(atspi_accessible_get_name(object, error.out()));
    if (error.failed() || !raw) return std::nullopt;
    std::string text(raw.get());
    if (entry) entry->name = text;
    return text;
}

std::optional<std::uint32_t> AtspiMoment::processId(AtspiAccessible* object) {
    Entry* entry = entryOf(object);
    if (entry && entry->processId) return entry->processId;
    CallError error;
    const guint owner = atspi_accessible_get_process_id(object, error.out());
    if (error.failed()) return std::nullopt;
    if (entry) entry->processId = owner;
    return owner;
}
