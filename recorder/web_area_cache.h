// What the page-address search last found in each recently probed window.
#pragma once

#include "platform/accessibility.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

/// Remembers, per window, the web area the search found (or that there was none), for as long
/// as the application's tree keeps its shape. Only the search is remembered: the address is
/// read from the web area every time.
class WebAreaCache {
public:
    /// The shape of an application's tree at one moment; take it before searching.
    struct Shape {
        std::int32_t pid = 0;
        std::uint64_t changes = 0;
    };

    /// The shape of `pid`'s tree now; absent when the port cannot tell when it changes.
    static std::optional<Shape> shapeOf(Accessibility& ax, std::int32_t pid);

    /// What the search found in `window` while its application kept `shape`: the web area,
    /// or null for none. Absent when unknown.
    std::optional<AXElement> find(Accessibility& ax, const Shape& shape, const AXElement& window);
    /// Keeps a search's outcome (`webArea`, or null) for `window`.
    void remember(Accessibility& ax, const Shape& shape, AXElement window, AXElement webArea);
    /// Drops what is known of `window`.
    void forget(Accessibility& ax, const AXElement& window);

private:
    struct Entry {
        Shape shape;
        AXElement window;
        AXElement webArea;
    };
    /// A person switches among a few windows; older ones are searched again.
    static constexpr std::size_t windowLimit = 8;

    std::vector<Entry> entries_; ///< most recently remembered last
};
