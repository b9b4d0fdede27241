#pragma once

#include "platform/graphics.h"

/// CoreGraphics bitmap contexts for reduction, ImageIO for JPEG and PNG.
class CGGraphics final : public Graphics {
public:
    Image drawScaled(const Image& image, std::int64_t width, std::int64_t height) override;
    std::optional<std::vector<std::uint8_t>> encodeJPEG(const Image& image,
                                                        double quality) override;
    std::optional<std::vector<std::uint8_t>> encodePNG(const Image& image) override;
};
