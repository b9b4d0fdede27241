#include "platform/linux/atspi/atspi_point_lookup.h"

#include <algorithm>
#include <array>
#include <thread>

namespace atspi_point_lookup {
namespace {

using namespace atspi_calls;
using atspi_placement::Box;
using atspi_placement::Origin;

// Levels descended from a window to the element under the point.
constexpr int kMaxDescent = 64;
// Children whose extents are compared with the point, per element.
constexpr int kMaxChildrenCompared = 64;
// How long a window whose tree is still being built is asked again, and how often.
constexpr int kRebuildWaitMs = 150;
constexpr int kRebuildPollMs = 20;

// Controls that are one element with their content, as a button with its label, a tab with
// its page (which lies elsewhere) and a select with its closed list.
constexpr std::array kWholeControls = {
    ATSPI_ROLE_PUSH_BUTTON,     ATSPI_ROLE_TOGGLE_BUTTON, ATSPI_ROLE_CHECK_BOX,
    ATSPI_ROLE_RADIO_BUTTON,    ATSPI_ROLE_MENU_ITEM,     ATSPI_ROLE_CHECK_MENU_ITEM,
    ATSPI_ROLE_RADIO_MENU_ITEM, ATSPI_ROLE_LINK,          ATSPI_ROLE_PUSH_BUTTON_MENU,
    ATSPI_ROLE_ENTRY,           ATSPI_ROLE_PASSWORD_TEXT, ATSPI_ROLE_LABEL,
    ATSPI_ROLE_PAGE_TAB,        ATSPI_ROLE_COMBO_BOX};

bool isWholeControl(std::optional<AtspiRole> role) {
    return role && std::ranges::find(kWholeControls, *role) != kWholeControls.end();
}

/// The role of the element last asked about: the descent asks about the element it stops at
/// more than once.
class LastRole {
public:
    explicit LastRole(AtspiMoment& moment) : moment_(moment) {}
    std::optional<AtspiRole> of(AtspiAccessible* object) {
        if (object != object_.get()) {
            object_ = retained(object); // held, so that its address is not reused meanwhile
            role_ = moment_.role(object);
        }
        return role_;
    }
    std::optional<AtspiRole> known(AtspiAccessible* object) const {
        return object == object_.get() ? role_ : std::nullopt;
    }

private:
    AtspiMoment& moment_;
    GObjectPtr<AtspiAccessible> object_;
    std::optional<AtspiRole> role_;
};

GObjectPtr<AtspiAccessible> hitTest(AtspiAccessible* object, int x, int y, const Origin& origin) {
    GObjectPtr<AtspiComponent> component(atspi_accessible_get_component_iface(object));
    if (!component) return nullptr;
    CallError error;
    GObjectPtr<AtspiAccessible> found(
        origin.windowRelative
            ? atspi_component_get_accessible_at_point(component.get(), x - origin.x, y - origin.y,
                                                      ATSPI_COORD_TYPE_WINDOW, error.out())
            : atspi_component_get_accessible_at_point(component.get(), x, y,
                                                      ATSPI_COORD_TYPE_SCREEN, error.out()));
    if (error.failed() || found.get() == object) return nullptr;
    return found;
}

struct Candidate {
    GObjectPtr<AtspiAccessible> object;
    int rank = 0; ///< 0 showing, 1 visible, 2 neither
    double area = 0;
};

/// Adds the children of `object` whose extents contain the point; a showing child that is
/// placed nowhere (a notebook page) is looked through once, and so are the tabs of a GTK 3
/// notebook (`tabs`), whose pages are their children though they lie outside them.
void addContaining(AtspiMoment& moment, AtspiAccessible* object, int x, int y, const Origin& origin,
                   Clock::time_point deadline, bool lookThrough, bool tabs,
                   std::vector<Candidate>& candidates) {
    std::vector<GObjectPtr<AtspiAccessible>> children =
        moment.children(object, kMaxChildrenCompared, deadline);
    static constexpr atspi_batch::Fact kPlace[] = {atspi_batch::Fact::extents};
    moment.readTogether(pointersOf(children), kPlace, millisecondsUntil(deadline));
    for (auto& child : children) {
        // GTK 4, which places from the window, marks what it shows visible only, and gives a
        // stack's page no place at all.
        const bool gtk4 = origin.windowRelative;
        const std::optional<AtspiRect> reported = moment.reportedExtents(child.get());
        if (!reported && !gtk4) continue;
        const std::optional<Box> box =
            reported ? atspi_placement::placed(*reported) : std::optional<Box>{};
        if (!box) {
            if (lookThrough && (moment.hasState(child.get(), ATSPI_STATE_SHOWING) ||
                                (gtk4 && moment.hasState(child.get(), ATSPI_STATE_VISIBLE)))) {
                addContaining(moment, child.get(), x, y, origin, deadline, false, false,
                              candidates);
            }
            continue;
        }
        if (!Box{box->x + origin.x, box->y + origin.y, box->width, box->height}.contains(x, y)) {
            if (tabs && moment.hasState(child.get(), ATSPI_STATE_SELECTED))
                addContaining(moment, child.get(), x, y, origin, deadline, false, false,
                              candidates);
            continue;
        }
        const GObjectPtr<AtspiStateSet> set = moment.states(child.get());
        const int rank = set && atspi_state_set_contains(set.get(), ATSPI_STATE_SHOWING)   ? 0
                         : set && atspi_state_set_contains(set.get(), ATSPI_STATE_VISIBLE) ? 1
                                                                                           : 2;
        candidates.push_back({std::move(child), rank, box->area()});
        if (Clock::now() >= deadline) return;
    }
}

GObjectPtr<AtspiAccessible> containingChild(AtspiMoment& moment, AtspiAccessible* object, int x,
                                            int y, const Origin& origin, Clock::time_point deadline,
                                            LastRole& roles) {
    const std::optional<AtspiRole> own = roles.of(object);
    if (isWholeControl(own)) return nullptr;
    // Where the hit test gave up the descent may end: what the element's description and the
    // search below need of it is asked at once.
    static constexpr atspi_batch::Fact kOwnFacts[] = {
        atspi_batch::Fact::childCount, atspi_batch::Fact::states, atspi_batch::Fact::extents};
    AtspiAccessible* const self[] = {object};
    moment.readTogether(self, kOwnFacts, millisecondsUntil(deadline));
    std::vector<Candidate> candidates;
    addContaining(moment, object, x, y, origin, deadline, true, own == ATSPI_ROLE_PAGE_TAB_LIST,
                  candidates);
    auto best = std::ranges::min_element(candidates, [](const Candidate& a, const Candidate& b) {
        return a.rank != b.rank ? a.rank < b.rank : a.area < b.area;
    });
    if (best == candidates.end()) return nullptr;
    return std::move(best->object);
}

bool isBareFiller(AtspiMoment& moment, AtspiAccessible* object, LastRole& roles) {
    const std::optional<AtspiRole> own = roles.of(object);
    if (own != ATSPI_ROLE_FILLER && own != ATSPI_ROLE_PANEL) return false;
    if (moment.childCount(object) != 0) return false;
    const std::optional<std::string> name = moment.name(object);
    return !name || name->empty();
}

/// The parent of a bare filler that covers it exactly, else the element itself.
GObjectPtr<AtspiAccessible> outOfViewport(AtspiMoment& moment, GObjectPtr<AtspiAccessible> found,
                                          LastRole& roles) {
    if (!isBareFiller(moment, found.get(), roles)) return found;
    CallError error;
    GObjectPtr<AtspiAccessible> parent(atspi_accessible_get_parent(found.get(), error.out()));
    if (error.failed() || !parent) return found;
    const std::optional<AtspiRect> own = moment.reportedExtents(found.get());
    const std::optional<AtspiRect> outer = moment.reportedExtents(parent.get());
    if (!own || !outer || own->x != outer->x || own->y != outer->y || own->width != outer->width ||
        own->height != outer->height) {
        return found;
    }
    return parent;
}

/// `found` when it is shown, else its nearest ancestor that is, below `window`: what is not
/// shown (a closed list) is never what was pressed. GTK 4 marks what it shows visible only.
GObjectPtr<AtspiAccessible> shownOrAncestor(AtspiMoment& moment, GObjectPtr<AtspiAccessible> found,
                                            AtspiAccessible* window) {
    for (int level = 0; level < kMaxDescent && found && found.get() != window; ++level) {
        const GObjectPtr<AtspiStateSet> set = moment.states(found.get());
        if (!set || atspi_state_set_contains(set.get(), ATSPI_STATE_SHOWING) ||
            atspi_state_set_contains(set.get(), ATSPI_STATE_VISIBLE))
            return found;
        CallError error;
        GObjectPtr<AtspiAccessible> parent(atspi_accessible_get_parent(found.get(), error.out()));
        if (error.failed() || !parent) return found;
        found = std::move(parent);
    }
    return found;
}

} // namespace

std::optional<Box> screenBox(AtspiMoment& moment, AtspiAccessible* object, const Origin& origin) {
    const std::optional<AtspiRect> reported = moment.reportedExtents(object);
    if (!reported) return std::nullopt;
    std::optional<Box> box = atspi_placement::placed(*reported);
    if (box) {
        box->x += origin.x;
        box->y += origin.y;
    }
    return box;
}

Found deepestAt(AtspiMoment& moment, GObjectPtr<AtspiAccessible> window, int x, int y,
                const Origin& origin, const Box& windowBox, Clock::time_point deadline,
                bool mayBeClosed) {
    LastRole roles(moment);
    AtspiAccessible* const top = window.get();
    const auto descend = [&](GObjectPtr<AtspiAccessible> from) {
        for (int level = 0; level < kMaxDescent && Clock::now() < deadline; ++level) {
            // A control is what was pressed, whatever its toolkit answers for inside it (GTK 3
            // answers a tab's page for its tab).
            if (level > 0 && isWholeControl(roles.of(from.get()))) break;
            GObjectPtr<AtspiAccessible> next = hitTest(from.get(), x, y, origin);
            if (!next) next = containingChild(moment, from.get(), x, y, origin, deadline, roles);
            if (!next) break;
            from = std::move(next);
        }
        GObjectPtr<AtspiAccessible> found = outOfViewport(moment, std::move(from), roles);
        return mayBeClosed ? std::move(found) : shownOrAncestor(moment, std::move(found), top);
    };
    Found found{descend(retained(window.get())), std::nullopt, std::nullopt};
    found.role = roles.known(found.element.get());
    // A browser builds its tree of a page on the first question after the window was shown,
    // and answers nothing until then: a container as large as the window is asked again
    // once the window's hit test answers.
    found.screenBox = screenBox(moment, found.element.get(), origin);
    if (!found.screenBox || found.screenBox->area() < windowBox.area()) return found;
    const Clock::time_point retryEnd =
        std::min(deadline, Clock::now() + std::chrono::milliseconds(kRebuildWaitMs));
    while (Clock::now() < retryEnd) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kRebuildPollMs));
        if (hitTest(window.get(), x, y, origin)) {
            moment.forget(); // the lists read before the tree was built are stale
            GObjectPtr<AtspiAccessible> again = descend(std::move(window));
            const std::optional<AtspiRole> role = roles.known(again.get());
            return {std::move(again), role, std::nullopt};
        }
    }
    return found;
}

} // namespace atspi_point_lookup
