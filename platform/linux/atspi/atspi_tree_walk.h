// Reads of the tree that the port's searches share: a parent, a reported place, a walk.
#pragma once

#include "platform/linux/atspi/atspi_calls.h"
#include "platform/linux/atspi/atspi_moment.h"
#include "platform/linux/atspi/atspi_window_placement.h"

#include <functional>
#include <optional>

namespace atspi_tree_walk {

/// The object's parent; null when the request fails or it has none.
atspi_calls::GObjectPtr<AtspiAccessible> parentOf(AtspiAccessible* object);

/// The extents the toolkit reports, as a box; nothing when they place it nowhere.
std::optional<atspi_placement::Box> reportedBox(AtspiMoment& moment, AtspiAccessible* object);

/// What a walk does with an element it reaches.
enum class Step { take, descend, skip };

/// Breadth first from `root` (itself included), at most `maxExamined` elements and the first
/// `maxChildren` children of each, until `deadline`: the first element `step` takes; null
/// when there is none.
atspi_calls::GObjectPtr<AtspiAccessible>
breadthFirst(AtspiMoment& moment, AtspiAccessible* root, int maxExamined, int maxChildren,
             atspi_calls::Clock::time_point deadline,
             const std::function<Step(AtspiAccessible* element)>& step);

} // namespace atspi_tree_walk
