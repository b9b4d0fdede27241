// The deepest element under a screen point inside one window.
#pragma once

#include "platform/linux/atspi/atspi_calls.h"
#include "platform/linux/atspi/atspi_moment.h"
#include "platform/linux/atspi/atspi_window_placement.h"

namespace atspi_point_lookup {

/// The element under a point and what the lookup learnt of it on the way.
struct Found {
    atspi_calls::GObjectPtr<AtspiAccessible> element;
    std::optional<AtspiRole> role;
    std::optional<atspi_placement::Box> screenBox;
};

/// Descends from `window` by the toolkit's own hit test; where that answers nothing, by the
/// extents of the children (those showing first, then the smallest), never into the content
/// of a control such as a button. An unnamed, childless filler that exactly covers its parent
/// (a scroll view's viewport) gives way to the parent, and an element that is not shown to its
/// nearest ancestor that is, unless the window `mayBeClosed` (a menu pressed in that has
/// closed since). Stops at `deadline`. `windowBox` is the window's own place on the screen.
Found deepestAt(AtspiMoment& moment, atspi_calls::GObjectPtr<AtspiAccessible> window, int x, int y,
                const atspi_placement::Origin& origin, const atspi_placement::Box& windowBox,
                atspi_calls::Clock::time_point deadline, bool mayBeClosed = false);

/// The element's extents on the screen; nothing when they place it nowhere.
std::optional<atspi_placement::Box> screenBox(AtspiMoment& moment, AtspiAccessible* object,
                                              const atspi_placement::Origin& origin);

} // namespace atspi_point_lookup
