// Image reduction and encoding with pixman, libjpeg-turbo and libpng.
#pragma once

#include "platform/graphics.h"

/// Images are LinuxImages. A reduced image is drawn band by band on a worker thread while
/// its reader (the JPEG encoder, typically) consumes the rows already drawn.
class LinuxGraphics final : public Graphics {
public:
    /// A premultiplied ARGB image (bytes B, G, R, A) drawn with bilinear or box filtering.
    Image drawScaled(const Image& image, std::int64_t width, std::int64_t height) override;
    /// Baseline JPEG, 4:2:0, quality × 100.
    std::optional<std::vector<std::uint8_t>> encodeJPEG(const Image& image,
                                                        double quality) override;
    /// 8-bit RGBA PNG with straight alpha (RGB for opaque images).
    std::optional<std::vector<std::uint8_t>> encodePNG(const Image& image) override;
};
