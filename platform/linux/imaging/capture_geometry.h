// Pure geometry and pixel steps of screen capture, kept apart from X so they can be tested.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace capture_geometry {

struct PixelRect {
    std::int64_t x = 0;
    std::int64_t y = 0;
    std::int64_t width = 0;
    std::int64_t height = 0;

    bool empty() const { return width <= 0 || height <= 0; }
    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

/// The part of `rect` inside `bounds`; empty when they do not overlap.
inline PixelRect intersect(const PixelRect& rect, const PixelRect& bounds) {
    const std::int64_t left = std::max(rect.x, bounds.x);
    const std::int64_t top = std::max(rect.y, bounds.y);
    const std::int64_t right = std::min(rect.x + rect.width, bounds.x + bounds.width);
    const std::int64_t bottom = std::min(rect.y + rect.height, bounds.y + bounds.height);
    if (right <= left || bottom <= top) return {left, top, 0, 0};
    return {left, top, right - left, bottom - top};
}

/// A set of pixels as disjoint rectangles.
using PixelRegion = std::vector<PixelRect>;

/// `region` without the pixels of `hole`: each rectangle the hole cuts leaves at most four
/// pieces (the bands above and below it, and the parts left and right of it).
inline PixelRegion subtract(const PixelRegion& region, const PixelRect& hole) {
    PixelRegion rest;
    for (const PixelRect& rect : region) {
        const PixelRect cut = intersect(rect, hole);
        if (cut.empty()) {
            rest.push_back(rect);
            continue;
        }
        const std::int64_t right = rect.x + rect.width;
        const std::int64_t bottom = rect.y + rect.height;
        const std::int64_t cutBottom = cut.y + cut.height;
        const PixelRect pieces[] = {
            {rect.x, rect.y, rect.width, cut.y - rect.y},
            {rect.x, cutBottom, rect.width, bottom - cutBottom},
            {rect.x, cut.y, cut.x - rect.x, cut.height},
            {cut.x + cut.width, cut.y, right - (cut.x + cut.width), cut.height},
        };
        for (const PixelRect& piece : pieces) {
            if (!piece.empty()) rest.push_back(piece);
        }
    }
    return rest;
}

struct PixelSize {
    std::int64_t width = 0;
    std::int64_t height = 0;
    friend bool operator==(const PixelSize&, const PixelSize&) = default;
};

/// Output size of a capture of `visible` pixels out of a `whole` source that was asked to come
/// out at `requested`: the visible part keeps the requested scale (truncated), so a monitor
/// that reaches past the root window is not stretched. A requested size that is not positive
/// means the source's own size.
inline PixelSize outputSize(const PixelSize& visible, const PixelSize& whole,
                            const PixelSize& requested) {
    if (requested.width <= 0 || requested.height <= 0 || whole.width <= 0 || whole.height <= 0) {
        return visible;
    }
    if (visible == whole) return requested;
    const double scaleX = static_cast<double>(requested.width) / static_cast<double>(whole.width);
    const double scaleY = static_cast<double>(requested.height) / static_cast<double>(whole.height);
    return {std::max<std::int64_t>(1, static_cast<std::int64_t>(
                                          std::trunc(static_cast<double>(visible.width) * scaleX))),
            std::max<std::int64_t>(1, static_cast<std::int64_t>(std::trunc(
                                          static_cast<double>(visible.height) * scaleY)))};
}

/// Draws a cursor image (premultiplied 0xAARRGGBB words, `cursorWidth` per row) with its
/// top-left at (`left`, `top`) over 4-byte B, G, R, x pixels with the "over" operator;
/// the parts outside the target are skipped.
inline void compositeCursor(std::uint8_t* pixels, std::int64_t stride, std::int64_t width,
                            std::int64_t height, const std::uint32_t* cursor,
                            std::int64_t cursorWidth, std::int64_t cursorHeight, std::int64_t left,
                            std::int64_t top) {
    for (std::int64_t cy = std::max<std::int64_t>(0, -top); cy < cursorHeight && top + cy < height;
         ++cy) {
        std::uint8_t* row = pixels + (top + cy) * stride;
        for (std::int64_t cx = std::max<std::int64_t>(0, -left);
             cx < cursorWidth && left + cx < width; ++cx) {
            const std::uint32_t argb = cursor[cy * cursorWidth + cx];
            const std::uint32_t alpha = argb >> 24;
            if (alpha == 0) continue;
            std::uint8_t* pixel = row + (left + cx) * 4;
            for (int channel = 0; channel < 3; ++channel) {
                const std::uint32_t source = (argb >> (8 * channel)) & 0xFFu;
                const std::uint32_t blended =
                    source + (pixel[channel] * (255u - alpha) + 127u) / 255u;
                pixel[channel] = static_cast<std::uint8_t>(std::min<std::uint32_t>(255u, blended));
            }
        }
    }
}

} // namespace capture_geometry
