#include "recorder/typed_elements.h"

#include <algorithm>
#include <variant>

void TypedElements::rememberIfFocused(Accessibility& ax, const AXElement& element) {
    if (!element || contains(ax, element)) return;
    const AXValue focused = ax.copyAttributeValue(element, "AXFocused");
    const auto* number = std::get_if<AXNumber>(&focused);
    if (!number || number->value == 0) return;
    if (elements_.size() == capacity) elements_.pop_front();
    elements_.push_back(element);
}

bool TypedElements::contains(Accessibility& ax, const AXElement& element) const {
    return std::any_of(elements_.begin(), elements_.end(),
                       [&](const AXElement& typed) { return ax.sameElement(typed, element); });
}
