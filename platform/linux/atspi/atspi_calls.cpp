#include "platform/linux/atspi/atspi_calls.h"

#include <algorithm>

namespace atspi_calls {

std::optional<AtspiRole> role(AtspiAccessible* object) {
    CallError error;
    const AtspiRole found = atspi_accessible_get_role(object, error.out());
    if (error.failed()) return std::nullopt;
    return found;
}

GObjectPtr<AtspiStateSet> states(AtspiAccessible* object) {
    return GObjectPtr<AtspiStateSet>(atspi_accessible_get_state_set(object));
}

std::optional<AtspiRect> reportedExtents(AtspiAccessible* object) {
    GObjectPtr<AtspiComponent> component(atspi_accessible_get_component_iface(object));
    if (!component) return std::nullopt;
    CallError error;
    std::unique_ptr<AtspiRect, GFree> rect(
        atspi_component_get_extents(component.get(), ATSPI_COORD_TYPE_SCREEN, error.out()));
    if (error.failed() || !rect) return std::nullopt;
    return *rect;
}

ChildList childList(AtspiAccessible* object, int limit, Clock::time_point deadline,
                    std::optional<int> knownCount) {
    ChildList list;
    CallError error;
    const gint count =
        knownCount ? *knownCount : atspi_accessible_get_child_count(object, error.out());
    if (error.failed()) return list;
    list.count = std::max(count, 0);
    const int wanted = std::min<int>(list.count, limit);
    list.first.reserve(static_cast<std::size_t>(wanted));
    int index = 0;
    for (; index < wanted && Clock::now() < deadline; ++index) {
        GObjectPtr<AtspiAccessible> child(
            atspi_accessible_get_child_at_index(object, index, error.out()));
        if (error.failed()) return list; // a timeout here would repeat for every sibling
        if (child) list.first.push_back(std::move(child));
    }
    list.complete = index == wanted && static_cast<int>(list.first.size()) == wanted;
    return list;
}

std::vector<GObjectPtr<AtspiAccessible>> children(AtspiAccessible* object, int limit,
                                                  Clock::time_point deadline) {
    return childList(object, limit, deadline).first;
}

std::vector<AtspiAccessible*> pointersOf(const std::vector<GObjectPtr<AtspiAccessible>>& held) {
    std::vector<AtspiAccessible*> pointers;
    pointers.reserve(held.size());
    for (const auto& object : held)
        pointers.push_back(object.get());
    return pointers;
}

} // namespace atspi_calls
