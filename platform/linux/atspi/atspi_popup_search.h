// The element that shows a popup window (a menu, a list) whose toolkit does not list it among
// the application's windows: GTK 3 hangs a menu bar's menus under their items, Qt its popup
// menus under the menu bar, GTK 4 a popover under the button that opens it.
#pragma once

#include "platform/linux/atspi/atspi_calls.h"
#include "platform/linux/atspi/atspi_moment.h"
#include "platform/linux/atspi/atspi_window_placement.h"

namespace atspi_popup_search {

/// The element that shows a popup, and where its toolkit's coordinates start on the screen.
struct Found {
    atspi_calls::GObjectPtr<AtspiAccessible> element;
    atspi_placement::Origin origin;
};

/// The element of `application` that shows the popup lying at `popup` on the screen: one whose
/// extents are the popup's, or a menu whose first item lies at its corner (GTK 3 gives a menu
/// bar's menu the extents of its title). An application that places its elements from their
/// window (`windowRelative`: GTK 4, which places a popover from the window it pops up over)
/// gives the popup's size only. Looks first at `focused` (the element that last had focus,
/// usually an item of the popup or the button that opened it) and what lies around it, then
/// breadth first through what the application's windows show, web pages left out; no element
/// when nothing is found by `deadline`.
Found find(AtspiMoment& moment, AtspiAccessible* application, AtspiAccessible* focused,
           const atspi_placement::Box& popup, bool windowRelative,
           atspi_calls::Clock::time_point deadline);

} // namespace atspi_popup_search
