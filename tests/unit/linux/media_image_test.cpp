// LinuxImage memory, produced images and the graphics port's scaling and encoders.
#include "platform/linux/imaging/jpeg_encoding.h"
#include "platform/linux/imaging/linux_graphics.h"
#include "platform/linux/imaging/linux_image.h"
#include "tests/fakes/fake_graphics.h"

#include <atomic>
#include <cstring>
#include <gtest/gtest.h>
#include <thread>
#include <turbojpeg.h>

namespace {

/// An opaque image of pixels `colour(x, y)` (0xRRGGBB) whose fourth byte, undefined in an X
/// image, is garbage that must be ignored.
template <typename Colour>
std::shared_ptr<LinuxImage> imageOf(std::int64_t width, std::int64_t height, Colour colour) {
    auto image = LinuxImage::allocate(width, height, LinuxPixelFormat::xrgb32);
    for (std::int64_t y = 0; y < height; ++y)
        for (std::int64_t x = 0; x < width; ++x) {
            const std::uint32_t word = 0x5A000000u | colour(x, y); // a native x8r8g8b8 word
            std::memcpy(image->mutablePixels() + y * image->stride() + x * 4, &word, 4);
        }
    return image;
}

std::uint32_t rgbAt(const LinuxImage& image, std::int64_t x, std::int64_t y) {
    const std::uint8_t* pixel = image.row(y) + x * 4;
    return std::uint32_t{pixel[2]} << 16 | std::uint32_t{pixel[1]} << 8 | pixel[0];
}

TEST(LinuxImageTest, SizesAreCheckedAndRowsRepacked) {
    EXPECT_EQ(LinuxImage::allocate(0, 10, LinuxPixelFormat::xrgb32), nullptr);
    EXPECT_EQ(LinuxImage::allocate(1 << 20, 1 << 20, LinuxPixelFormat::xrgb32), nullptr);
    const std::uint8_t source[2 * 8] = {1, 2, 3, 4, 9, 9, 9, 9, 5, 6, 7, 8, 9, 9, 9, 9};
    auto copy = LinuxImage::copyOf(1, 2, 8, LinuxPixelFormat::xrgb32, source);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->row(1)[0], 5);
    EXPECT_EQ(LinuxImage::copyOf(3, 1, 8, LinuxPixelFormat::xrgb32, source), nullptr);
}

TEST(LinuxImageTest, RowsOfSeveralWorkersAppearOnlyOnceEveryBandAboveIsDone) {
    constexpr std::int64_t kBands = 12;
    std::atomic<int> othersDone = 0;
    std::atomic<bool> firstWritten = false;
    auto image = LinuxImage::produced(
        2, kBands * 8, LinuxPixelFormat::xrgb32, 8,
        [&](std::int64_t first, std::int64_t end, std::uint8_t* rows, std::int64_t stride, int) {
            // The first band is held back until every other band is finished.
            if (first == 0)
                while (othersDone < kBands - 1)
                    std::this_thread::yield();
            for (std::int64_t y = first; y < end; ++y)
                rows[(y - first) * stride] = static_cast<std::uint8_t>(y + 1);
            first == 0 ? firstWritten = true : ++othersDone;
        },
        3);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->row(kBands * 8 - 1)[0], kBands * 8); // the last row waits for the first band
    EXPECT_TRUE(firstWritten.load());
    for (std::int64_t y = 0; y < kBands * 8; ++y)
        ASSERT_EQ(image->row(y)[0], y + 1);
}

TEST(LinuxGraphicsTest, DrawScaledKeepsColoursOfOpaquePremultipliedPixels) {
    LinuxGraphics graphics;
    Image source = imageOf(2880, 1800, [](auto x, auto) { return x < 1440 ? 0xFF0000 : 0xFF; });
    // Bilinear below a reduction of two, box averaging above.
    for (auto [width, height] : {std::pair{2048, 1280}, std::pair{600, 300}}) {
        Image scaled = graphics.drawScaled(source, width, height);
        const LinuxImage* image = LinuxImage::from(scaled);
        ASSERT_NE(image, nullptr);
        ASSERT_EQ(image->width(), width);
        EXPECT_EQ(image->format(), LinuxPixelFormat::argb32Premultiplied);
        EXPECT_EQ(rgbAt(*image, width / 4, height - 1), 0xFF0000u);
        EXPECT_EQ(rgbAt(*image, width - 1, height / 2), 0x0000FFu);
        EXPECT_EQ(image->row(height - 1)[(width - 1) * 4 + 3], 255); // opaque, even at the edge
    }
    EXPECT_EQ(graphics.drawScaled(source, 0, 10), nullptr);
    EXPECT_EQ(graphics.drawScaled(nullptr, 10, 10), nullptr);
}

TEST(LinuxGraphicsTest, JpegMatchesTurboJpegAndForeignImagesAreRefused) {
    // 4:2:0, quality 85, TurboJPEG's default DCT, byte for byte: what the benchmark compares.
    std::uint32_t state = 7;
    auto image = imageOf(333, 221, [&](auto x, auto y) {
        state = state * 1103515245u + 12345u;
        return std::uint32_t(state >> 24 << 16 | y * 255 / 221 << 8 | x * 255 / 333);
    });
    const auto ours = jpeg_encoding::encode(*image, 85);
    ASSERT_TRUE(ours.has_value());
    tjhandle compressor = tjInitCompress();
    unsigned char* reference = nullptr;
    unsigned long referenceSize = 0;
    ASSERT_EQ(tjCompress2(compressor, image->pixels(), 333, static_cast<int>(image->stride()), 221,
                          TJPF_BGRX, &reference, &referenceSize, TJSAMP_420, 85, 0),
              0);
    tjDestroy(compressor);
    EXPECT_EQ(*ours, std::vector<std::uint8_t>(reference, reference + referenceSize));
    tjFree(reference);

    LinuxGraphics graphics;
    EXPECT_FALSE(graphics.encodeJPEG(FakeImage::make(4, 4), 0.85).has_value());
    EXPECT_FALSE(graphics.encodePNG(FakeImage::make(4, 4)).has_value());
}

} // namespace
