// LinuxImage memory, produced images and the graphics port's scaling and encoders.
#include "platform/linux/jpeg_encoding.h"
#include "platform/linux/linux_graphics.h"
#include "platform/linux/linux_image.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>
#include <turbojpeg.h>

namespace {

/// An opaque image of pixels `colour(x, y)` (0xRRGGBB) whose fourth byte, undefined in an X
/// image, is garbage that must be ignored.
template <typename Colour>
std::shared_ptr<LinuxImage> imageOf(std::int64_t width, std::int64_t height, Colour colour) {
    auto image = LinuxImage::allocate(width, height, LinuxPixelFormat::xrgb32);
    for (std::int64_t y = 0; y < height; ++y) {
        for (std::int64_t x = 0; x < width; ++x) {
            const std::uint32_t rgb = colour(x, y);
            std::uint8_t* pixel = image->mutablePixels() + y * image->stride() + x * 4;
            pixel[0] = static_cast<std::uint8_t>(rgb);
            pixel[1] = static_cast<std::uint8_t>(rgb >> 8);
            pixel[2] = static_cast<std::uint8_t>(rgb >> 16);
            pixel[3] = 0x5A;
        }
    }
    return image;
}

std::uint32_t rgbAt(const LinuxImage& image, std::int64_t x, std::int64_t y) {
    const std::uint8_t* pixel = image.row(y) + x * 4;
    return std::uint32_t{pixel[2]} << 16 | std::uint32_t{pixel[1]} << 8 | pixel[0];
}

/// Width, height and RGB pixels of a JPEG; no pixels when it does not decode.
std::tuple<int, int, std::vector<std::uint8_t>> decodeJpeg(const std::vector<std::uint8_t>& jpeg) {
    tjhandle handle = tjInitDecompress();
    int width = 0, height = 0, subsampling = 0, colourspace = 0;
    std::vector<std::uint8_t> rgb;
    if (tjDecompressHeader3(handle, jpeg.data(), jpeg.size(), &width, &height, &subsampling,
                            &colourspace) == 0) {
        rgb.resize(static_cast<std::size_t>(width * height * 3));
        if (tjDecompress2(handle, jpeg.data(), jpeg.size(), rgb.data(), width, 0, height, TJPF_RGB,
                          0) != 0)
            rgb.clear();
    }
    tjDestroy(handle);
    return {width, height, rgb};
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

TEST(LinuxImageTest, ReleasingAProducedImageStopsItsWorker) {
    std::atomic<int> bands = 0;
    std::atomic<bool> release = false;
    auto image =
        LinuxImage::produced(1, 1000, LinuxPixelFormat::xrgb32, 1,
                             [&](std::int64_t, std::int64_t, std::uint8_t*, std::int64_t, int) {
                                 if (++bands == 2) // holds the worker until released
                                     while (!release)
                                         std::this_thread::yield();
                             });
    while (bands < 2)
        std::this_thread::yield();
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        release = true;
    });
    image.reset(); // asks the worker to stop, then joins it after the band in progress
    releaser.join();
    EXPECT_EQ(bands.load(), 2);
}

TEST(LinuxGraphicsTest, DrawScaledKeepsColoursOfOpaquePremultipliedPixelsThroughJpeg) {
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

        const auto [jpegWidth, jpegHeight, rgb] =
            decodeJpeg(graphics.encodeJPEG(scaled, 0.85).value());
        ASSERT_EQ(std::pair(jpegWidth, jpegHeight), std::pair(width, height));
        const std::uint8_t* red = &rgb[(height / 2 * width + width / 8) * 3];
        const std::uint8_t* blue = &rgb[(height / 2 * width + width * 7 / 8) * 3];
        EXPECT_TRUE(red[0] > 249 && red[1] < 6 && red[2] < 6 && blue[0] < 6 && blue[2] > 249);
    }
    EXPECT_EQ(graphics.drawScaled(source, 0, 10), nullptr);
    EXPECT_EQ(graphics.drawScaled(nullptr, 10, 10), nullptr);
}

TEST(LinuxGraphicsTest, JpegMatchesTurboJpegAndForeignImagesAreRefused) {
    // 4:2:0, quality 85, TurboJPEG's default DCT: the encoder the benchmark compares against.
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
    const auto theirs = decodeJpeg({reference, reference + referenceSize});
    tjFree(reference);
    EXPECT_FALSE(std::get<2>(theirs).empty());
    EXPECT_TRUE(decodeJpeg(*ours) == theirs);

    struct Foreign : PlatformImage {
        std::int64_t width() const override { return 4; }
        std::int64_t height() const override { return 4; }
    };
    LinuxGraphics graphics;
    EXPECT_FALSE(graphics.encodeJPEG(std::make_shared<Foreign>(), 0.85).has_value());
    EXPECT_FALSE(graphics.encodePNG(std::make_shared<Foreign>()).has_value());
}

} // namespace
