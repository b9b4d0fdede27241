// The elements the person typed into during the episode. What such an element shows is the
// person's own text, whatever its role: a table cell or list row is named after it.
#pragma once

#include "platform/accessibility.h"

#include <cstddef>
#include <deque>

class TypedElements {
public:
    /// Elements kept; the one typed into longest ago goes first.
    static constexpr std::size_t capacity = 32;

    /// Remembers `element` as typed into when it has the keyboard focus ("AXFocused"): a
    /// typing run's target read elsewhere than at the caret is not taken for it.
    void rememberIfFocused(Accessibility& ax, const AXElement& element);
    bool contains(Accessibility& ax, const AXElement& element) const;

private:
    std::deque<AXElement> elements_;
};
