#include "platform/linux/imaging/linux_graphics.h"

#include "platform/linux/imaging/jpeg_encoding.h"
#include "platform/linux/imaging/linux_image.h"
#include "platform/linux/imaging/pixman_scaling.h"

#include <png.h>

namespace {

/// Straight-alpha RGBA (or RGB when opaque) rows of a LinuxImage, as libpng wants them.
std::vector<std::uint8_t> straightRows(const LinuxImage& image, bool withAlpha) {
    const std::int64_t width = image.width();
    const std::int64_t components = withAlpha ? 4 : 3;
    std::vector<std::uint8_t> out(static_cast<std::size_t>(width * components * image.height()));
    std::uint8_t* target = out.data();
    for (std::int64_t y = 0; y < image.height(); ++y) {
        const std::uint8_t* pixel = image.row(y);
        for (std::int64_t x = 0; x < width; ++x, pixel += 4) {
            const unsigned alpha = withAlpha ? pixel[3] : 255u;
            const auto straighten = [alpha](unsigned premultiplied) -> std::uint8_t {
                if (alpha == 255u) return static_cast<std::uint8_t>(premultiplied);
                if (alpha == 0u) return 0;
                const unsigned value = (premultiplied * 255u + alpha / 2u) / alpha;
                return static_cast<std::uint8_t>(value > 255u ? 255u : value);
            };
            *target++ = straighten(pixel[2]);
            *target++ = straighten(pixel[1]);
            *target++ = straighten(pixel[0]);
            if (withAlpha) *target++ = static_cast<std::uint8_t>(alpha);
        }
    }
    return out;
}

} // namespace

Image LinuxGraphics::drawScaled(const Image& image, std::int64_t width, std::int64_t height) {
    return pixman_scaling::scaled(image, width, height);
}

std::optional<std::vector<std::uint8_t>> LinuxGraphics::encodeJPEG(const Image& image,
                                                                   double quality) {
    const LinuxImage* linuxImage = LinuxImage::from(image);
    if (linuxImage == nullptr) return std::nullopt;
    return jpeg_encoding::encode(*linuxImage, jpeg_encoding::qualityPercent(quality));
}

std::optional<std::vector<std::uint8_t>> LinuxGraphics::encodePNG(const Image& image) {
    const LinuxImage* linuxImage = LinuxImage::from(image);
    if (linuxImage == nullptr || linuxImage->width() > PNG_UINT_31_MAX ||
        linuxImage->height() > PNG_UINT_31_MAX) {
        return std::nullopt;
    }
    const bool withAlpha = !linuxImage->isOpaque();
    const std::vector<std::uint8_t> rows = straightRows(*linuxImage, withAlpha);

    png_image description{};
    description.version = PNG_IMAGE_VERSION;
    description.width = static_cast<png_uint_32>(linuxImage->width());
    description.height = static_cast<png_uint_32>(linuxImage->height());
    description.format = withAlpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;

    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&description, nullptr, &size, 0, rows.data(), 0, nullptr)) {
        png_image_free(&description);
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes(size);
    if (!png_image_write_to_memory(&description, bytes.data(), &size, 0, rows.data(), 0, nullptr)) {
        png_image_free(&description);
        return std::nullopt;
    }
    bytes.resize(size);
    return bytes;
}
