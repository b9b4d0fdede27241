#include "recorder/bounded_accessibility.h"

#include <algorithm>

namespace {

float seconds(std::int64_t milliseconds) {
    return static_cast<float>(milliseconds) / 1000.0f;
}

} // namespace

BoundedAccessibility::BoundedAccessibility(Accessibility& platform, const ProbeDeadline& deadline,
                                           float requestSeconds)
    : platform_(platform), deadline_(deadline), requestSeconds_(requestSeconds) {}

AXElement BoundedAccessibility::systemWide() {
    return platform_.systemWide();
}

AXElement BoundedAccessibility::application(std::int32_t pid) {
    if (deadline_.spent()) return nullptr;
    return platform_.application(pid);
}

void BoundedAccessibility::setMessagingTimeout(const AXElement& element, float requested) {
    platform_.setMessagingTimeout(element, std::min(requested, seconds(deadline_.remainingMs())));
}

AXElement BoundedAccessibility::elementAtPosition(const AXElement& scope, float x, float y) {
    if (!mayAsk(scope)) return nullptr;
    return platform_.elementAtPosition(scope, x, y);
}

AXElement BoundedAccessibility::elementInWindow(const AXElement& application,
                                                std::uint32_t windowNumber, float x, float y) {
    if (!mayAsk(application)) return nullptr;
    return platform_.elementInWindow(application, windowNumber, x, y);
}

AXValue BoundedAccessibility::copyAttributeValue(const AXElement& element,
                                                 std::string_view attribute) {
    if (!mayAsk(element)) return std::monostate{};
    return platform_.copyAttributeValue(element, attribute);
}

AXValue BoundedAccessibility::copyAttributeValues(const AXElement& element,
                                                  std::string_view attribute,
                                                  std::size_t maxCount) {
    if (!mayAsk(element)) return std::monostate{};
    return platform_.copyAttributeValues(element, attribute, maxCount);
}

void BoundedAccessibility::prefetch(std::span<const AXElement> elements,
                                    std::span<const std::string_view> attributes) {
    for (const AXElement& element : elements) {
        if (!mayAsk(element)) return;
    }
    platform_.prefetch(elements, attributes);
}

bool BoundedAccessibility::sameElement(const AXElement& a, const AXElement& b) {
    return platform_.sameElement(a, b);
}

std::optional<std::uint64_t> BoundedAccessibility::structureChanges(std::int32_t pid) {
    return platform_.structureChanges(pid);
}

void BoundedAccessibility::beginMoment() {
    platform_.beginMoment();
}

void BoundedAccessibility::endMoment() {
    platform_.endMoment();
}

bool BoundedAccessibility::mayAsk(const AXElement& element) {
    const std::int64_t left = deadline_.remainingMs();
    if (left == 0) return false;
    if (seconds(left) < requestSeconds_) platform_.setMessagingTimeout(element, seconds(left));
    return true;
}
