// The windows in which the page-address search last found no web area.
#pragma once

#include "platform/accessibility.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

/// Remembers, per window, that the search found no web area, for as long as the application's
/// tree keeps its shape. A found web area is not remembered: a browser shows another tab's
/// document without adding or removing any element, so it is searched for every time.
class WebAreaCache {
public:
    /// The shape of an application's tree at one moment; take it before searching.
    struct Shape {
        std::int32_t pid = 0;
        std::uint64_t changes = 0;
    };

    /// The shape of `pid`'s tree now; absent when the port cannot tell when it changes.
    static std::optional<Shape> shapeOf(Accessibility& ax, std::int32_t pid);

    /// Whether the search found no web area in `window` while its application kept `shape`.
    bool holdsNone(Accessibility& ax, const Shape& shape, const AXElement& window);
    /// Keeps that a complete search found no web area in `window`.
    void rememberNone(Accessibility& ax, const Shape& shape, AXElement window);

private:
    struct Entry {
        Shape shape;
        AXElement window;
    };
    /// A person switches among a few windows; older ones are searched again.
    static constexpr std::size_t windowLimit = 8;

    std::vector<Entry> entries_; ///< most recently remembered last
};
