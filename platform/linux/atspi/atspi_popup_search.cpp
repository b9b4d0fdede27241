#include "platform/linux/atspi/atspi_popup_search.h"

#include "platform/linux/atspi/atspi_tree_walk.h"

#include <cstdlib>

namespace atspi_popup_search {
namespace {

using namespace atspi_calls;
using atspi_placement::Box;
using atspi_tree_walk::parentOf;
using atspi_tree_walk::reportedBox;

// Elements examined in the search through the application's windows.
constexpr int kMaxExamined = 300;
// Levels above the focused element looked at.
constexpr int kMaxAncestors = 8;
// Pixels a toolkit's extents may be off the window's (borders, shadows).
constexpr int kSlack = 3;

bool near(int a, int b) {
    return std::abs(a - b) <= kSlack;
}

bool holdsPopups(std::optional<AtspiRole> role) {
    return role == ATSPI_ROLE_MENU || role == ATSPI_ROLE_POPUP_MENU || role == ATSPI_ROLE_LIST ||
           role == ATSPI_ROLE_LIST_BOX || role == ATSPI_ROLE_WINDOW ||
           role == ATSPI_ROLE_TOOL_TIP || role == ATSPI_ROLE_TABLE || role == ATSPI_ROLE_TREE ||
           role == ATSPI_ROLE_TREE_TABLE;
}

/// Whether `object` shows the popup at `popup`.
bool shows(AtspiMoment& moment, AtspiAccessible* object, const Box& popup,
           Clock::time_point deadline) {
    const std::optional<AtspiRole> own = role(object);
    if (!holdsPopups(own)) return false;
    if (const std::optional<Box> box = reportedBox(moment, object);
        box && near(box->x, popup.x) && near(box->y, popup.y) && near(box->width, popup.width) &&
        near(box->height, popup.height)) {
        return true;
    }
    if (own != ATSPI_ROLE_MENU) return false;
    // A menu bar's menu in GTK 3: its items, not the menu, lie in the popup.
    for (auto& item : moment.children(object, 1, deadline)) {
        const std::optional<Box> first = reportedBox(moment, item.get());
        if (first && near(first->x, popup.x) && first->y >= popup.y - kSlack &&
            first->y <= popup.y + 2 * kSlack && popup.contains(first->x, first->y))
            return true;
    }
    return false;
}

} // namespace

GObjectPtr<AtspiAccessible> find(AtspiMoment& moment, AtspiAccessible* application,
                                 AtspiAccessible* focused, const Box& popup,
                                 Clock::time_point deadline) {
    // The focused element is an item of the popup or the item that opened it (Qt focuses the
    // menu bar's item, whose popup menu is its child).
    if (focused != nullptr && focused->parent.app != nullptr &&
        focused->parent.app == application->parent.app) {
        GObjectPtr<AtspiAccessible> current = retained(focused);
        for (int level = 0; level < kMaxAncestors && current && Clock::now() < deadline; ++level) {
            if (shows(moment, current.get(), popup, deadline)) return current;
            if (level == 0) {
                for (auto& child : moment.children(current.get(), 4, deadline))
                    if (shows(moment, child.get(), popup, deadline)) return std::move(child);
            }
            if (role(current.get()) == ATSPI_ROLE_APPLICATION) break;
            current = parentOf(current.get());
        }
    }
    using atspi_tree_walk::Step;
    return atspi_tree_walk::breadthFirst(
        moment, application, kMaxExamined, 64, deadline, [&](AtspiAccessible* element) {
            if (element == application) return Step::descend;
            if (shows(moment, element, popup, deadline)) return Step::take;
            const std::optional<AtspiRole> own = role(element);
            // Menus are not in pages, and what is not shown holds no open popup.
            if (own == ATSPI_ROLE_DOCUMENT_WEB || own == ATSPI_ROLE_DOCUMENT_FRAME)
                return Step::skip;
            return moment.hasState(element, ATSPI_STATE_SHOWING) ? Step::descend : Step::skip;
        });
}

} // namespace atspi_popup_search
