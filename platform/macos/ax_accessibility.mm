#include "platform/macos/ax_accessibility.h"

#include "platform/macos/cf_ref.h"
#include "platform/macos/ns_string.h"

#import <ApplicationServices/ApplicationServices.h>
#import <Foundation/Foundation.h>

namespace {

/// One AXUIElementRef; released with the node.
class AXUIElementNode final : public AXNode {
public:
    explicit AXUIElementNode(CFRef<AXUIElementRef> element) : element_(std::move(element)) {}
    AXUIElementRef get() const { return element_.get(); }

private:
    CFRef<AXUIElementRef> element_;
};

AXElement wrap(AXUIElementRef ownedElement) {
    if (ownedElement == nullptr) return nullptr;
    return std::make_shared<AXUIElementNode>(CFRef<AXUIElementRef>(ownedElement));
}

AXUIElementRef unwrap(const AXElement& element) {
    const auto* node = dynamic_cast<const AXUIElementNode*>(element.get());
    return node ? node->get() : nullptr;
}

AXValue convert(CFTypeRef value) {
    const CFTypeID type = CFGetTypeID(value);
    if (type == CFStringGetTypeID()) {
        return optionalString((__bridge NSString*)value).value_or(std::string());
    }
    if (type == CFNumberGetTypeID() || type == CFBooleanGetTypeID()) {
        NSNumber* number = (__bridge NSNumber*)value;
        return AXNumber{number.doubleValue, optionalString(number.stringValue).value_or("")};
    }
    if (type == AXUIElementGetTypeID()) {
        return wrap(static_cast<AXUIElementRef>(CFRetain(value)));
    }
    if (type == CFArrayGetTypeID()) {
        const auto array = static_cast<CFArrayRef>(value);
        std::vector<AXElement> elements;
        const CFIndex count = CFArrayGetCount(array);
        elements.reserve(static_cast<std::size_t>(count));
        for (CFIndex i = 0; i < count; ++i) {
            CFTypeRef item = CFArrayGetValueAtIndex(array, i);
            if (item == nullptr || CFGetTypeID(item) != AXUIElementGetTypeID())
                return AXOtherValue{};
            elements.push_back(wrap(static_cast<AXUIElementRef>(CFRetain(item))));
        }
        return elements;
    }
    if (type == AXValueGetTypeID()) {
        const auto axValue = static_cast<AXValueRef>(value);
        switch (AXValueGetType(axValue)) {
        case kAXValueTypeCGPoint: {
            CGPoint point;
            if (AXValueGetValue(axValue, kAXValueTypeCGPoint, &point))
                return geo::Point{point.x, point.y};
            return AXOtherValue{};
        }
        case kAXValueTypeCGSize: {
            CGSize size;
            if (AXValueGetValue(axValue, kAXValueTypeCGSize, &size)) {
                return geo::Size{size.width, size.height};
            }
            return AXOtherValue{};
        }
        default:
            return AXOtherValue{};
        }
    }
    if (type == CFURLGetTypeID()) {
        NSURL* url = (__bridge NSURL*)value;
        return AXURLValue{optionalString(url.absoluteString).value_or("")};
    }
    return AXOtherValue{};
}

} // namespace

AXElement AXAccessibility::systemWide() {
    return wrap(AXUIElementCreateSystemWide());
}

AXElement AXAccessibility::application(std::int32_t pid) {
    if (pid <= 0) return nullptr;
    return wrap(AXUIElementCreateApplication(static_cast<pid_t>(pid)));
}

void AXAccessibility::setMessagingTimeout(const AXElement& element, float seconds) {
    if (AXUIElementRef ref = unwrap(element)) AXUIElementSetMessagingTimeout(ref, seconds);
}

AXElement AXAccessibility::elementAtPosition(const AXElement& systemWide, float x, float y) {
    AXUIElementRef ref = unwrap(systemWide);
    if (ref == nullptr) return nullptr;
    AXUIElementRef found = nullptr;
    if (AXUIElementCopyElementAtPosition(ref, x, y, &found) != kAXErrorSuccess) {
        if (found) CFRelease(found);
        return nullptr;
    }
    return wrap(found);
}

AXValue AXAccessibility::copyAttributeValue(const AXElement& element, std::string_view attribute) {
    AXUIElementRef ref = unwrap(element);
    if (ref == nullptr) return std::monostate{};
    if (attribute == valueSettableAttribute) {
        Boolean settable = false;
        if (AXUIElementIsAttributeSettable(ref, kAXValueAttribute, &settable) != kAXErrorSuccess)
            return std::monostate{};
        return AXNumber{settable ? 1.0 : 0.0, settable ? "1" : "0"};
    }
    @autoreleasepool {
        // A named local keeps the attribute name alive for the whole call.
        NSString* name = toNSString(attribute);
        CFRef<CFTypeRef> value;
        const AXError error =
            AXUIElementCopyAttributeValue(ref, (__bridge CFStringRef)name, value.out());
        if (error != kAXErrorSuccess || !value) return std::monostate{};
        return convert(value.get());
    }
}

AXValue AXAccessibility::copyAttributeValues(const AXElement& element, std::string_view attribute,
                                             std::size_t maxCount) {
    AXUIElementRef ref = unwrap(element);
    if (ref == nullptr) return std::monostate{};
    @autoreleasepool {
        NSString* name = toNSString(attribute);
        CFRef<CFArrayRef> values;
        const AXError error = AXUIElementCopyAttributeValues(
            ref, (__bridge CFStringRef)name, 0, static_cast<CFIndex>(maxCount), values.out());
        if (error != kAXErrorSuccess || !values) return std::monostate{};
        return convert(values.get());
    }
}

bool AXAccessibility::sameElement(const AXElement& a, const AXElement& b) {
    AXUIElementRef first = unwrap(a);
    AXUIElementRef second = unwrap(b);
    return first != nullptr && second != nullptr && CFEqual(first, second);
}

std::optional<std::uint64_t> AXAccessibility::structureChanges(std::int32_t pid) {
    return structureWatch_.changes(pid);
}
