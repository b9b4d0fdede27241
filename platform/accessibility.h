// The accessibility tree: elements and their attributes, read-only.
#pragma once

#include "platform/geometry.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

/// A platform accessibility element (AXUIElementRef, an AT-SPI accessible, a fake node).
/// The platform object is released with the last handle.
class AXNode {
public:
    virtual ~AXNode() = default;
};
using AXElement = std::shared_ptr<const AXNode>;

/// A numeric attribute value (booleans included) and its decimal text ("1" for true).
struct AXNumber {
    double value = 0;
    std::string decimalText;
};

/// A URL object, by its absolute string.
struct AXURLValue {
    std::string absoluteString;
};

/// A value of a kind the readers do not use.
struct AXOtherValue {};

/// An attribute value as copied from the platform; monostate when the copy failed or gave
/// nothing. Text is valid UTF-8. A list whose entries are not all elements is AXOtherValue.
using AXValue =
    std::variant<std::monostate, std::string, AXNumber, AXElement, std::vector<AXElement>,
                 geo::Point, geo::Size, AXURLValue, AXOtherValue>;

/// Answered by every port as a number, 1 or 0: whether the person can set the element's
/// "AXValue" (text that can be edited, an editable state); absent when it cannot tell. The
/// platform has no such attribute: macOS answers whether "AXValue" is settable, AT-SPI from
/// the editable state.
inline constexpr std::string_view valueSettableAttribute = "AXValueSettable";

class Accessibility {
public:
    virtual ~Accessibility() = default;
    /// The system-wide object (element lookup by position).
    virtual AXElement systemWide() = 0;
    /// The accessibility object of the application with this process id; null when none.
    virtual AXElement application(std::int32_t pid) = 0;
    /// Bounds every later request made through `element` to `seconds`.
    virtual void setMessagingTimeout(const AXElement& element, float seconds) = 0;
    /// The element at a global point (top-left origin, points): in any process through the
    /// system-wide object, in that application through an application's object; null when
    /// none.
    virtual AXElement elementAtPosition(const AXElement& scope, float x, float y) = 0;
    /// The element at a global point in the window `windowNumber` (the window server's
    /// number) of `application`: the window under the pointer when an operation happened,
    /// which may have closed or gone behind another since. Ports that cannot place windows
    /// look the point up in the application.
    virtual AXElement elementInWindow(const AXElement& application, std::uint32_t windowNumber,
                                      float x, float y) {
        (void)windowNumber;
        return elementAtPosition(application, x, y);
    }
    /// Copies one attribute ("AXRole", "AXChildren", …) of `element`.
    virtual AXValue copyAttributeValue(const AXElement& element, std::string_view attribute) = 0;
    /// The first `maxCount` entries of a list attribute ("AXChildren"); a port that cannot read
    /// part of a list copies it whole and keeps the first entries.
    virtual AXValue copyAttributeValues(const AXElement& element, std::string_view attribute,
                                        std::size_t maxCount) {
        AXValue value = copyAttributeValue(element, attribute);
        if (auto* list = std::get_if<std::vector<AXElement>>(&value);
            list && list->size() > maxCount)
            list->resize(maxCount);
        return value;
    }
    /// Lets the port read `attributes` of all `elements` at once, ahead of the requests for
    /// them that follow in this moment, which it then answers from what it read. Ports
    /// without a cheaper way than one request each ignore it.
    virtual void prefetch(std::span<const AXElement> elements,
                          std::span<const std::string_view> attributes) {
        (void)elements;
        (void)attributes;
    }
    /// Whether two handles stand for the same platform element (false when either is null).
    virtual bool sameElement(const AXElement& a, const AXElement& b) = 0;
    /// How many times elements were added to or removed from the tree of the application
    /// `pid`, counted from the first call for it; absent when the port cannot watch it. A
    /// count that has not moved means the tree has kept its shape.
    virtual std::optional<std::uint64_t> structureChanges(std::int32_t pid) = 0;
    /// Between these two calls the requests read one moment of the tree (one operation's
    /// probes): a port may answer a request again with what it read since `beginMoment`.
    /// After `endMoment` every request asks again.
    virtual void beginMoment() = 0;
    virtual void endMoment() = 0;
    /// Until `endMoment`, requests describe the input event made at `inputMs` (the clock's
    /// scale): keyboard focus ("AXFocusedUIElement") is the focus as it was when the key went
    /// down, and an element under a press is what was there then. A port that learns of focus
    /// moves after they happen leaves out those the input itself made (a dialog a key opened,
    /// a menu a tap closed). Other ports answer as things are.
    virtual void inputAt(std::int64_t /*inputMs*/) {}
    /// Until `endMoment`, keyboard focus is the focus in the application of the window
    /// `windowNumber`, which the key went to, even when another application is in front by
    /// now. Other ports answer with the application in front.
    virtual void keysTo(std::uint32_t /*windowNumber*/) {}
};

/// Holds a moment of `Accessibility` open for its lifetime.
class AccessibilityMoment {
public:
    explicit AccessibilityMoment(Accessibility& accessibility) : accessibility_(accessibility) {
        accessibility_.beginMoment();
    }
    ~AccessibilityMoment() { accessibility_.endMoment(); }
    AccessibilityMoment(const AccessibilityMoment&) = delete;
    AccessibilityMoment& operator=(const AccessibilityMoment&) = delete;

private:
    Accessibility& accessibility_;
};
