#include "platform/linux/atspi/atspi_accessibility.h"

#include "common/unicode_text.h"
#include "platform/linux/atspi/atspi_calls.h"
#include "platform/linux/atspi/atspi_lineage.h"
#include "platform/linux/atspi/atspi_moment.h"
#include "platform/linux/atspi/atspi_point_lookup.h"
#include "platform/linux/atspi/atspi_relations.h"
#include "platform/linux/atspi/atspi_roles.h"
#include "platform/linux/atspi/atspi_structure_watch.h"
#include "platform/linux/atspi/atspi_window_placement.h"
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

namespace {

using namespace atspi_calls;
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

    std::optional<AtspiRole> role() const {
        if (!role_) role_ = atspi_calls::role(object_);
        return *role_;
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

atspi_roles::RoleNames roleNamesOf(AtspiMoment& moment, const AtspiNode& node) {
    const std::optional<AtspiRole> role = node.role();
    if (!role) return {};
    OwnedText roleName(atspi_role_get_name(*role));
    atspi_roles::RoleStates roleStates;
    if (atspi_roles::dependsOnStates(*role)) {
        roleStates.multiLine = node.hasState(moment, ATSPI_STATE_MULTI_LINE);
        roleStates.editable = node.hasState(moment, ATSPI_STATE_EDITABLE);
    }
    return atspi_roles::namesFor(*role, roleStates, roleName ? roleName.get() : "");
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
    /// Our own X connection, for the window manager's stacking order; opened on first use.
    std::unique_ptr<x11::Connection> display;
    /// Children-changed notices of the applications whose trees are asked about.
    AtspiStructureWatch structureWatch;
    /// Parents read while walking outwards, valid while their application's shape holds.
    AtspiLineage lineage;
    /// What the requests of the moment under way have read.
    AtspiMoment moment;

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
        return true;
    }

    void applyTimeout(int milliseconds) {
        if (milliseconds == appliedTimeoutMs) return;
        atspi_set_timeout(milliseconds, milliseconds);
        appliedTimeoutMs = milliseconds;
    }

    AXValue value(const AtspiNode& node, const atspi_roles::RoleNames& names);
    AXValue window(const AtspiNode& application, bool focusedOnly);
    AXValue url(AtspiAccessible* object);
    AXValue help(AtspiAccessible* object);
    AXValue parent(const AtspiNode& node);
    /// `maxChildren` bounds "AXChildren".
    AXValue attribute(const AtspiNode& node, std::string_view name, int maxChildren);
    struct PlacedWindow {
        GObjectPtr<AtspiAccessible> window;
        Origin origin;
        atspi_placement::Box screenBox;
    };
    std::optional<PlacedWindow> windowAt(int x, int y, int timeoutMs);
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
    if (node.role() != ATSPI_ROLE_APPLICATION) return std::monostate{};
    std::shared_ptr<const AtspiNode> firstWindow;
    for (auto& child :
         moment.children(node.object(), kMaxWindowsPerApplication, deadlineAfter(timeoutMs))) {
        auto candidate = std::make_shared<const AtspiNode>(child.release(), timeoutMs);
        if (candidate->hasState(moment, ATSPI_STATE_ACTIVE)) return AXElement(std::move(candidate));
        if (!firstWindow && roleNamesOf(moment, *candidate).role == "AXWindow" &&
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

AXValue AtspiAccessibility::Impl::help(AtspiAccessible* object) {
    CallError error;
    GHashTable* attributes = atspi_accessible_get_attributes(object, error.out());
    if (error.failed() || attributes == nullptr) return std::monostate{};
    AXValue found = std::monostate{};
    for (const char* key : {"help-text", "tooltip"}) {
        const auto* text = static_cast<const gchar*>(g_hash_table_lookup(attributes, key));
        if (text != nullptr && *text != '\0') {
            found = text::sanitizeUtf8(text);
            break;
        }
    }
    g_hash_table_unref(attributes);
    return found;
}

AXValue AtspiAccessibility::Impl::parent(const AtspiNode& node) {
    // An application's parent is the desktop, which has no counterpart.
    if (node.role() == ATSPI_ROLE_APPLICATION) return std::monostate{};
    AtspiAccessible* object = node.object();
    // Counted before the request: a change meanwhile leaves the link read stale. Only an
    // application watched already (the front one, for its page address) is counted: a watch
    // makes the application send every such notice, and a browser's pages add and remove
    // elements all the time.
    const AtspiApplication* application = object->parent.app;
    const std::optional<std::uint64_t> changes =
        application != nullptr ? structureWatch.changesIfWatched(application->root) : std::nullopt;
    std::optional<AtspiParentLink> link = changes ? lineage.known(object, *changes) : std::nullopt;
    if (!link) {
        CallError error;
        GObjectPtr<AtspiAccessible> found(atspi_accessible_get_parent(object, error.out()));
        if (error.failed() || !found) return std::monostate{};
        const std::optional<AtspiRole> foundRole = role(found.get());
        link = AtspiParentLink{std::move(found), foundRole};
        if (changes && foundRole) lineage.remember(object, *link, *changes);
    }
    if (link->role == ATSPI_ROLE_DESKTOP_FRAME) return std::monostate{};
    return wrapRelated(link->parent.release(), node, link->role);
}

AXValue AtspiAccessibility::Impl::attribute(const AtspiNode& node, std::string_view name,
                                            int maxChildren) {
    AtspiAccessible* object = node.object();
    const int timeoutMs = node.timeoutMs();
    CallError error;

    if (name == "AXRole" || name == "AXSubrole" || name == "AXValue") {
        const atspi_roles::RoleNames names = roleNamesOf(moment, node);
        if (names.role.empty()) return std::monostate{};
        if (name == "AXRole") return names.role;
        if (name == "AXSubrole") return names.subrole ? AXValue(*names.subrole) : std::monostate{};
        return value(node, names);
    }
    if (name == "AXTitle") {
        if (auto title = moment.name(object)) return text::sanitizeUtf8(*title);
        return std::monostate{};
    }
    if (name == "AXDescription") {
        if (auto text = takeText(atspi_accessible_get_description(object, error.out()), error)) {
            return *text;
        }
        return std::monostate{};
    }
    if (name == "AXIdentifier") {
        auto id = takeText(atspi_accessible_get_accessible_id(object, error.out()), error);
        return id && !id->empty() ? AXValue(*id) : std::monostate{};
    }
    if (name == "AXRoleDescription") {
        gchar* raw = atspi_accessible_get_localized_role_name(object, error.out());
        if (auto text = takeText(raw, error)) return *text;
        return std::monostate{};
    }
    if (name == "AXHelp") return help(object);
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
    if (name == "AXFocusedWindow") return window(node, true);
    if (name == "AXMainWindow") return window(node, false);
    if (name == "AXURL") return url(object);
    if (name == atspi_relations::embeddedDocumentAttribute) {
        return wrapRelated(atspi_relations::embeddedDocument(object), node);
    }
    return std::monostate{};
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
AtspiAccessibility::Impl::windowAt(int x, int y, int timeoutMs) {
    GObjectPtr<AtspiAccessible> desktop = ::desktop();
    if (!desktop) return std::nullopt;
    // The window manager knows which application's window is on top at the point; without
    // it, every application's windows are candidates, placed where their toolkits say.
    if (!display || display->broken()) display = x11::Connection::open();
    std::optional<std::uint32_t> topProcess;
    std::optional<atspi_placement::ClientFrame> client =
        display ? atspi_placement::clientFrameAt(*display, x, y, &topProcess) : std::nullopt;
    if (!topProcess) client.reset(); // its accessible windows cannot be told apart

    const std::chrono::milliseconds timeout(timeoutMs);
    const Clock::time_point deadline = deadlineAfter(4 * timeoutMs);
    std::optional<PlacedWindow> best;
    bool bestActive = false;
    double bestArea = 0;
    // Only the top application's windows when the window manager named it.
    std::vector<GObjectPtr<AtspiAccessible>> candidates;
    if (!topProcess) {
        candidates = moment.children(desktop.get(), kMaxChildren, deadline);
    } else if (GObjectPtr<AtspiAccessible> top =
                   applicationOf(desktop.get(), *topProcess, deadline)) {
        candidates.push_back(std::move(top));
    }
    for (auto& application : candidates) {
        for (auto& window :
             moment.children(application.get(), kMaxWindowsPerApplication, deadline)) {
            const Clock::time_point asked = Clock::now();
            const GObjectPtr<AtspiStateSet> set = moment.states(window.get());
            // An application that let a request run out of time is hung: skip the rest of it.
            if (Clock::now() - asked >= timeout) break;
            if (!set || !atspi_state_set_contains(set.get(), ATSPI_STATE_SHOWING) ||
                atspi_state_set_contains(set.get(), ATSPI_STATE_ICONIFIED)) {
                continue;
            }
            const std::optional<AtspiRect> reported = moment.reportedExtents(window.get());
            const std::optional<atspi_placement::Box> box =
                reported ? atspi_placement::placed(*reported) : std::nullopt;
            if (!box) continue;
            const Origin origin = atspi_placement::originOf(*box, client);
            const atspi_placement::Box onScreen{box->x + origin.x, box->y + origin.y, box->width,
                                                box->height};
            if (!onScreen.contains(x, y)) continue;
            const bool active = atspi_state_set_contains(set.get(), ATSPI_STATE_ACTIVE);
            // The active window wins; otherwise the smallest, as dialogs sit over their parents.
            if (!best || (active && !bestActive) ||
                (active == bestActive && box->area() <= bestArea)) {
                best = PlacedWindow{std::move(window), origin, onScreen};
                bestActive = active;
                bestArea = box->area();
            }
        }
        if (Clock::now() >= deadline) break;
    }
    return best;
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

AXElement AtspiAccessibility::elementAtPosition(const AXElement& systemWide, float x, float y) {
    const auto* scope = dynamic_cast<const AtspiNode*>(systemWide.get());
    if (scope == nullptr || !std::isfinite(x) || !std::isfinite(y)) return nullptr;
    std::lock_guard lock(impl_->mutex);
    if (!impl_->ensureInitialised()) return nullptr;
    const int timeoutMs = scope->timeoutMs();
    impl_->applyTimeout(timeoutMs);
    const int pointX = static_cast<int>(std::floor(x));
    const int pointY = static_cast<int>(std::floor(y));

    std::optional<Impl::PlacedWindow> found = impl_->windowAt(pointX, pointY, timeoutMs);
    if (!found) return nullptr;
    // The descent has a budget of its own, twice as long as one request may take.
    atspi_point_lookup::Found element = atspi_point_lookup::deepestAt(
        impl_->moment, std::move(found->window), pointX, pointY, found->origin, found->screenBox,
        deadlineAfter(2 * timeoutMs));
    if (!element.element) return nullptr;
    return std::make_shared<const AtspiNode>(element.element.release(), timeoutMs, found->origin,
                                             element.role, element.screenBox);
}

AXValue AtspiAccessibility::copyAttributeValue(const AXElement& element,
                                               std::string_view attribute) {
    return copyAttributeValues(element, attribute, kMaxChildren);
}

AXValue AtspiAccessibility::copyAttributeValues(const AXElement& element,
                                                std::string_view attribute, std::size_t maxCount) {
    const auto* node = dynamic_cast<const AtspiNode*>(element.get());
    if (node == nullptr || node->isSystemWide()) return std::monostate{};
    std::lock_guard lock(impl_->mutex);
    if (!impl_->ensureInitialised()) return std::monostate{};
    impl_->applyTimeout(node->timeoutMs());
    return impl_->attribute(*node, attribute,
                            static_cast<int>(std::min<std::size_t>(maxCount, kMaxChildren)));
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
}
