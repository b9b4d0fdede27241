#include "platform/linux/atspi/atspi_tree_walk.h"

#include <deque>

namespace atspi_tree_walk {

using namespace atspi_calls;

GObjectPtr<AtspiAccessible> parentOf(AtspiAccessible* object) {
    CallError error;
    GObjectPtr<AtspiAccessible> parent(atspi_accessible_get_parent(object, error.out()));
    if (error.failed()) return nullptr;
    return parent;
}

std::optional<atspi_placement::Box> reportedBox(AtspiMoment& moment, AtspiAccessible* object) {
    const std::optional<AtspiRect> reported = moment.reportedExtents(object);
    return reported ? atspi_placement::placed(*reported) : std::nullopt;
}

GObjectPtr<AtspiAccessible> breadthFirst(AtspiMoment& moment, AtspiAccessible* root,
                                         int maxExamined, int maxChildren,
                                         Clock::time_point deadline,
                                         const std::function<Step(AtspiAccessible*)>& step) {
    std::deque<GObjectPtr<AtspiAccessible>> queue;
    queue.push_back(retained(root));
    for (int examined = 0; !queue.empty() && examined < maxExamined; ++examined) {
        if (Clock::now() >= deadline) break;
        GObjectPtr<AtspiAccessible> element = std::move(queue.front());
        queue.pop_front();
        const Step next = step(element.get());
        if (next == Step::take) return element;
        if (next == Step::skip) continue;
        for (auto& child : moment.children(element.get(), maxChildren, deadline))
            queue.push_back(std::move(child));
    }
    return nullptr;
}

} // namespace atspi_tree_walk
