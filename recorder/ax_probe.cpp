#include "recorder/ax_probe.h"

#include "recorder/bounded_accessibility.h"

#include <algorithm>
#include <cstddef>
#include <deque>
#include <span>
#include <utility>

namespace AXProbe {
namespace {

constexpr float systemWideTimeoutSeconds = 0.3f;
constexpr float applicationTimeoutSeconds = 0.2f;
constexpr int ancestorLimit = 20;
constexpr std::size_t siblingsExamined = 8;
constexpr std::size_t nearbyTextLimit = 6;
constexpr int webAreaSearchLimit = 400;
constexpr int deepestQueuedLevel = 11;

constexpr std::string_view secureTextField = "AXSecureTextField";

/// Roles whose value is whatever the person typed or pasted into them.
constexpr std::string_view textInputRoles[] = {"AXTextField", "AXTextArea", "AXComboBox",
                                               "AXSecureTextField"};
constexpr std::string_view textInputSubroles[] = {"AXSearchField", "AXSecureTextField"};

/// Roles whose value shows what the application made (a text, a state, a level), never what
/// was typed, unless the element takes text all the same.
constexpr std::string_view displayRoles[] = {
    "AXStaticText",  "AXHeading",           "AXCheckBox",       "AXRadioButton",
    "AXSlider",      "AXProgressIndicator", "AXLevelIndicator", "AXValueIndicator",
    "AXScrollBar",   "AXMenuItem",          "AXButton",         "AXDisclosureTriangle",
    "AXPopUpButton",
};

bool isOneOf(const std::optional<std::string>& name, std::span<const std::string_view> names) {
    return name && std::find(names.begin(), names.end(), *name) != names.end();
}

/// An element that takes text input: its value is the person's own text, never a label.
/// Editable web content (contenteditable, rich text areas) names its editable ancestor.
bool takesTextInput(Accessibility& ax, const AXElement& element, const AXTarget& target) {
    return isOneOf(target.role, textInputRoles) || isOneOf(target.subrole, textInputSubroles) ||
           elementAttr(ax, element, "AXEditableAncestor") != nullptr;
}

/// The element's value as its label: a number (a check state, a level) of a display role,
/// or the text of one the person is known not to be able to edit.
std::optional<std::string> valueLabel(Accessibility& ax, const AXElement& element,
                                      const AXTarget& target) {
    if (!isOneOf(target.role, displayRoles) || isOneOf(target.subrole, textInputSubroles))
        return std::nullopt;
    AXValue value = ax.copyAttributeValue(element, "AXValue");
    if (auto* number = std::get_if<AXNumber>(&value)) return std::move(number->decimalText);
    auto* text = std::get_if<std::string>(&value);
    if (!text || text->empty() || takesTextInput(ax, element, target)) return std::nullopt;
    // Where the port cannot tell, the value may be the person's: it is left out.
    const AXValue settable = ax.copyAttributeValue(element, valueSettableAttribute);
    const auto* answer = std::get_if<AXNumber>(&settable);
    if (!answer || answer->value != 0) return std::nullopt;
    return std::move(*text);
}

/// The element's title, else its description, else its value where that labels it. An
/// element typed into may be named after its own text: only a text field's title, which
/// never is, still labels it.
std::optional<std::string> labelOf(Accessibility& ax, const AXElement& element,
                                   const AXTarget& target, bool typedInto) {
    if (typedInto && !isOneOf(target.role, textInputRoles)) return std::nullopt;
    std::optional<std::string> label = str(ax, element, "AXTitle");
    if (!label) label = str(ax, element, "AXDescription");
    if (!label && !typedInto) label = valueLabel(ax, element, target);
    return label;
}

/// Whether `element` was typed into; a typing run's target is remembered first.
bool isTypedInto(Accessibility& ax, const AXElement& element, TypedElements* typedInto,
                 TypingTarget typing) {
    if (!typedInto) return false;
    if (typing == TypingTarget::yes) typedInto->rememberIfFocused(ax, element);
    return typedInto->contains(ax, element);
}

/// The process's accessibility object with the per-process timeout set; null when none.
AXElement applicationObject(Accessibility& ax, std::int32_t pid) {
    AXElement app = ax.application(pid);
    if (app) ax.setMessagingTimeout(app, applicationTimeoutSeconds);
    return app;
}

/// The focused window of `app`, else its main window; null when neither is present.
AXElement frontWindow(Accessibility& ax, const AXElement& app) {
    AXElement window = elementAttr(ax, app, "AXFocusedWindow");
    if (!window) window = elementAttr(ax, app, "AXMainWindow");
    return window;
}

/// The window whose page is shown: the front `window`, unless that is an untitled popup (a
/// browser's context menu or completion list), which stands for the application's first
/// titled window.
AXElement pageWindow(Accessibility& ax, const AXElement& app, AXElement window, bool titled) {
    if (titled) return window;
    for (AXElement& candidate : children(ax, app)) {
        if (str(ax, candidate, "AXRole") == "AXWindow" && str(ax, candidate, "AXTitle"))
            return std::move(candidate);
    }
    return window;
}

/// The page address held by a web area's "AXURL": a URL object's absolute string, or text
/// as it is (empty included).
std::optional<std::string> webAreaURL(Accessibility& ax, const AXElement& webArea) {
    AXValue value = ax.copyAttributeValue(webArea, "AXURL");
    if (auto* url = std::get_if<AXURLValue>(&value)) return std::move(url->absoluteString);
    if (auto* text = std::get_if<std::string>(&value)) return std::move(*text);
    return std::nullopt;
}

/// The first web area breadth first from `window`, or null; `complete` unless the deadline
/// cut the search short.
struct WebAreaSearch {
    AXElement webArea;
    bool complete = true;
};

WebAreaSearch searchWebArea(Accessibility& ax, AXElement window, const ProbeDeadline& deadline) {
    std::deque<std::pair<AXElement, int>> queue;
    queue.emplace_back(std::move(window), 0);
    int examined = 0;
    while (!queue.empty() && examined < webAreaSearchLimit) {
        if (deadline.spent()) return {nullptr, false};
        auto [element, depth] = std::move(queue.front());
        queue.pop_front();
        // The first web area ends the search, address or not.
        if (str(ax, element, "AXRole") == "AXWebArea") return {std::move(element), true};
        ++examined;
        // Children behind an already full budget would never be examined: don't ask for them.
        const auto reachable = static_cast<std::size_t>(webAreaSearchLimit - examined);
        if (depth <= deepestQueuedLevel && queue.size() < reachable) {
            for (AXElement& child : children(ax, element))
                queue.emplace_back(std::move(child), depth + 1);
        }
    }
    return {nullptr, !deadline.spent()};
}

/// Titles (else descriptions) of the first children listed under an element's `parent`;
/// none of a child typed into.
std::vector<std::string> nearbyText(Accessibility& ax, const AXElement& parent,
                                    const TypedElements* typedInto) {
    if (!parent) return {};
    // Only the first siblings are listed: a grid or list can hold hundreds.
    std::vector<AXElement> siblings = children(ax, parent, siblingsExamined);
    if (typedInto) {
        std::erase_if(siblings,
                      [&](const AXElement& sibling) { return typedInto->contains(ax, sibling); });
    }
    constexpr std::string_view texts[] = {"AXTitle", "AXDescription"};
    ax.prefetch(siblings, texts);
    std::vector<std::string> found;
    for (std::size_t i = 0; i < siblings.size() && found.size() < nearbyTextLimit; ++i) {
        std::optional<std::string> text = str(ax, siblings[i], "AXTitle");
        if (!text) text = str(ax, siblings[i], "AXDescription");
        if (text) found.push_back(std::move(*text));
    }
    return found;
}

/// What a control shows (its text, its picture, the box around them), which stands for it.
constexpr std::string_view controlContentRoles[] = {"AXStaticText", "AXImage", "AXGroup"};
/// Controls that are one element with what they show; text fields and areas with the
/// paragraphs they hold (a word processor's body).
constexpr std::string_view wholeControlRoles[] = {
    "AXButton", "AXLink",        "AXMenuItem",   "AXMenuBarItem", "AXCheckBox",  "AXRadioButton",
    "AXRow",    "AXPopUpButton", "AXMenuButton", "AXComboBox",    "AXTextField", "AXTextArea"};
/// Lists a control holds closed: a select's options.
constexpr std::string_view closedListRoles[] = {"AXMenu", "AXList"};
constexpr std::string_view listHolderRoles[] = {"AXPopUpButton", "AXComboBox"};
/// How far a control's content lies below it.
constexpr int contentDepth = 3;

/// The control `element` is part of: a label, an image or a box inside a button, link, menu
/// item, check box, radio button, tab, list item or text area is that control, and a
/// select's closed list the select; any other element is itself.
AXElement controlOf(Accessibility& ax, const AXElement& element) {
    const std::optional<std::string> role = str(ax, element, "AXRole");
    const bool closedList = isOneOf(role, closedListRoles);
    if (!closedList && !isOneOf(role, controlContentRoles)) return element;
    AXElement current = element;
    for (int level = 0; level < contentDepth; ++level) {
        AXElement parent = elementAttr(ax, current, "AXParent");
        const std::optional<std::string> parentRole = str(ax, parent, "AXRole");
        if (closedList) return isOneOf(parentRole, listHolderRoles) ? parent : element;
        if (isOneOf(parentRole, wholeControlRoles)) return parent;
        if (!isOneOf(parentRole, controlContentRoles)) return element;
        current = std::move(parent);
    }
    return element;
}

/// The element at `point` in the application `pid` (in its window `windowNumber` when given),
/// or in any application when there is no process to look in.
AXElement elementUnder(Accessibility& ax, geo::Point point, std::optional<std::int32_t> pid,
                       std::optional<std::uint32_t> windowNumber) {
    AXElement application = pid && *pid > 0 ? ax.application(*pid) : nullptr;
    AXElement scope = application ? application : ax.systemWide();
    if (!scope) return nullptr;
    ax.setMessagingTimeout(scope, systemWideTimeoutSeconds);
    const auto x = static_cast<float>(point.x);
    const auto y = static_cast<float>(point.y);
    if (application && windowNumber) return ax.elementInWindow(application, *windowNumber, x, y);
    return ax.elementAtPosition(scope, x, y);
}

} // namespace

std::optional<std::string> str(Accessibility& ax, const AXElement& element,
                               std::string_view attribute) {
    if (!element) return std::nullopt;
    AXValue value = ax.copyAttributeValue(element, attribute);
    if (auto* text = std::get_if<std::string>(&value)) {
        if (text->empty()) return std::nullopt;
        return std::move(*text);
    }
    if (auto* number = std::get_if<AXNumber>(&value)) return std::move(number->decimalText);
    return std::nullopt;
}

AXElement elementAttr(Accessibility& ax, const AXElement& element, std::string_view attribute) {
    if (!element) return nullptr;
    AXValue value = ax.copyAttributeValue(element, attribute);
    if (auto* found = std::get_if<AXElement>(&value)) return std::move(*found);
    return nullptr;
}

std::vector<AXElement> children(Accessibility& ax, const AXElement& element,
                                std::optional<std::size_t> maxCount) {
    if (!element) return {};
    AXValue value = maxCount ? ax.copyAttributeValues(element, "AXChildren", *maxCount)
                             : ax.copyAttributeValue(element, "AXChildren");
    auto* list = std::get_if<std::vector<AXElement>>(&value);
    if (!list) return {};
    std::vector<AXElement> result = std::move(*list);
    std::erase(result, nullptr);
    return result;
}

std::optional<std::vector<double>> frame(Accessibility& ax, const AXElement& element) {
    if (!element) return std::nullopt;
    const AXValue position = ax.copyAttributeValue(element, "AXPosition");
    const auto* origin = std::get_if<geo::Point>(&position);
    if (!origin) return std::nullopt;
    const AXValue size = ax.copyAttributeValue(element, "AXSize");
    const auto* extent = std::get_if<geo::Size>(&size);
    if (!extent) return std::nullopt;
    return std::vector<double>{origin->x, origin->y, extent->width, extent->height};
}

std::optional<AXTarget> elementAt(Accessibility& platform, geo::Point point,
                                  std::optional<std::int32_t> pid, const ProbeDeadline& deadline,
                                  std::optional<std::uint32_t> windowNumber,
                                  std::optional<std::string>* pageAddress, TypedElements* typedInto,
                                  TypingTarget typing) {
    BoundedAccessibility ax(platform, deadline, systemWideTimeoutSeconds);
    const AXElement found = elementUnder(ax, point, pid, windowNumber);
    return describedElement(ax, found ? controlOf(ax, found) : nullptr, pageAddress, typedInto,
                            typing);
}

std::optional<AXTarget> focusedElement(Accessibility& platform, const ProbeDeadline& deadline,
                                       std::optional<std::string>* pageAddress,
                                       TypedElements* typedInto, TypingTarget typing) {
    BoundedAccessibility ax(platform, deadline, systemWideTimeoutSeconds);
    // Keyboard focus is system-wide: it lies in whichever application receives the keys.
    AXElement systemWide = ax.systemWide();
    if (!systemWide) return std::nullopt;
    ax.setMessagingTimeout(systemWide, systemWideTimeoutSeconds);
    const AXElement focused = elementAttr(ax, systemWide, "AXFocusedUIElement");
    return describedElement(ax, focused ? controlOf(ax, focused) : nullptr, pageAddress, typedInto,
                            typing);
}

std::optional<AXTarget> describedElement(Accessibility& ax, const AXElement& element,
                                         std::optional<std::string>* pageAddress,
                                         TypedElements* typedInto, TypingTarget typing) {
    if (!element) return std::nullopt;

    // What the element says of itself, asked all at once where the platform can.
    constexpr std::string_view ownTexts[] = {"AXTitle", "AXDescription", "AXIdentifier",
                                             "AXRoleDescription", "AXHelp"};
    ax.prefetch(std::span(&element, 1), ownTexts);
    AXTarget target;
    target.role = str(ax, element, "AXRole");
    target.subrole = str(ax, element, "AXSubrole");
    const bool typed = isTypedInto(ax, element, typedInto, typing);
    target.label = labelOf(ax, element, target, typed);
    // What names and places the element comes first: a deadline that runs out during the
    // walk outwards leaves the record without the rest only.
    target.frame = frame(ax, element);
    target.identifier = str(ax, element, "AXIdentifier");
    target.roleDescription = str(ax, element, "AXRoleDescription");
    target.help = str(ax, element, "AXHelp");
    target.secure = target.subrole == secureTextField || target.role == secureTextField;

    // Roles from the element outwards; the outermost window's title wins. What was read of
    // the element already is not asked again.
    const AXElement parent = elementAttr(ax, element, "AXParent");
    std::vector<std::string> roles;
    std::optional<std::string> windowTitle;
    AXElement webArea; // the page the element belongs to, if any
    if (target.role) {
        if (*target.role == "AXWindow") windowTitle = str(ax, element, "AXTitle");
        if (*target.role == "AXWebArea") webArea = element;
        roles.push_back(*target.role);
    }
    AXElement current = parent;
    for (int visited = 1; visited < ancestorLimit && current; ++visited) {
        if (std::optional<std::string> role = str(ax, current, "AXRole")) {
            if (*role == "AXWindow") windowTitle = str(ax, current, "AXTitle");
            if (*role == "AXWebArea" && !webArea) webArea = current;
            roles.push_back(std::move(*role));
        }
        current = elementAttr(ax, current, "AXParent");
    }
    if (pageAddress && webArea) *pageAddress = webAreaURL(ax, webArea);
    std::reverse(roles.begin(), roles.end());
    target.path = std::move(roles);
    target.windowTitle = std::move(windowTitle);

    target.nearbyText = nearbyText(ax, parent, typedInto);
    if (target.secure) target.label = std::nullopt;
    return target;
}

FrontWindow frontWindowOf(Accessibility& platform, std::int32_t pid, const ProbeDeadline& deadline,
                          WebAreaCache& webAreas) {
    BoundedAccessibility ax(platform, deadline, applicationTimeoutSeconds);
    const AXElement app = applicationObject(ax, pid);
    if (!app) return {};
    AXElement window = frontWindow(ax, app);
    if (!window) return {};
    FrontWindow front;
    front.title = str(ax, window, "AXTitle");
    window = pageWindow(ax, app, std::move(window), front.title.has_value());

    // A window that names the document it shows (a browser's selected tab) needs no search.
    if (AXElement document = elementAttr(ax, window, "AXEmbeddedDocument");
        document && str(ax, document, "AXRole") == "AXWebArea") {
        front.url = webAreaURL(ax, document);
        return front;
    }

    // Taken before the search, so that a change during it makes its outcome stale.
    const std::optional<WebAreaCache::Shape> shape = WebAreaCache::shapeOf(ax, pid);
    if (shape && webAreas.holdsNone(ax, *shape, window)) return front;
    WebAreaSearch search = searchWebArea(ax, window, deadline);
    if (search.webArea) {
        front.url = webAreaURL(ax, search.webArea);
    } else if (shape && search.complete) {
        webAreas.rememberNone(ax, *shape, std::move(window));
    }
    return front;
}

std::optional<std::string> frontURL(Accessibility& ax, std::int32_t pid,
                                    const ProbeDeadline& deadline, WebAreaCache& webAreas) {
    return frontWindowOf(ax, pid, deadline, webAreas).url;
}

} // namespace AXProbe
