// Image reduction and encoding.
#pragma once

#include "platform/image.h"

#include <cstdint>
#include <optional>
#include <vector>

class Graphics {
public:
    virtual ~Graphics() = default;
    /// Draws `image` into a width × height, 8-bit, premultiplied RGBA (alpha last) bitmap
    /// with medium-quality interpolation. nullptr when the bitmap or image cannot be made.
    virtual Image drawScaled(const Image& image, std::int64_t width, std::int64_t height) = 0;
    /// JPEG file bytes at `quality` (0…1); nothing when the encoder cannot be created or fails.
    virtual std::optional<std::vector<std::uint8_t>> encodeJPEG(const Image& image,
                                                                double quality) = 0;
    /// PNG file bytes (alpha kept); nothing on failure.
    virtual std::optional<std::vector<std::uint8_t>> encodePNG(const Image& image) = 0;
};
