// The accessibility tree of every application on the AT-SPI bus, under the AX names the
// probes read.
#pragma once

#include "platform/accessibility.h"

#include <memory>

/// Reads AT-SPI (libatspi) synchronously; safe to call from one thread at a time per process
/// (calls are serialised internally). Coordinates are X root-window pixels, top-left origin;
/// extents that place an element nowhere (a vanished one) give no position or size.
///
/// Attributes: "AXRole" and "AXSubrole" (mapped roles), "AXTitle" (name), "AXDescription",
/// "AXValue" (text, a check state 0/1, or a numeric value), "AXIdentifier" (accessible id),
/// "AXRoleDescription" (localized role name), "AXHelp" (a "tooltip" or "help-text" object
/// attribute), "AXParent", "AXChildren", "AXPosition", "AXSize", "AXFocusedWindow" and
/// "AXMainWindow" (of an application), "AXURL" (the "DocURL" or "URI" document attribute),
/// "AXEditableAncestor" (the element itself when it has the editable state), "AXValueSettable"
/// (1 with the editable state, else 0), "AXFocused" (1 with the focused state, else 0),
/// "AXEmbeddedDocument" (the document a window's "embeds" relation names); of the
/// system-wide handle, "AXFocusedUIElement" (the element with keyboard focus in the
/// application of the active X window: the one it last announced, else one found in its
/// active window with the focused state, else that window).
///
/// Listeners registered by `structureChanges` are removed with the port.
class AtspiAccessibility final : public Accessibility {
public:
    AtspiAccessibility();
    ~AtspiAccessibility() override;
    AtspiAccessibility(const AtspiAccessibility&) = delete;
    AtspiAccessibility& operator=(const AtspiAccessibility&) = delete;

    /// A handle standing for the whole desktop; it has no attributes.
    AXElement systemWide() override;
    /// The application registered on the bus with this process id; null when none.
    AXElement application(std::int32_t pid) override;
    /// Every D-Bus call made through `element`, and through elements read from it, waits at
    /// most `seconds`.
    void setMessagingTimeout(const AXElement& element, float seconds) override;
    /// The deepest element under the point in the window there: the one the top-most X window
    /// frames (override-redirect menus included, and a dialog its toolkit lists as not shown),
    /// else the shown one that contains the point (the active one first, else the smallest);
    /// in the application `scope`, or in the X window's owner for the system-wide handle.
    /// A menu or list its toolkit lists nowhere is found by its place. Windows of toolkits that
    /// report coordinates relative to the window, or none, are placed by their X window. Null
    /// when no window contains the point.
    AXElement elementAtPosition(const AXElement& scope, float x, float y) override;
    /// The same in the X window `windowNumber`, while the X server knows it: a menu that has
    /// closed since is still looked up where it was.
    AXElement elementInWindow(const AXElement& application, std::uint32_t windowNumber, float x,
                              float y) override;
    /// One attribute of `element`; monostate when unsupported, unreadable or timed out.
    AXValue copyAttributeValue(const AXElement& element, std::string_view attribute) override;
    /// "AXChildren" asks for the first `maxCount` children only; other attributes are whole.
    AXValue copyAttributeValues(const AXElement& element, std::string_view attribute,
                                std::size_t maxCount) override;
    /// The same accessible object (libatspi keeps one object per application and path).
    /// Names, descriptions, identifiers, role names and help ("AXTitle", "AXDescription",
    /// "AXIdentifier", "AXRoleDescription", "AXHelp") are asked all at once; other attributes
    /// are left to their own requests.
    void prefetch(std::span<const AXElement> elements,
                  std::span<const std::string_view> attributes) override;
    bool sameElement(const AXElement& a, const AXElement& b) override;
    /// "object:children-changed" notices of an application found by `application(pid)`,
    /// counted while the GLib main context runs; absent for one not found yet.
    std::optional<std::uint64_t> structureChanges(std::int32_t pid) override;
    /// States, extents, child lists, names and process ids read in a moment are not asked
    /// again in it; a request that failed is.
    void beginMoment() override;
    void endMoment() override;
    /// Keyboard focus is the one announced last before `inputMs` (wall-clock milliseconds),
    /// or found focused where a press went before it, while it is still focused or shown: a
    /// key's own notices come after the key. A press in a popup that has closed since is the
    /// menu item that had focus then, where it was shown.
    void inputAt(std::int64_t inputMs) override;
    void keysTo(std::uint32_t windowNumber) override;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
