#include "recorder/web_area_cache.h"

#include <algorithm>
#include <utility>

std::optional<WebAreaCache::Shape> WebAreaCache::shapeOf(Accessibility& ax, std::int32_t pid) {
    const std::optional<std::uint64_t> changes = ax.structureChanges(pid);
    if (!changes) return std::nullopt;
    return Shape{pid, *changes};
}

std::optional<AXElement> WebAreaCache::find(Accessibility& ax, const Shape& shape,
                                            const AXElement& window) {
    const auto entry = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) {
        return e.shape.pid == shape.pid && ax.sameElement(e.window, window);
    });
    if (entry == entries_.end()) return std::nullopt;
    if (entry->shape.changes != shape.changes) {
        entries_.erase(entry);
        return std::nullopt;
    }
    return entry->webArea;
}

void WebAreaCache::remember(Accessibility& ax, const Shape& shape, AXElement window,
                            AXElement webArea) {
    forget(ax, window);
    // Windows of an application whose tree has changed since are stale; so is the oldest.
    std::erase_if(entries_, [&](const Entry& e) {
        return e.shape.pid == shape.pid && e.shape.changes != shape.changes;
    });
    if (entries_.size() >= windowLimit) entries_.erase(entries_.begin());
    entries_.push_back({shape, std::move(window), std::move(webArea)});
}

void WebAreaCache::forget(Accessibility& ax, const AXElement& window) {
    std::erase_if(entries_, [&](const Entry& e) { return ax.sameElement(e.window, window); });
}
