#include "platform/linux/atspi/atspi_moment.h"

#include <algorithm>
#include <cstddef>

using namespace atspi_calls;
using atspi_batch::Fact;

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
        ChildList read = childList(object, limit, deadline, entry->childCount);
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
    if (entry && entry->childCount) return entry->childCount;
    CallError error;
    const gint count = atspi_accessible_get_child_count(object, error.out());
    if (error.failed()) return std::nullopt;
    if (entry) keep(*entry, Fact::childCount, int{count});
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
    return text(object, Fact::name);
}

std::optional<std::string> AtspiMoment::text(AtspiAccessible* object, Fact which) {
    Entry* entry = entryOf(object);
    std::optional<std::string>* known =
        entry != nullptr ? &entry->texts[static_cast<std::size_t>(which)] : nullptr;
    if (known != nullptr && *known) return *known;
    std::optional<std::string> read = atspi_batch::readText(object, which);
    if (known != nullptr) *known = read;
    return read;
}

bool AtspiMoment::knows(const Entry& entry, Fact fact) {
    switch (fact) {
    case Fact::role:
        return entry.role.has_value();
    case Fact::states:
        return entry.states != nullptr;
    case Fact::extents:
        return entry.extents.has_value();
    case Fact::childCount:
        return entry.children || entry.childCount;
    case Fact::parent:
    case Fact::indexInParent:
        return false; // not kept
    default:
        return entry.texts[static_cast<std::size_t>(fact)].has_value();
    }
}

void AtspiMoment::keep(Entry& entry, Fact fact, atspi_batch::Answer answer) {
    if (auto* text = std::get_if<std::string>(&answer)) {
        if (static_cast<std::size_t>(fact) < atspi_batch::kTextKinds)
            entry.texts[static_cast<std::size_t>(fact)] = std::move(*text);
    } else if (const auto* role = std::get_if<AtspiRole>(&answer)) {
        entry.role = *role;
    } else if (const auto* bits = std::get_if<atspi_batch::StateBits>(&answer)) {
        GArray* states = g_array_new(FALSE, FALSE, sizeof(AtspiStateType));
        for (guint state = 0; state < 64; ++state) {
            if ((bits->words[state / 32] >> (state % 32)) & 1u) {
                const auto type = static_cast<AtspiStateType>(state);
                g_array_append_val(states, type);
            }
        }
        entry.states.reset(atspi_state_set_new(states));
        g_array_free(states, TRUE);
    } else if (const auto* extents = std::get_if<AtspiRect>(&answer)) {
        entry.extents = *extents;
    } else if (const auto* count = std::get_if<int>(&answer); count && fact == Fact::childCount) {
        entry.childCount = std::max(*count, 0);
        if (*count <= 0) entry.children = ChildList{0, {}, true};
    }
}

void AtspiMoment::readTogether(std::span<AtspiAccessible* const> objects,
                               std::span<const Fact> facts, int timeoutMs) {
    if (!open_) return;
    std::vector<atspi_batch::Request> requests;
    for (AtspiAccessible* object : objects) {
        Entry* entry = entryOf(object);
        if (entry == nullptr) continue;
        for (const Fact fact : facts) {
            if (!knows(*entry, fact)) requests.push_back({object, fact});
        }
    }
    if (requests.empty()) return;
    std::vector<atspi_batch::Answer> answers = atspi_batch::readTogether(requests, timeoutMs);
    for (std::size_t k = 0; k < requests.size(); ++k)
        keep(*entryOf(requests[k].object), requests[k].fact, std::move(answers[k]));
}

bool AtspiMoment::confirmChildren(AtspiAccessible* parent,
                                  std::span<const GObjectPtr<AtspiAccessible>> children,
                                  std::span<const Fact> facts, int timeoutMs) {
    Entry* parentEntry = entryOf(parent);
    if (parentEntry == nullptr || parent->parent.app == nullptr ||
        parent->parent.app->bus_name == nullptr || parent->parent.path == nullptr)
        return false;
    const atspi_batch::ObjectRef parentRef{parent->parent.app->bus_name, parent->parent.path};
    std::vector<atspi_batch::Request> requests{{parent, Fact::childCount}};
    for (const auto& child : children) {
        requests.push_back({child.get(), Fact::parent});
        requests.push_back({child.get(), Fact::indexInParent});
        for (const Fact fact : facts)
            requests.push_back({child.get(), fact});
    }
    std::vector<atspi_batch::Answer> answers = atspi_batch::readTogether(requests, timeoutMs);
    const auto* count = std::get_if<int>(&answers[0]);
    bool confirmed = count != nullptr && *count == static_cast<int>(children.size());
    for (std::size_t k = 1; k < requests.size(); ++k) {
        const Fact fact = requests[k].fact;
        const auto place = static_cast<int>((k - 1) / (2 + facts.size()));
        if (fact == Fact::parent) {
            const auto* ref = std::get_if<atspi_batch::ObjectRef>(&answers[k]);
            confirmed = confirmed && ref != nullptr && *ref == parentRef;
        } else if (fact == Fact::indexInParent) {
            const auto* index = std::get_if<int>(&answers[k]);
            confirmed = confirmed && index != nullptr && *index == place;
        } else if (Entry* entry = entryOf(requests[k].object)) {
            keep(*entry, fact, std::move(answers[k]));
        }
    }
    if (!confirmed) {
        if (count != nullptr) keep(*parentEntry, Fact::childCount, answers[0]);
        return false;
    }
    ChildList list{static_cast<int>(children.size()), {}, true};
    for (const auto& child : children)
        list.first.push_back(retained(child.get()));
    parentEntry->children = std::move(list);
    return true;
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
