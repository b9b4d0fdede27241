// JPEG encoding through libjpeg-turbo's scanline interface.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

class LinuxImage;

namespace jpeg_encoding {

/// The libjpeg quality (0…100) for a quality fraction (0…1): 0.85 gives 85.
int qualityPercent(double quality);

/// JPEG file bytes (baseline, 4:2:0, alpha ignored) of `image` at `quality` (0…100). Rows are
/// pulled in the image's order, so a produced image is encoded while it is still being drawn.
/// Nothing when libjpeg reports an error.
std::optional<std::vector<std::uint8_t>> encode(const LinuxImage& image, int quality);

} // namespace jpeg_encoding
