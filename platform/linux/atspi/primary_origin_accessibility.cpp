#include "platform/linux/atspi/primary_origin_accessibility.h"

PrimaryOriginAccessibility::PrimaryOriginAccessibility(
    std::unique_ptr<Accessibility> rootCoordinates, std::function<geo::Point()> primaryOrigin)
    : inner_(std::move(rootCoordinates)), primaryOrigin_(std::move(primaryOrigin)) {}

AXElement PrimaryOriginAccessibility::systemWide() {
    return inner_->systemWide();
}

AXElement PrimaryOriginAccessibility::application(std::int32_t pid) {
    return inner_->application(pid);
}

void PrimaryOriginAccessibility::setMessagingTimeout(const AXElement& element, float seconds) {
    inner_->setMessagingTimeout(element, seconds);
}

AXElement PrimaryOriginAccessibility::elementAtPosition(const AXElement& scope, float x, float y) {
    const geo::Point origin = primaryOrigin_();
    return inner_->elementAtPosition(scope, x + static_cast<float>(origin.x),
                                     y + static_cast<float>(origin.y));
}

AXElement PrimaryOriginAccessibility::elementInWindow(const AXElement& application,
                                                      std::uint32_t windowNumber, float x,
                                                      float y) {
    const geo::Point origin = primaryOrigin_();
    return inner_->elementInWindow(application, windowNumber, x + static_cast<float>(origin.x),
                                   y + static_cast<float>(origin.y));
}

AXValue PrimaryOriginAccessibility::copyAttributeValue(const AXElement& element,
                                                       std::string_view attribute) {
    AXValue value = inner_->copyAttributeValue(element, attribute);
    if (attribute == "AXPosition") {
        if (auto* point = std::get_if<geo::Point>(&value)) {
            const geo::Point origin = primaryOrigin_();
            point->x -= origin.x;
            point->y -= origin.y;
        }
    }
    return value;
}

AXValue PrimaryOriginAccessibility::copyAttributeValues(const AXElement& element,
                                                        std::string_view attribute,
                                                        std::size_t maxCount) {
    return inner_->copyAttributeValues(element, attribute, maxCount);
}

void PrimaryOriginAccessibility::prefetch(std::span<const AXElement> elements,
                                          std::span<const std::string_view> attributes) {
    inner_->prefetch(elements, attributes);
}

bool PrimaryOriginAccessibility::sameElement(const AXElement& a, const AXElement& b) {
    return inner_->sameElement(a, b);
}

std::optional<std::uint64_t> PrimaryOriginAccessibility::structureChanges(std::int32_t pid) {
    return inner_->structureChanges(pid);
}

void PrimaryOriginAccessibility::beginMoment() {
    inner_->beginMoment();
}

void PrimaryOriginAccessibility::endMoment() {
    inner_->endMoment();
}

void PrimaryOriginAccessibility::inputAt(std::int64_t inputMs) {
    inner_->inputAt(inputMs);
}

void PrimaryOriginAccessibility::keysTo(std::uint32_t windowNumber) {
    inner_->keysTo(windowNumber);
}
