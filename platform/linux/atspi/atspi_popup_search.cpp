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
// Levels above the focused element looked at: a GTK 4 popover's item lies ten below it.
constexpr int kMaxAncestors = 12;
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

/// Whether `object` shows the popup at `popup`; where its coordinates start, when it does.
std::optional<atspi_placement::Origin> shows(AtspiMoment& moment, AtspiAccessible* object,
                                             const Box& popup, bool windowRelative,
                                             Clock::time_point deadline) {
    const std::optional<AtspiRole> own = role(object);
    if (!holdsPopups(own)) return std::nullopt;
    const std::optional<AtspiRect> box = moment.reportedExtents(object);
    if (box && near(box->width, popup.width) && near(box->height, popup.height)) {
        if (windowRelative)
            return atspi_placement::Origin{popup.x - box->x, popup.y - box->y, true};
        if (near(box->x, popup.x) && near(box->y, popup.y)) return atspi_placement::Origin{};
    }
    // GTK 4 places an open popover's menu where it starts, but may give it no size.
    if (windowRelative && own == ATSPI_ROLE_MENU && box && box->width == 0 && box->height == 0 &&
        moment.hasState(object, ATSPI_STATE_VISIBLE))
        return atspi_placement::Origin{popup.x - box->x, popup.y - box->y, true};
    if (own != ATSPI_ROLE_MENU || windowRelative) return std::nullopt;
    // A menu bar's menu in GTK 3: its items, not the menu, lie in the popup.
    for (auto& item : moment.children(object, 1, deadline)) {
        const std::optional<Box> first = reportedBox(moment, item.get());
        if (first && near(first->x, popup.x) && first->y >= popup.y - kSlack &&
            first->y <= popup.y + 2 * kSlack && popup.contains(first->x, first->y))
            return atspi_placement::Origin{};
    }
    return std::nullopt;
}

} // namespace

Found find(AtspiMoment& moment, AtspiAccessible* application, AtspiAccessible* focused,
           const Box& popup, bool windowRelative, Clock::time_point deadline) {
    // The focused element is an item of the popup or the item that opened it (Qt focuses the
    // menu bar's item, whose popup menu is its child; GTK 4 hangs a popover under its button).
    if (focused != nullptr && focused->parent.app != nullptr &&
        focused->parent.app == application->parent.app) {
        GObjectPtr<AtspiAccessible> current = retained(focused);
        for (int level = 0; level < kMaxAncestors && current && Clock::now() < deadline; ++level) {
            if (auto origin = shows(moment, current.get(), popup, windowRelative, deadline))
                return {std::move(current), *origin};
            if (level == 0) {
                for (auto& child : moment.children(current.get(), 4, deadline)) {
                    if (auto origin = shows(moment, child.get(), popup, windowRelative, deadline))
                        return {std::move(child), *origin};
                }
            }
            if (role(current.get()) == ATSPI_ROLE_APPLICATION) break;
            current = parentOf(current.get());
        }
    }
    using atspi_tree_walk::Step;
    atspi_placement::Origin origin;
    GObjectPtr<AtspiAccessible> found = atspi_tree_walk::breadthFirst(
        moment, application, kMaxExamined, 64, deadline, [&](AtspiAccessible* element) {
            if (element == application) return Step::descend;
            if (auto shown = shows(moment, element, popup, windowRelative, deadline)) {
                origin = *shown;
                return Step::take;
            }
            const std::optional<AtspiRole> own = role(element);
            // Menus are not in pages, and what is not shown holds no open popup (GTK 4 marks
            // what it shows visible only).
            if (own == ATSPI_ROLE_DOCUMENT_WEB || own == ATSPI_ROLE_DOCUMENT_FRAME)
                return Step::skip;
            return moment.hasState(element, ATSPI_STATE_SHOWING) ||
                           (windowRelative && moment.hasState(element, ATSPI_STATE_VISIBLE))
                       ? Step::descend
                       : Step::skip;
        });
    return {std::move(found), origin};
}

} // namespace atspi_popup_search
