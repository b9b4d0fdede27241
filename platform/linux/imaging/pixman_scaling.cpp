#include "platform/linux/imaging/pixman_scaling.h"

#include "platform/linux/imaging/linux_image.h"

#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <pixman.h>

namespace pixman_scaling {
namespace {

struct PixmanImageDeleter {
    void operator()(pixman_image_t* image) const { pixman_image_unref(image); }
};
using PixmanImage = std::unique_ptr<pixman_image_t, PixmanImageDeleter>;

pixman_format_code_t pixmanFormat(LinuxPixelFormat format) {
    return format == LinuxPixelFormat::xrgb32 ? PIXMAN_x8r8g8b8 : PIXMAN_a8r8g8b8;
}

/// The source as a pixman image with the output-to-source transform and filter set.
PixmanImage makeSource(const LinuxImage& source, std::int64_t width, std::int64_t height) {
    // pixman never writes to a source image; the cast only meets its C signature. Rows of a
    // source still in production are waited for band by band, before each composite.
    auto* bits = reinterpret_cast<std::uint32_t*>(const_cast<std::uint8_t*>(source.row(0)));
    PixmanImage image(pixman_image_create_bits(
        pixmanFormat(source.format()), static_cast<int>(source.width()),
        static_cast<int>(source.height()), bits, static_cast<int>(source.stride())));
    if (!image) return nullptr;

    const double factorX = static_cast<double>(source.width()) / static_cast<double>(width);
    const double factorY = static_cast<double>(source.height()) / static_cast<double>(height);
    pixman_transform_t transform;
    pixman_transform_init_scale(&transform, pixman_double_to_fixed(factorX),
                                pixman_double_to_fixed(factorY));
    pixman_image_set_transform(image.get(), &transform);
    // Edge pixels repeat outwards, so the border is not blended with transparency.
    pixman_image_set_repeat(image.get(), PIXMAN_REPEAT_PAD);

    if (filterFor(factorX, factorY) == Filter::bilinear) {
        pixman_image_set_filter(image.get(), PIXMAN_FILTER_BILINEAR, nullptr, 0);
        return image;
    }
    int valueCount = 0;
    pixman_fixed_t* values = pixman_filter_create_separable_convolution(
        &valueCount, pixman_double_to_fixed(factorX), pixman_double_to_fixed(factorY),
        PIXMAN_KERNEL_BOX, PIXMAN_KERNEL_BOX, PIXMAN_KERNEL_BOX, PIXMAN_KERNEL_BOX, 1, 1);
    if (values == nullptr) {
        pixman_image_set_filter(image.get(), PIXMAN_FILTER_BILINEAR, nullptr, 0);
        return image;
    }
    pixman_image_set_filter(image.get(), PIXMAN_FILTER_SEPARABLE_CONVOLUTION, values, valueCount);
    free(values);
    return image;
}

} // namespace

Filter filterFor(double factorX, double factorY) {
    return factorX > 2.0 || factorY > 2.0 ? Filter::boxAveraging : Filter::bilinear;
}

Image scaled(const Image& source, std::int64_t width, std::int64_t height) {
    const LinuxImage* linuxSource = LinuxImage::from(source);
    if (linuxSource == nullptr || width <= 0 || height <= 0) return nullptr;

    // The workers keep the source alive and each builds its own pixman image on first use
    // (pixman images are not shared between threads), so the caller returns at once and the
    // source may itself still be in production.
    struct Drawing {
        Image keepAlive;
        const LinuxImage* source;
        std::array<PixmanImage, kWorkers> pixmanSources;
        std::array<bool, kWorkers> failed{};
    };
    auto drawing = std::make_shared<Drawing>(Drawing{source, linuxSource, {}});
    auto fill = [drawing, width, height](std::int64_t firstRow, std::int64_t endRow,
                                         std::uint8_t* firstRowPixels, std::int64_t stride,
                                         int worker) {
        PixmanImage& pixmanSource = drawing->pixmanSources[static_cast<std::size_t>(worker)];
        bool& failed = drawing->failed[static_cast<std::size_t>(worker)];
        const auto bandHeight = static_cast<int>(endRow - firstRow);
        const auto clear = [&] {
            // Transparent black rather than uninitialised memory.
            std::memset(firstRowPixels, 0, static_cast<std::size_t>(stride * bandHeight));
        };
        if (!failed && !pixmanSource) {
            pixmanSource = makeSource(*drawing->source, width, height);
            failed = !pixmanSource;
        }
        PixmanImage band(
            failed ? nullptr
                   : pixman_image_create_bits(PIXMAN_a8r8g8b8, static_cast<int>(width), bandHeight,
                                              reinterpret_cast<std::uint32_t*>(firstRowPixels),
                                              static_cast<int>(stride)));
        if (!band) {
            clear();
            return;
        }
        // The source rows this band samples: up to its bottom edge mapped into the source,
        // plus the filter's reach.
        const double factorY =
            static_cast<double>(drawing->source->height()) / static_cast<double>(height);
        drawing->source->waitForRows(
            static_cast<std::int64_t>(std::ceil(static_cast<double>(endRow + 1) * factorY)) + 2);
        // Source coordinates are output coordinates before the transform: the band's first
        // row is output row `firstRow`.
        pixman_image_composite32(PIXMAN_OP_SRC, pixmanSource.get(), nullptr, band.get(), 0,
                                 static_cast<std::int32_t>(firstRow), 0, 0, 0, 0,
                                 static_cast<std::int32_t>(width), bandHeight);
    };
    return LinuxImage::produced(width, height, LinuxPixelFormat::argb32Premultiplied, kBandRows,
                                std::move(fill), kWorkers, source);
}

} // namespace pixman_scaling
