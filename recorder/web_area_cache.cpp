#include "recorder/web_area_cache.h"

#include <algorithm>
#include <utility>

std::optional<WebAreaCache::Shape> WebAreaCache::shapeOf(Accessibility& ax, std::int32_t pid) {
    const std::optional<std::uint64_t> changes = ax.structureChanges(pid);
    if (!changes) return std::nullopt;
    return Shape{pid, *changes};
}

bool WebAreaCache::holdsNone(Accessibility& ax, const Shape& shape, const AXElement& window) {
    // Windows of an application whose tree has changed since are stale.
    std::erase_if(entries_, [&](const Entry& e) {
        return e.shape.pid == shape.pid && e.shape.changes != shape.changes;
    });
    return std::any_of(entries_.begin(), entries_.end(), [&](const Entry& e) {
        return e.shape.pid == shape.pid && ax.sameElement(e.window, window);
    });
}

void WebAreaCache::rememberNone(Accessibility& ax, const Shape& shape, AXElement window) {
    if (holdsNone(ax, shape, window)) return;
    if (entries_.size() >= windowLimit) entries_.erase(entries_.begin());
    entries_.push_back({shape, std::move(window)});
}
