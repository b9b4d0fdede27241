#include "platform/linux/atspi/atspi_accessibility.h"

#include "common/unicode_text.h"
#include "platform/linux/atspi/atspi_calls.h"
#include "platform/linux/atspi/atspi_focus_tracker.h"
#include "platform/linux/atspi/atspi_lineage.h"
#include "platform/linux/atspi/atspi_moment.h"
#include "platform/linux/atspi/atspi_point_lookup.h"
#include "platform/linux/atspi/atspi_popup_search.h"
#include "platform/linux/atspi/atspi_relations.h"
#include "platform/linux/atspi/atspi_roles.h"
#include "platform/linux/atspi/atspi_structure_watch.h"
#include "platform/linux/atspi/atspi_tree_walk.h"
#include "platform/linux/atspi/atspi_window_placement.h"
#include "platform/linux/atspi/gtk4_names.h"
#include "platform/linux/atspi/session_bus.h"
#include "platform/linux/x11/x11_connection.h"

#include <algorithm>
#include <atspi/atspi.h>
#include <charconv>
#include <chrono>
#include <cmath>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace atspi_calls;
using atspi_batch::Fact;
using atspi_placement::Origin;

// libatspi's own bound for a call when nobody set one; kept so every call has a bound.
constexpr int kDefaultTimeoutMs = 2000;
// More children than this are not listed (each one is a D-Bus round trip).
constexpr int kMaxChildren = 256;
// Windows examined per application when looking for the one under a point.
constexpr int kMaxWindowsPerApplication = 64;
// Applications remembered by process id; the list starts again when it is full.
constexpr std::size_t kMaxKnownApplications = 64;
// Characters of text read as a value.
constexpr int kMaxValueCharacters = 65536;
// Elements examined when searching a window for the one with keyboard focus.
constexpr int kMaxFocusSearch = 400;
// How long the place of a menu item under the pointer may take to read.
constexpr int kMenuItemReadMs = 200;
// The search of a newly active window for a focus nothing announced, and each of its requests,
// runs out after this: it runs between the loop's other work, which waits for it (a press
// meanwhile is held no longer for it, but may be handled after its hold has ended).
constexpr int kSilentFocusSearchMs = 250;
// A search that ran out of time is made again at the next few polls.
constexpr int kSilentFocusRetries = 3;
// How long after it was seen a menu item stands for a press on its closed menu.
constexpr std::chrono::seconds kMenuItemMemory{10};

void ignoreMessage(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}

/// The desktop, whose children are the applications. libatspi builds it on first use by asking
/// the registry for the applications; when the registry answers late (a busy machine) it
/// releases the missing answer with a GLib critical on standard error, which is the person's.
/// The desktop then lists its applications when next asked, so a late answer is only absent.
GObjectPtr<AtspiAccessible> desktop() {
    const guint handler =
        g_log_set_handler("GLib-GObject", G_LOG_LEVEL_CRITICAL, ignoreMessage, nullptr);
    GObjectPtr<AtspiAccessible> desktop(atspi_get_desktop(0));
    g_log_remove_handler("GLib-GObject", handler);
    return desktop;
}

std::optional<std::string> takeText(gchar* raw, const CallError& error) {
    OwnedText owned(raw);
    if (error.failed() || !owned) return std::nullopt;
    return text::sanitizeUtf8(owned.get());
}

std::string decimalText(double value) {
    char buffer[64];
    const auto [end, status] = std::to_chars(buffer, buffer + sizeof buffer, value);
    if (status != std::errc()) return "0";
    return std::string(buffer, end);
}

/// One accessible object (or the desktop-wide sentinel), the call timeout that applies to
/// requests made through it, and the origin of the coordinates its toolkit reports. One
/// probe asks for a node's role, states and extents under several names (and its parent's
/// role while walking outwards): each is read once per node.
class AtspiNode final : public AXNode {
public:
    AtspiNode(AtspiAccessible* adopted, int timeoutMs, Origin origin = {},
              std::optional<AtspiRole> knownRole = std::nullopt,
              std::optional<atspi_placement::Box> knownBox = std::nullopt)
        : object_(adopted), timeoutMs_(timeoutMs), origin_(origin) {
        if (knownRole) role_ = knownRole;
        if (knownBox) box_ = knownBox;
    }
    ~AtspiNode() override {
        if (object_ != nullptr) g_object_unref(object_);
    }
    AtspiNode(const AtspiNode&) = delete;
    AtspiNode& operator=(const AtspiNode&) = delete;

    AtspiAccessible* object() const { return object_; }
    bool isSystemWide() const { return object_ == nullptr; }
    int timeoutMs() const { return timeoutMs_; }
    void setTimeoutMs(int milliseconds) const { timeoutMs_ = milliseconds; }
    const Origin& origin() const { return origin_; }

    std::optional<AtspiRole> role(AtspiMoment& moment) const {
        if (!role_) role_ = moment.role(object_);
        return *role_;
    }
    /// The role of the element's parent, read by `read` once; absent for the desktop's
    /// children and on failure.
    template <typename Read> std::optional<AtspiRole> parentRole(Read read) const {
        if (!parentRole_) parentRole_ = read(object_);
        return *parentRole_;
    }
    bool hasState(AtspiMoment& moment, AtspiStateType state) const {
        if (!states_) states_ = moment.states(object_);
        return *states_ && atspi_state_set_contains(states_->get(), state);
    }
    std::optional<atspi_placement::Box> screenBox(AtspiMoment& moment) const {
        if (!box_) box_ = atspi_point_lookup::screenBox(moment, object_, origin_);
        return *box_;
    }

private:
    AtspiAccessible* object_;
    // Set through the const handles the port hands out; guarded by the port's lock.
    mutable int timeoutMs_;
    Origin origin_;
    mutable std::optional<std::optional<AtspiRole>> role_;
    mutable std::optional<std::optional<AtspiRole>> parentRole_;
    mutable std::optional<GObjectPtr<AtspiStateSet>> states_;
    mutable std::optional<std::optional<atspi_placement::Box>> box_;
};

/// An element reached from `node`, in the same window's coordinates.
AXElement wrapRelated(AtspiAccessible* adopted, const AtspiNode& node,
                      std::optional<AtspiRole> knownRole = std::nullopt) {
    if (adopted == nullptr) return nullptr;
    return std::make_shared<const AtspiNode>(adopted, node.timeoutMs(), node.origin(), knownRole);
}

/// Text without the placeholders that stand for embedded children (links inside a paragraph).
std::string withoutObjectReplacements(std::string text) {
    constexpr std::string_view placeholder = "\xEF\xBF\xBC"; // U+FFFC
    for (std::size_t at = text.find(placeholder); at != std::string::npos;
         at = text.find(placeholder, at)) {
        text.erase(at, placeholder.size());
    }
    return text;
}

/// `parentRole` reads the role of an element's parent.
template <typename ParentRole>
atspi_roles::RoleNames roleNamesOf(AtspiMoment& moment, const AtspiNode& node,
                                   ParentRole parentRole) {
    const std::optional<AtspiRole> role = node.role(moment);
    if (!role) return {};
    const atspi_roles::ContextNeeded needed = atspi_roles::contextNeeded(*role);
    atspi_roles::RoleContext context;
    if (needed.states) {
        context.multiLine = node.hasState(moment, ATSPI_STATE_MULTI_LINE);
        context.editable = node.hasState(moment, ATSPI_STATE_EDITABLE);
    }
    if (needed.parent) context.parent = node.parentRole(parentRole);
    if (needed.children) {
        // libatspi keeps children's roles: asking them costs the list only.
        for (auto& child : moment.children(node.object(), 2, deadlineAfter(node.timeoutMs()))) {
            const std::optional<AtspiRole> childRole = atspi_calls::role(child.get());
            context.takesText |= childRole == ATSPI_ROLE_ENTRY || childRole == ATSPI_ROLE_TEXT;
        }
    }
    return atspi_roles::namesFor(*role, context);
}

/// The first element below `root` (itself left out) with the focused state, asked for in one
/// request where the toolkit can answer it (GTK 3, Firefox, LibreOffice); null when it cannot
/// or finds none. The toolkit stops looking at the first match: asking for more would walk
/// all of a spreadsheet's cells.
GObjectPtr<AtspiAccessible> focusedByCollection(AtspiAccessible* root) {
    GObjectPtr<AtspiCollection> collection(atspi_accessible_get_collection_iface(root));
    if (!collection) return nullptr;
    GArray* wanted = g_array_new(FALSE, FALSE, sizeof(AtspiStateType));
    const AtspiStateType focused = ATSPI_STATE_FOCUSED;
    g_array_append_val(wanted, focused);
    GObjectPtr<AtspiStateSet> states(atspi_state_set_new(wanted));
    g_array_free(wanted, TRUE);
    GObjectPtr<AtspiMatchRule> rule(atspi_match_rule_new(
        states.get(), ATSPI_Collection_MATCH_ALL, nullptr, ATSPI_Collection_MATCH_NONE, nullptr,
        ATSPI_Collection_MATCH_NONE, nullptr, ATSPI_Collection_MATCH_NONE, FALSE));
    CallError error;
    // Two: the root itself may be the first.
    GArray* found = atspi_collection_get_matches(
        collection.get(), rule.get(), ATSPI_Collection_SORT_ORDER_CANONICAL, 2, TRUE, error.out());
    if (found == nullptr) return nullptr;
    GObjectPtr<AtspiAccessible> first;
    for (guint k = 0; k < found->len; ++k) {
        GObjectPtr<AtspiAccessible> match(g_array_index(found, AtspiAccessible*, k));
        if (!first && match.get() != root) first = std::move(match);
    }
    g_array_free(found, TRUE);
    return first;
}

/// LibreOffice can leave a pane of its window focused (announced as the window became active)
/// besides the element inside it that has the focus (its document): that element, if any.
GObjectPtr<AtspiAccessible> focusedInsidePane(GObjectPtr<AtspiAccessible> focused) {
    const std::optional<AtspiRole> role = atspi_calls::role(focused.get());
    if (role != ATSPI_ROLE_PANEL && role != ATSPI_ROLE_ROOT_PANE) return focused;
    GObjectPtr<AtspiAccessible> inner = focusedByCollection(focused.get());
    return inner ? std::move(inner) : std::move(focused);
}

/// Roles an element of which is named by the text it shows.
bool namesItsText(std::optional<AtspiRole> role) {
    return role == ATSPI_ROLE_LABEL || role == ATSPI_ROLE_STATIC || role == ATSPI_ROLE_HEADING ||
           role == ATSPI_ROLE_PARAGRAPH || role == ATSPI_ROLE_CAPTION;
}

/// Whether `element` belongs to a GTK 4 application, which names itself on the application
/// only. GTK 4 gives a window its first focus without announcing it (it announces every move
/// after), and makes up names for elements nothing names.
bool isGtk4(AtspiAccessible* element) {
    AtspiAccessible* application =
        element != nullptr && element->parent.app ? element->parent.app->root : nullptr;
    if (application == nullptr) return false;
    CallError error;
    const OwnedText name(atspi_accessible_get_toolkit_name(application, error.out()));
    if (error.failed() || !name || std::string_view(name.get()) != "GTK") return false;
    const OwnedText version(atspi_accessible_get_toolkit_version(application, error.out()));
    return !error.failed() && version && std::string_view(version.get()).starts_with("4.");
}

} // namespace

struct AtspiAccessibility::Impl {
    std::mutex mutex;
    bool initialised = false;
    /// False when there is no bus to reach without autolaunching one.
    bool available = false;
    int appliedTimeoutMs = -1;
    /// Applications found by process id, checked again on every use.
    std::map<std::int32_t, GObjectPtr<AtspiAccessible>> applications;
    /// The windows each application had when last listed, confirmed again on every use.
    struct KnownWindows {
        GObjectPtr<AtspiAccessible> application; ///< keeps the key's address unused
        std::vector<GObjectPtr<AtspiAccessible>> windows;
    };
    std::map<AtspiAccessible*, KnownWindows> knownWindows;
    /// Our own X connection, for the window manager's stacking order; opened on first use.
    std::unique_ptr<x11::Connection> display;
    /// Children-changed notices of the applications whose trees are asked about.
    AtspiStructureWatch structureWatch;
    /// Parents read while walking outwards, valid while their application's shape holds.
    AtspiLineage lineage;
    /// What the requests of the moment under way have read.
    AtspiMoment moment;
    /// The elements that last gained keyboard focus.
    AtspiFocusTracker focus;
    /// When the input described in the moment under way was made; absent: now.
    std::optional<std::int64_t> inputMs;
    /// The window the keys described in this moment went to, when known.
    std::optional<std::uint32_t> keysWindow;
    /// The menu item that last had focus (the one under the pointer), where it was shown: a tap
    /// on it closes its menu before the press can be looked up, and a closed GTK 3 menu
    /// places its items nowhere.
    struct MenuItemSeen {
        GObjectPtr<AtspiAccessible> item;
        atspi_placement::Box box;
        Clock::time_point at;
    };
    std::optional<MenuItemSeen> lastMenuItem;
    /// An idle source that reads the focused element's place is waiting.
    bool placeReadPending = false;

    /// Connects on first use; false when there is no accessibility bus to connect to.
    bool ensureInitialised() {
        if (initialised) return available;
        initialised = true;
        // libatspi would autolaunch a session bus and an accessibility bus that outlive us.
        available = session_bus::accessibilityBusConfigured();
        if (!available) return false;
        // libatspi reports a registry that answers late on standard error ("dbind-WARNING"),
        // which belongs to our own output; here a missing answer is an absent value.
        g_log_set_handler(
            "dbind", static_cast<GLogLevelFlags>(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE),
            [](const gchar*, GLogLevelFlags, const gchar*, gpointer) {}, nullptr);
        atspi_init();
        focus.start([this] { readFocusedPlaceWhenIdle(); });
        return true;
    }

    /// The active window last seen, and one waiting to be searched when idle.
    GObjectPtr<AtspiAccessible> lastActiveWindow;
    GObjectPtr<AtspiAccessible> silentFocusPending;
    int silentFocusRetries = 0;

    /// Once the loop is idle, searches a window newly seen active for the element its toolkit
    /// focused without a notice (GTK 4, as a window opens, and before the recording began): a
    /// key pressed before anything in it was pressed then finds that element, where a search
    /// made at the key is answered only once the key has had its effect (a dialog it opened).
    void findSilentFocusWhenIdle(AtspiAccessible* window) {
        if (window == lastActiveWindow.get()) return;
        lastActiveWindow = retained(window);
        const bool scheduled = silentFocusPending != nullptr;
        silentFocusPending = retained(window);
        if (!scheduled) whenIdle<&Impl::findSilentFocus>();
    }
    void findSilentFocus();

    /// Reads where the focused element is once the loop is idle, when the element is a menu
    /// item: a notice may come in the middle of another request, which must not be nested.
    void readFocusedPlaceWhenIdle() {
        if (placeReadPending) return;
        placeReadPending = true;
        whenIdle<&Impl::readFocusedPlace>();
    }
    void readFocusedPlace();

    /// Runs `work` once the loop is idle (the port lives as long as the loop).
    template <void (Impl::*work)()> void whenIdle() {
        g_idle_add_full(
            G_PRIORITY_DEFAULT,
            [](gpointer data) -> gboolean {
                (static_cast<Impl*>(data)->*work)();
                return G_SOURCE_REMOVE;
            },
            this, nullptr);
    }

    void applyTimeout(int milliseconds) {
        if (milliseconds == appliedTimeoutMs) return;
        atspi_set_timeout(milliseconds, milliseconds);
        appliedTimeoutMs = milliseconds;
    }

    AXValue value(const AtspiNode& node, const atspi_roles::RoleNames& names);
    AXValue window(const AtspiNode& application, bool focusedOnly);
    AXValue url(AtspiAccessible* object);
    AXValue parent(const AtspiNode& node);
    /// The parent of `object` and the parent's role, as read before while the application's
    /// tree has not changed since.
    std::optional<AtspiParentLink> parentLink(AtspiAccessible* object);
    /// Whether `element` is `window` or lies inside it.
    bool isInside(AtspiAccessible* element, AtspiAccessible* window);
    /// The role names of `node`, its parent's role read through `parentLink`.
    atspi_roles::RoleNames roleNames(const AtspiNode& node) {
        return roleNamesOf(moment, node, [this](AtspiAccessible* object) {
            const std::optional<AtspiParentLink> link = parentLink(object);
            return link ? link->role : std::nullopt;
        });
    }
    /// The element with keyboard focus in the application of the window the keys went to,
    /// else of the active X window.
    AXValue focusedElement(int timeoutMs);
    /// The first element with the focused state, breadth first from `window` through the
    /// elements shown; null when none is found by `deadline`.
    GObjectPtr<AtspiAccessible> searchFocused(AtspiAccessible* window, Clock::time_point deadline);
    /// The innermost focused element at or below `focused`: Qt gives the focused state to the
    /// tab around a text edit and to the edit as well.
    GObjectPtr<AtspiAccessible> innermostFocused(GObjectPtr<AtspiAccessible> focused,
                                                 Clock::time_point deadline);
    /// `maxChildren` bounds "AXChildren".
    AXValue attribute(const AtspiNode& node, std::string_view name, int maxChildren);
    struct PlacedWindow {
        GObjectPtr<AtspiAccessible> window;
        Origin origin;
        atspi_placement::Box screenBox;
        /// Its elements may be described while not shown: a popup pressed in has closed.
        bool maybeClosed = false;
        /// `window` is the element pressed itself.
        bool isElement = false;
    };
    /// The window at a root point: in `application` when given, in the X window `windowNumber`
    /// (a top-level window or a client) when given and still known.
    std::optional<PlacedWindow> windowAt(int x, int y, int timeoutMs, AtspiAccessible* application,
                                         std::optional<std::uint32_t> windowNumber);
    /// The element at a root point, as `elementAtPosition` and `elementInWindow` give it.
    AXValue elementAt(int x, int y, int timeoutMs, AtspiAccessible* application,
                      std::optional<std::uint32_t> windowNumber);
    /// The windows of `application`, their states, extents and names read: the list kept from
    /// before when the application confirms it, else listed again. Absent when the
    /// application let a request run out of time: it is hung.
    std::optional<std::vector<GObjectPtr<AtspiAccessible>>>
    placedWindowsOf(AtspiAccessible* application, int timeoutMs, Clock::time_point deadline);
    GObjectPtr<AtspiAccessible> applicationOf(AtspiAccessible* desktop, std::uint32_t pid,
                                              Clock::time_point deadline);
};

AXValue AtspiAccessibility::Impl::value(const AtspiNode& node,
                                        const atspi_roles::RoleNames& names) {
    AtspiAccessible* object = node.object();
    switch (names.value) {
    case atspi_roles::ValueKind::none:
        return std::monostate{};
    case atspi_roles::ValueKind::checkState: {
        const bool on = node.hasState(moment, ATSPI_STATE_CHECKED) ||
                        node.hasState(moment, ATSPI_STATE_PRESSED);
        return AXNumber{on ? 1.0 : 0.0, on ? "1" : "0"};
    }
    case atspi_roles::ValueKind::number: {
        GObjectPtr<AtspiValue> numeric(atspi_accessible_get_value_iface(object));
        if (!numeric) return std::monostate{};
        CallError error;
        const double current = atspi_value_get_current_value(numeric.get(), error.out());
        if (error.failed() || !std::isfinite(current)) return std::monostate{};
        return AXNumber{current, decimalText(current)};
    }
    case atspi_roles::ValueKind::text: {
        GObjectPtr<AtspiText> textObject(atspi_accessible_get_text_iface(object));
        if (!textObject) return std::monostate{};
        CallError error;
        const gint count = atspi_text_get_character_count(textObject.get(), error.out());
        if (error.failed() || count < 0) return std::monostate{};
        gchar* raw = atspi_text_get_text(textObject.get(), 0, std::min(count, kMaxValueCharacters),
                                         error.out());
        if (auto contents = takeText(raw, error)) {
            return withoutObjectReplacements(std::move(*contents));
        }
        return std::monostate{};
    }
    }
    return std::monostate{};
}

AXValue AtspiAccessibility::Impl::window(const AtspiNode& node, bool focusedOnly) {
    const int timeoutMs = node.timeoutMs();
    if (node.role(moment) != ATSPI_ROLE_APPLICATION) return std::monostate{};
    std::shared_ptr<const AtspiNode> firstWindow;
    for (auto& child :
         moment.children(node.object(), kMaxWindowsPerApplication, deadlineAfter(timeoutMs))) {
        auto candidate = std::make_shared<const AtspiNode>(child.release(), timeoutMs);
        if (candidate->hasState(moment, ATSPI_STATE_ACTIVE)) {
            // The front window, asked on every focus poll: one newly seen is searched.
            findSilentFocusWhenIdle(candidate->object());
            return AXElement(std::move(candidate));
        }
        if (!firstWindow && roleNames(*candidate).role == "AXWindow" &&
            candidate->hasState(moment, ATSPI_STATE_SHOWING)) {
            firstWindow = std::move(candidate);
        }
    }
    if (focusedOnly || !firstWindow) return std::monostate{};
    return AXElement(std::move(firstWindow));
}

AXValue AtspiAccessibility::Impl::url(AtspiAccessible* object) {
    GObjectPtr<AtspiDocument> document(atspi_accessible_get_document_iface(object));
    if (!document) return std::monostate{};
    for (const char* key : {"DocURL", "URI"}) {
        CallError error;
        gchar* raw = atspi_document_get_document_attribute_value(
            document.get(), const_cast<gchar*>(key), error.out());
        if (auto address = takeText(raw, error); address && !address->empty()) {
            return AXURLValue{*address};
        }
    }
    return std::monostate{};
}

AXValue AtspiAccessibility::Impl::parent(const AtspiNode& node) {
    // An application's parent is the desktop, which has no counterpart.
    if (node.role(moment) == ATSPI_ROLE_APPLICATION) return std::monostate{};
    std::optional<AtspiParentLink> link = parentLink(node.object());
    if (!link || link->role == ATSPI_ROLE_DESKTOP_FRAME) return std::monostate{};
    return wrapRelated(link->parent.release(), node, link->role);
}

std::optional<AtspiParentLink> AtspiAccessibility::Impl::parentLink(AtspiAccessible* object) {
    // Counted before the request: a change meanwhile leaves the link read stale. Only an
    // application watched already (the front one, for its page address) is counted: a watch
    // makes the application send every such notice, and a browser's pages add and remove
    // elements all the time.
    const AtspiApplication* application = object->parent.app;
    const std::optional<std::uint64_t> changes =
        application != nullptr ? structureWatch.changesIfWatched(application->root) : std::nullopt;
    std::optional<AtspiParentLink> link = changes ? lineage.known(object, *changes) : std::nullopt;
    if (link) return link;
    GObjectPtr<AtspiAccessible> found = atspi_tree_walk::parentOf(object);
    if (!found) return std::nullopt;
    const std::optional<AtspiRole> foundRole = moment.role(found.get());
    link = AtspiParentLink{std::move(found), foundRole};
    if (changes && foundRole) lineage.remember(object, *link, *changes);
    return link;
}

AXValue AtspiAccessibility::Impl::attribute(const AtspiNode& node, std::string_view name,
                                            int maxChildren) {
    AtspiAccessible* object = node.object();
    const int timeoutMs = node.timeoutMs();
    CallError error;

    if (name == "AXRole" || name == "AXSubrole" || name == "AXValue") {
        const atspi_roles::RoleNames names = roleNames(node);
        if (names.role.empty()) return std::monostate{};
        if (name == "AXRole") return names.role;
        if (name == "AXSubrole") return names.subrole ? AXValue(*names.subrole) : std::monostate{};
        return value(node, names);
    }
    if (name == "AXTitle") {
        std::optional<std::string> title = moment.name(object);
        if (title && isGtk4(object)) {
            std::optional<std::string> shown = gtk4_names::shownName(*title, false);
            // Asked only of a name that would change: a label is named by what it shows.
            if (shown != title && namesItsText(moment.role(object)))
                shown = gtk4_names::shownName(*title, true);
            title = std::move(shown);
        }
        if (title) return text::sanitizeUtf8(*title);
        return std::monostate{};
    }
    if (name == "AXDescription" || name == "AXRoleDescription") {
        const auto which = name == "AXDescription" ? Fact::description : Fact::roleName;
        if (auto text = moment.text(object, which)) return text::sanitizeUtf8(*text);
        return std::monostate{};
    }
    if (name == "AXIdentifier" || name == "AXHelp") {
        const auto which = name == "AXIdentifier" ? Fact::identifier : Fact::help;
        const std::optional<std::string> text = moment.text(object, which);
        return text && !text->empty() ? AXValue(text::sanitizeUtf8(*text)) : std::monostate{};
    }
    if (name == "AXParent") return parent(node);
    if (name == "AXChildren") {
        std::vector<AXElement> list;
        for (auto& child : moment.children(object, maxChildren, deadlineAfter(timeoutMs))) {
            list.push_back(wrapRelated(child.release(), node));
        }
        return list;
    }
    if (name == "AXPosition" || name == "AXSize") {
        const std::optional<atspi_placement::Box> box = node.screenBox(moment);
        if (!box) return std::monostate{};
        if (name == "AXPosition") return geo::Point{double(box->x), double(box->y)};
        return geo::Size{double(box->width), double(box->height)};
    }
    if (name == "AXEditableAncestor") {
        // The editable state marks entries, text views and editable web content alike, and
        // the content inside an editable region carries it too.
        if (!node.hasState(moment, ATSPI_STATE_EDITABLE)) return std::monostate{};
        return wrapRelated(retained(object).release(), node);
    }
    if (name == valueSettableAttribute || name == "AXFocused") {
        const bool on =
            node.hasState(moment, name == "AXFocused" ? ATSPI_STATE_FOCUSED : ATSPI_STATE_EDITABLE);
        return AXNumber{on ? 1.0 : 0.0, on ? "1" : "0"};
    }
    if (name == "AXFocusedWindow") return window(node, true);
    if (name == "AXMainWindow") return window(node, false);
    if (name == "AXURL") return url(object);
    if (name == atspi_relations::embeddedDocumentAttribute) {
        return wrapRelated(atspi_relations::embeddedDocument(object), node);
    }
    return std::monostate{};
}

void AtspiAccessibility::Impl::findSilentFocus() {
    std::lock_guard lock(mutex);
    GObjectPtr<AtspiAccessible> window = std::move(silentFocusPending);
    if (!window || window.get() != lastActiveWindow.get()) return;
    applyTimeout(kSilentFocusSearchMs);
    if (!isGtk4(window.get())) return;
    const Clock::time_point deadline = deadlineAfter(kSilentFocusSearchMs);
    if (GObjectPtr<AtspiAccessible> found = searchFocused(window.get(), deadline)) {
        focus.found(found.get());
    } else if (Clock::now() >= deadline && ++silentFocusRetries <= kSilentFocusRetries) {
        lastActiveWindow.reset(); // a busy application: the next poll searches again
        return;
    }
    silentFocusRetries = 0;
}

void AtspiAccessibility::Impl::readFocusedPlace() {
    std::lock_guard lock(mutex);
    placeReadPending = false;
    GObjectPtr<AtspiAccessible> focused = focus.focused();
    if (!focused) return;
    const std::optional<AtspiRole> role = atspi_calls::role(focused.get());
    if (role != ATSPI_ROLE_MENU_ITEM && role != ATSPI_ROLE_CHECK_MENU_ITEM &&
        role != ATSPI_ROLE_RADIO_MENU_ITEM && role != ATSPI_ROLE_MENU)
        return;
    applyTimeout(kMenuItemReadMs);
    const std::optional<atspi_placement::Box> box =
        atspi_tree_walk::reportedBox(moment, focused.get());
    if (box) lastMenuItem = MenuItemSeen{std::move(focused), *box, Clock::now()};
}

AXValue AtspiAccessibility::Impl::focusedElement(int timeoutMs) {
    if (!display || display->broken()) display = x11::Connection::open();
    if (!display) return std::monostate{};
    std::optional<x11_stacking::ClientFacts> keyed;
    if (keysWindow) keyed = x11_stacking::clientFacts(*display, *keysWindow);
    std::optional<x11_stacking::ClientWindow> active =
        keyed ? std::optional(keyed->client) : x11_stacking::activeClient(*display);
    if (!active || !active->pid) return std::monostate{};
    const Clock::time_point deadline = deadlineAfter(2 * timeoutMs);
    GObjectPtr<AtspiAccessible> desktop = ::desktop();
    if (!desktop) return std::monostate{};
    GObjectPtr<AtspiAccessible> application = applicationOf(desktop.get(), *active->pid, deadline);
    if (!application) return std::monostate{};
    std::vector<GObjectPtr<AtspiAccessible>> windows =
        moment.children(application.get(), kMaxWindowsPerApplication, deadline);
    // Among several windows, the one the keys went to is named as its X window is (GTK 4's
    // dialogs are neither active nor shown on the bus): what has the focus lies inside it.
    GObjectPtr<AtspiAccessible> window;
    if (keyed && keyed->title && windows.size() > 1) {
        for (auto& candidate : windows) {
            if (moment.name(candidate.get()) == keyed->title) {
                window = std::move(candidate);
                break;
            }
        }
    }
    const bool keyedWindow = window != nullptr;
    // Else the application's active window, else its first one shown.
    for (auto& candidate : keyedWindow ? decltype(windows){} : std::move(windows)) {
        const GObjectPtr<AtspiStateSet> set = moment.states(candidate.get());
        if (!set) continue;
        if (atspi_state_set_contains(set.get(), ATSPI_STATE_ACTIVE)) {
            window = std::move(candidate);
            break;
        }
        if (!window && atspi_state_set_contains(set.get(), ATSPI_STATE_SHOWING))
            window = std::move(candidate);
    }
    // Coordinates as the window's toolkit reports them (GTK 4's from the window).
    Origin origin;
    if (window) {
        const std::optional<atspi_placement::Box> box =
            atspi_tree_walk::reportedBox(moment, window.get());
        if (box)
            origin =
                atspi_placement::originOf(*box, atspi_placement::clientFrameOf(*display, *active));
    }
    const auto wrapped = [&](GObjectPtr<AtspiAccessible> found) -> AXValue {
        found = focusedInsidePane(innermostFocused(std::move(found), deadline));
        return AXElement(std::make_shared<const AtspiNode>(found.release(), timeoutMs, origin));
    };
    // The element announced last (before the key, when its moment is known), while it belongs
    // to the application in front and still has the focus; one the key's own effect took the
    // focus from (a dialog it opened) while it is still shown (GTK 4 marks it visible only),
    // or while the application shows no window at all (LibreOffice, for a moment, as its Save
    // dialog opens). Else a search of the window.
    if (GObjectPtr<AtspiAccessible> announced =
            inputMs ? focus.focusedAt(*inputMs) : focus.focused();
        announced && announced->parent.app != nullptr &&
        announced->parent.app == application->parent.app &&
        (moment.hasState(announced.get(), ATSPI_STATE_FOCUSED) ||
         (inputMs && (!window || moment.hasState(announced.get(), ATSPI_STATE_SHOWING) ||
                      moment.hasState(announced.get(), ATSPI_STATE_VISIBLE)))) &&
        (!keyedWindow || isInside(announced.get(), window.get()))) {
        return wrapped(std::move(announced));
    }
    if (!window) return std::monostate{};
    if (GObjectPtr<AtspiAccessible> found = searchFocused(window.get(), deadline)) {
        // Found now, it stands for the focus at a later key too (one that opens a dialog).
        if (!inputMs) focus.found(found.get());
        return wrapped(std::move(found));
    }
    // Keys go to the window even when nothing in it says it has the focus.
    return AXElement(std::make_shared<const AtspiNode>(window.release(), timeoutMs, origin));
}

bool AtspiAccessibility::Impl::isInside(AtspiAccessible* element, AtspiAccessible* window) {
    constexpr int kMaxLevels = 64;
    AtspiAccessible* current = element;
    GObjectPtr<AtspiAccessible> held;
    for (int level = 0; level < kMaxLevels && current != nullptr; ++level) {
        if (current == window) return true;
        std::optional<AtspiParentLink> link = parentLink(current);
        if (!link || !link->parent || link->role == ATSPI_ROLE_APPLICATION) return false;
        held = std::move(link->parent);
        current = held.get();
    }
    return false;
}

GObjectPtr<AtspiAccessible>
AtspiAccessibility::Impl::innermostFocused(GObjectPtr<AtspiAccessible> focused,
                                           Clock::time_point deadline) {
    constexpr int kMaxLevels = 8;
    // Children looked at per level: a focused list's rows are not all asked.
    constexpr int kMaxChildrenLooked = 16;
    for (int level = 0; level < kMaxLevels && Clock::now() < deadline; ++level) {
        GObjectPtr<AtspiAccessible> inner;
        for (auto& child : moment.children(focused.get(), kMaxChildrenLooked, deadline)) {
            if (moment.hasState(child.get(), ATSPI_STATE_FOCUSED)) {
                inner = std::move(child);
                break;
            }
        }
        if (!inner) break;
        focused = std::move(inner);
    }
    return focused;
}

GObjectPtr<AtspiAccessible> AtspiAccessibility::Impl::searchFocused(AtspiAccessible* window,
                                                                    Clock::time_point deadline) {
    if (GObjectPtr<AtspiAccessible> found = focusedByCollection(window))
        return focusedInsidePane(std::move(found));
    using atspi_tree_walk::Step;
    // Qt also marks the current page tab focused while the focus is inside its page, which
    // lies beside the tab, not below it: the tab is the focus only when nothing else is.
    GObjectPtr<AtspiAccessible> focusedTab;
    GObjectPtr<AtspiAccessible> found = atspi_tree_walk::breadthFirst(
        moment, window, kMaxFocusSearch, kMaxChildren, deadline, [&](AtspiAccessible* element) {
            const GObjectPtr<AtspiStateSet> set = moment.states(element);
            if (!set) return Step::skip;
            if (atspi_state_set_contains(set.get(), ATSPI_STATE_FOCUSED) && element != window) {
                if (focusedTab || atspi_calls::role(element) != ATSPI_ROLE_PAGE_TAB)
                    return Step::take;
                focusedTab = retained(element);
                return Step::skip;
            }
            // What is not shown holds no focus, nor does a closed menu (an open one tells).
            if (!atspi_state_set_contains(set.get(), ATSPI_STATE_SHOWING) &&
                !atspi_state_set_contains(set.get(), ATSPI_STATE_VISIBLE))
                return Step::skip;
            return atspi_calls::role(element) == ATSPI_ROLE_MENU_BAR ? Step::skip : Step::descend;
        });
    return found ? std::move(found) : std::move(focusedTab);
}

std::optional<std::vector<GObjectPtr<AtspiAccessible>>>
AtspiAccessibility::Impl::placedWindowsOf(AtspiAccessible* application, int timeoutMs,
                                          Clock::time_point deadline) {
    // What decides between an application's windows is asked of all of them at once.
    static constexpr Fact kWindowFacts[] = {Fact::states, Fact::extents, Fact::name};
    const std::chrono::milliseconds timeout(timeoutMs);
    const auto known = knownWindows.find(application);
    if (known != knownWindows.end()) {
        const Clock::time_point asked = Clock::now();
        const bool confirmed =
            moment.confirmChildren(application, known->second.windows, kWindowFacts, timeoutMs);
        if (Clock::now() - asked >= timeout) return std::nullopt;
        if (confirmed) return moment.children(application, kMaxWindowsPerApplication, deadline);
    }
    const std::optional<int> count = moment.childCount(application);
    std::vector<GObjectPtr<AtspiAccessible>> windows =
        moment.children(application, kMaxWindowsPerApplication, deadline);
    const Clock::time_point asked = Clock::now();
    moment.readTogether(pointersOf(windows), kWindowFacts, timeoutMs);
    if (Clock::now() - asked >= timeout) return std::nullopt;
    if (count && *count == static_cast<int>(windows.size())) {
        if (knownWindows.size() >= kMaxKnownApplications) knownWindows.clear();
        KnownWindows& kept = knownWindows[application];
        kept.application = retained(application);
        kept.windows.clear();
        for (const auto& window : windows)
            kept.windows.push_back(retained(window.get()));
    } else if (known != knownWindows.end()) {
        knownWindows.erase(known);
    }
    return windows;
}

/// The application registered by process `pid`, remembered once found. A bus name is never
/// reused, so a remembered application is still the one while its name belongs to the
/// process: one call instead of one per application on the bus.
GObjectPtr<AtspiAccessible> AtspiAccessibility::Impl::applicationOf(AtspiAccessible* desktop,
                                                                    std::uint32_t pid,
                                                                    Clock::time_point deadline) {
    if (auto known = applications.find(static_cast<std::int32_t>(pid));
        known != applications.end()) {
        if (moment.processId(known->second.get()) == pid) return retained(known->second.get());
        applications.erase(known);
    }
    for (auto& candidate : moment.children(desktop, kMaxChildren, deadline)) {
        if (moment.processId(candidate.get()) != pid) continue;
        if (applications.size() >= kMaxKnownApplications) applications.clear();
        applications.emplace(static_cast<std::int32_t>(pid), retained(candidate.get()));
        return std::move(candidate);
    }
    return nullptr;
}

std::optional<AtspiAccessibility::Impl::PlacedWindow>
AtspiAccessibility::Impl::windowAt(int x, int y, int timeoutMs, AtspiAccessible* application,
                                   std::optional<std::uint32_t> windowNumber) {
    GObjectPtr<AtspiAccessible> desktop = ::desktop();
    if (!desktop) return std::nullopt;
    if (!display || display->broken()) display = x11::Connection::open();
    // The X window pressed in: the one named while it exists (a menu may have closed since),
    // else the top-most one at the point, override-redirect popups included.
    std::optional<x11_stacking::ClientFacts> pressed;
    if (display && windowNumber)
        pressed =
            x11_stacking::clientFacts(*display, x11_stacking::clientOf(*display, *windowNumber));
    if (display && !pressed) {
        if (const auto top = x11_stacking::topLevelAt(*display, x, y))
            pressed = x11_stacking::clientFacts(*display, x11_stacking::clientOf(*display, *top));
    }
    const std::chrono::milliseconds timeout(timeoutMs);
    const Clock::time_point deadline = deadlineAfter(4 * timeoutMs);
    // The applications to look in: the one asked for, else the pressed window's, else all.
    std::vector<GObjectPtr<AtspiAccessible>> candidates;
    if (application != nullptr) {
        candidates.push_back(retained(application));
        if (pressed && pressed->client.pid && moment.processId(application) != pressed->client.pid)
            pressed.reset(); // another application's window: nothing to learn from it
    } else if (pressed && pressed->client.pid) {
        if (GObjectPtr<AtspiAccessible> owner =
                applicationOf(desktop.get(), *pressed->client.pid, deadline))
            candidates.push_back(std::move(owner));
    } else {
        candidates = moment.children(desktop.get(), kMaxChildren, deadline);
    }
    // A press in a popup: the menu item that last gained focus (the one the pointer came to
    // rest on), where it was shown. A press described as it was made names the popup open
    // then; without that, only a popup closed since, and only lately (a tap chooses its item
    // on release, and a closed menu places its items nowhere). The focus's own moments do not
    // tell: closing the menu moves it, and its notices come whenever the loop takes them.
    if (pressed && pressed->popup && candidates.size() == 1 && lastMenuItem &&
        lastMenuItem->box.contains(x, y) &&
        (inputMs || (!pressed->viewable && Clock::now() - lastMenuItem->at < kMenuItemMemory)) &&
        lastMenuItem->item->parent.app == candidates.front()->parent.app) {
        return PlacedWindow{retained(lastMenuItem->item.get()), Origin{}, lastMenuItem->box, true,
                            true};
    }
    const std::optional<atspi_placement::ClientFrame> frame =
        pressed ? std::optional(atspi_placement::clientFrameOf(*display, pressed->client))
                : std::nullopt;
    const atspi_placement::Box pressedBox =
        pressed ? atspi_placement::Box{pressed->client.x, pressed->client.y, pressed->client.width,
                                       pressed->client.height}
                : atspi_placement::Box{};

    std::optional<PlacedWindow> best;
    int bestScore = -1;
    double bestArea = 0;
    for (auto& owner : candidates) {
        std::optional<std::vector<GObjectPtr<AtspiAccessible>>> windows =
            placedWindowsOf(owner.get(), timeoutMs, deadline);
        if (!windows) continue;
        for (auto& window : *windows) {
            const Clock::time_point asked = Clock::now();
            const GObjectPtr<AtspiStateSet> set = moment.states(window.get());
            // An application that let a request run out of time is hung: skip the rest of it.
            if (Clock::now() - asked >= timeout) break;
            if (!set || atspi_state_set_contains(set.get(), ATSPI_STATE_ICONIFIED)) continue;
            const std::optional<atspi_placement::Box> box =
                atspi_tree_walk::reportedBox(moment, window.get());
            const std::optional<std::string> name = moment.name(window.get());
            const bool titled = pressed && pressed->title && name == pressed->title;
            Origin origin;
            std::optional<atspi_placement::Box> onScreen;
            if (box) {
                origin = atspi_placement::originOf(*box, frame);
                onScreen = atspi_placement::Box{box->x + origin.x, box->y + origin.y, box->width,
                                                box->height};
            } else if (titled) {
                onScreen = pressedBox; // a window whose extents are missing (Java's)
            }
            if (!onScreen || !onScreen->contains(x, y)) continue;
            // The window pressed in is the one its X window frames: same place, or its name.
            const bool framed =
                pressed && pressedBox.contains(onScreen->x, onScreen->y) &&
                onScreen->x + onScreen->width <= pressedBox.x + pressedBox.width &&
                onScreen->y + onScreen->height <= pressedBox.y + pressedBox.height &&
                (titled || onScreen->area() * 10 >= pressedBox.area() * 8);
            const bool shown = atspi_state_set_contains(set.get(), ATSPI_STATE_SHOWING) ||
                               atspi_state_set_contains(set.get(), ATSPI_STATE_VISIBLE);
            const bool active = atspi_state_set_contains(set.get(), ATSPI_STATE_ACTIVE);
            if (!framed && !shown) continue;
            // The framed window wins, then one shown, then the active one; otherwise the
            // smallest, as dialogs sit over their parents.
            const int score = (framed ? 4 : 0) + (shown ? 2 : 0) + (active ? 1 : 0);
            if (!best || score > bestScore ||
                (score == bestScore && onScreen->area() <= bestArea)) {
                best = PlacedWindow{std::move(window), origin, *onScreen, false, false};
                bestScore = score;
                bestArea = onScreen->area();
            }
        }
        if (Clock::now() >= deadline) break;
    }
    // A popup its toolkit does not list among the application's windows (a menu bar's menu,
    // a Qt menu): the element that shows it.
    if (pressed && pressed->popup && bestScore < 4 && candidates.size() == 1) {
        atspi_popup_search::Found popup =
            atspi_popup_search::find(moment, candidates.front().get(), focus.focused().get(),
                                     pressedBox, isGtk4(candidates.front().get()), deadline);
        if (popup.element)
            return PlacedWindow{std::move(popup.element), popup.origin, pressedBox,
                                !pressed->viewable, false};
    }
    if (best) best->maybeClosed = pressed && !pressed->viewable && bestScore >= 4;
    return best;
}

AXValue AtspiAccessibility::Impl::elementAt(int x, int y, int timeoutMs,
                                            AtspiAccessible* application,
                                            std::optional<std::uint32_t> windowNumber) {
    std::optional<PlacedWindow> found = windowAt(x, y, timeoutMs, application, windowNumber);
    if (!found) return std::monostate{};
    if (found->isElement) {
        return AXElement(std::make_shared<const AtspiNode>(
            found->window.release(), timeoutMs, found->origin, std::nullopt, found->screenBox));
    }
    // The descent has a budget of its own, as long as the window search's: an application
    // busy with the press it was just given answers every level late (a GTK 4 window
    // redrawing on a loaded machine, 0.2-0.6 s for gnome-calculator). The press is held
    // for less than that whatever the budget.
    atspi_point_lookup::Found element = atspi_point_lookup::deepestAt(
        moment, std::move(found->window), x, y, found->origin, found->screenBox,
        deadlineAfter(4 * timeoutMs), found->maybeClosed);
    if (!element.element) return std::monostate{};
    // Focus that an element had before it was pressed is announced by nothing in GTK 4 (its
    // text view has it from when its window opens): it has the focus from now on, so a key
    // that moves it away later still finds it. Its states were read on the way down; the
    // toolkit's name is asked once per application. Other toolkits announce it.
    if (!found->maybeClosed && moment.hasState(element.element.get(), ATSPI_STATE_FOCUSED) &&
        isGtk4(element.element.get()))
        focus.found(element.element.get());
    return AXElement(std::make_shared<const AtspiNode>(
        element.element.release(), timeoutMs, found->origin, element.role, element.screenBox));
}

AtspiAccessibility::AtspiAccessibility() : impl_(std::make_unique<Impl>()) {}

AtspiAccessibility::~AtspiAccessibility() = default;

AXElement AtspiAccessibility::systemWide() {
    return std::make_shared<const AtspiNode>(nullptr, kDefaultTimeoutMs);
}

AXElement AtspiAccessibility::application(std::int32_t pid) {
    std::lock_guard lock(impl_->mutex);
    if (pid <= 0 || !impl_->ensureInitialised()) return nullptr;
    impl_->applyTimeout(kDefaultTimeoutMs);
    GObjectPtr<AtspiAccessible> desktop = ::desktop();
    if (!desktop) return nullptr;
    GObjectPtr<AtspiAccessible> found = impl_->applicationOf(
        desktop.get(), static_cast<std::uint32_t>(pid), deadlineAfter(kDefaultTimeoutMs));
    if (!found) return nullptr;
    // Found as an application by its process id: its role needs no asking.
    return std::make_shared<const AtspiNode>(found.release(), kDefaultTimeoutMs, Origin{},
                                             ATSPI_ROLE_APPLICATION);
}

void AtspiAccessibility::setMessagingTimeout(const AXElement& element, float seconds) {
    const auto* node = dynamic_cast<const AtspiNode*>(element.get());
    if (node == nullptr || !std::isfinite(seconds) || seconds <= 0) return;
    std::lock_guard lock(impl_->mutex);
    node->setTimeoutMs(std::clamp(static_cast<int>(std::lround(seconds * 1000.0f)), 1, 600000));
}

AXElement AtspiAccessibility::elementAtPosition(const AXElement& scope, float x, float y) {
    const auto* node = dynamic_cast<const AtspiNode*>(scope.get());
    if (node == nullptr || !std::isfinite(x) || !std::isfinite(y)) return nullptr;
    std::lock_guard lock(impl_->mutex);
    if (!impl_->ensureInitialised()) return nullptr;
    impl_->applyTimeout(node->timeoutMs());
    AXValue found = impl_->elementAt(static_cast<int>(std::floor(x)),
                                     static_cast<int>(std::floor(y)), node->timeoutMs(),
                                     node->isSystemWide() ? nullptr : node->object(), std::nullopt);
    auto* element = std::get_if<AXElement>(&found);
    return element ? std::move(*element) : nullptr;
}

AXElement AtspiAccessibility::elementInWindow(const AXElement& application,
                                              std::uint32_t windowNumber, float x, float y) {
    const auto* node = dynamic_cast<const AtspiNode*>(application.get());
    if (node == nullptr || node->isSystemWide() || !std::isfinite(x) || !std::isfinite(y))
        return nullptr;
    std::lock_guard lock(impl_->mutex);
    if (!impl_->ensureInitialised()) return nullptr;
    impl_->applyTimeout(node->timeoutMs());
    AXValue found =
        impl_->elementAt(static_cast<int>(std::floor(x)), static_cast<int>(std::floor(y)),
                         node->timeoutMs(), node->object(), windowNumber);
    auto* element = std::get_if<AXElement>(&found);
    return element ? std::move(*element) : nullptr;
}

AXValue AtspiAccessibility::copyAttributeValue(const AXElement& element,
                                               std::string_view attribute) {
    return copyAttributeValues(element, attribute, kMaxChildren);
}

AXValue AtspiAccessibility::copyAttributeValues(const AXElement& element,
                                                std::string_view attribute, std::size_t maxCount) {
    const auto* node = dynamic_cast<const AtspiNode*>(element.get());
    if (node == nullptr) return std::monostate{};
    std::lock_guard lock(impl_->mutex);
    if (!impl_->ensureInitialised()) return std::monostate{};
    impl_->applyTimeout(node->timeoutMs());
    if (node->isSystemWide()) {
        if (attribute == "AXFocusedUIElement") return impl_->focusedElement(node->timeoutMs());
        return std::monostate{};
    }
    return impl_->attribute(*node, attribute,
                            static_cast<int>(std::min<std::size_t>(maxCount, kMaxChildren)));
}

void AtspiAccessibility::prefetch(std::span<const AXElement> elements,
                                  std::span<const std::string_view> attributes) {
    static constexpr std::pair<std::string_view, Fact> kTexts[] = {
        {"AXTitle", Fact::name},
        {"AXDescription", Fact::description},
        {"AXIdentifier", Fact::identifier},
        {"AXRoleDescription", Fact::roleName},
        {"AXHelp", Fact::help}};
    std::vector<Fact> texts;
    for (const auto& [attribute, text] : kTexts) {
        if (std::find(attributes.begin(), attributes.end(), attribute) != attributes.end())
            texts.push_back(text);
    }
    std::vector<AtspiAccessible*> objects;
    int timeoutMs = kDefaultTimeoutMs;
    for (const AXElement& element : elements) {
        const auto* node = dynamic_cast<const AtspiNode*>(element.get());
        if (node == nullptr || node->isSystemWide()) continue;
        objects.push_back(node->object());
        timeoutMs = std::min(timeoutMs, node->timeoutMs());
    }
    if (texts.empty() || objects.empty()) return;
    std::lock_guard lock(impl_->mutex);
    if (!impl_->ensureInitialised()) return;
    impl_->moment.readTogether(objects, texts, timeoutMs);
}

bool AtspiAccessibility::sameElement(const AXElement& a, const AXElement& b) {
    const auto* first = dynamic_cast<const AtspiNode*>(a.get());
    const auto* second = dynamic_cast<const AtspiNode*>(b.get());
    return first != nullptr && second != nullptr && !first->isSystemWide() &&
           first->object() == second->object();
}

std::optional<std::uint64_t> AtspiAccessibility::structureChanges(std::int32_t pid) {
    std::lock_guard lock(impl_->mutex);
    if (!impl_->initialised || !impl_->available) return std::nullopt;
    const auto known = impl_->applications.find(pid);
    if (known == impl_->applications.end()) return std::nullopt;
    impl_->applyTimeout(kDefaultTimeoutMs);
    return impl_->structureWatch.changes(known->second.get());
}

void AtspiAccessibility::beginMoment() {
    std::lock_guard lock(impl_->mutex);
    impl_->moment.begin();
}

void AtspiAccessibility::endMoment() {
    std::lock_guard lock(impl_->mutex);
    impl_->moment.end();
    impl_->inputMs.reset();
    impl_->keysWindow.reset();
}

void AtspiAccessibility::inputAt(std::int64_t inputMs) {
    std::lock_guard lock(impl_->mutex);
    impl_->inputMs = inputMs;
}

void AtspiAccessibility::keysTo(std::uint32_t windowNumber) {
    std::lock_guard lock(impl_->mutex);
    impl_->keysWindow = windowNumber;
}
