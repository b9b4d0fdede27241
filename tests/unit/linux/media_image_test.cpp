// LinuxImage memory, produced images and the graphics port's scaling and encoders.
#include "platform/linux/jpeg_encoding.h"
#include "platform/linux/linux_graphics.h"
#include "platform/linux/linux_image.h"
#include "platform/linux/pixman_scaling.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <png.h>
#include <thread>
#include <turbojpeg.h>

namespace {

/// An opaque image whose left half is one colour and right half another (0xRRGGBB).
std::shared_ptr<LinuxImage> halves(std::int64_t width, std::int64_t height, std::uint32_t left,
                                   std::uint32_t right) {
    auto image = LinuxImage::allocate(width, height, LinuxPixelFormat::xrgb32);
    std::uint8_t* pixels = image->mutablePixels();
    for (std::int64_t y = 0; y < height; ++y) {
        for (std::int64_t x = 0; x < width; ++x) {
            const std::uint32_t colour = x < width / 2 ? left : right;
            std::uint8_t* pixel = pixels + y * image->stride() + x * 4;
            pixel[0] = static_cast<std::uint8_t>(colour);
            pixel[1] = static_cast<std::uint8_t>(colour >> 8);
            pixel[2] = static_cast<std::uint8_t>(colour >> 16);
            pixel[3] = 0x5A; // undefined byte of an X image: must be ignored
        }
    }
    return image;
}

std::uint32_t rgbAt(const LinuxImage& image, std::int64_t x, std::int64_t y) {
    const std::uint8_t* pixel = image.row(y) + x * 4;
    return std::uint32_t{pixel[2]} << 16 | std::uint32_t{pixel[1]} << 8 | pixel[0];
}

struct Decoded {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;
};

Decoded decodeJpeg(const std::vector<std::uint8_t>& bytes) {
    Decoded out;
    tjhandle handle = tjInitDecompress();
    int subsampling = 0, colourspace = 0;
    if (tjDecompressHeader3(handle, bytes.data(), bytes.size(), &out.width, &out.height,
                            &subsampling, &colourspace) == 0) {
        out.rgb.resize(static_cast<std::size_t>(out.width * out.height * 3));
        if (tjDecompress2(handle, bytes.data(), bytes.size(), out.rgb.data(), out.width, 0,
                          out.height, TJPF_RGB, 0) != 0) {
            out.rgb.clear();
        }
    }
    tjDestroy(handle);
    return out;
}

bool near(int a, int b, int tolerance) {
    return std::abs(a - b) <= tolerance;
}

TEST(LinuxImageTest, AllocateRejectsSizesThatAreNotPositiveOrTooLarge) {
    EXPECT_EQ(LinuxImage::allocate(0, 10, LinuxPixelFormat::xrgb32), nullptr);
    EXPECT_EQ(LinuxImage::allocate(10, -1, LinuxPixelFormat::xrgb32), nullptr);
    EXPECT_EQ(LinuxImage::allocate(1 << 20, 1 << 20, LinuxPixelFormat::xrgb32), nullptr);
    auto image = LinuxImage::allocate(3, 2, LinuxPixelFormat::argb32Premultiplied);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->stride(), 12);
    EXPECT_EQ(image->pixels()[0], 0);
}

TEST(LinuxImageTest, CopyOfRepacksRowsAndWrappedMemoryStaysAliveWithTheImage) {
    const std::uint8_t source[2 * 8] = {1, 2, 3, 4, 9, 9, 9, 9, 5, 6, 7, 8, 9, 9, 9, 9};
    auto copy = LinuxImage::copyOf(1, 2, 8, LinuxPixelFormat::xrgb32, source);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->stride(), 4);
    EXPECT_EQ(copy->row(1)[0], 5);
    EXPECT_EQ(LinuxImage::copyOf(3, 1, 8, LinuxPixelFormat::xrgb32, source), nullptr);

    auto memory = std::make_shared<std::vector<std::uint8_t>>(16, 7);
    std::weak_ptr<std::vector<std::uint8_t>> watch = memory;
    {
        LinuxImage wrapped(2, 2, 8, LinuxPixelFormat::xrgb32, memory->data(), memory);
        memory.reset();
        EXPECT_FALSE(watch.expired());
        EXPECT_EQ(wrapped.row(1)[4], 7);
        EXPECT_EQ(const_cast<LinuxImage&>(wrapped).mutablePixels(), nullptr);
    }
    EXPECT_TRUE(watch.expired());
}

TEST(LinuxImageTest, ProducedImageFillsBandsInOrderAndReadersSeeFinishedRows) {
    std::atomic<int> bands = 0;
    auto image = LinuxImage::produced(
        4, 100, LinuxPixelFormat::argb32Premultiplied, 16,
        [&](std::int64_t first, std::int64_t end, std::uint8_t* rows, std::int64_t stride, int) {
            EXPECT_EQ(first, 16 * bands.load());
            for (std::int64_t y = first; y < end; ++y) {
                rows[(y - first) * stride] = static_cast<std::uint8_t>(y);
            }
            ++bands;
        });
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->row(40)[0], 40);
    EXPECT_EQ(image->pixels()[99 * image->stride()], 99);
    EXPECT_EQ(bands.load(), 7);
}

TEST(LinuxImageTest, RowsOfSeveralWorkersAppearOnlyOnceEveryBandAboveIsDone) {
    constexpr std::int64_t kBands = 12;
    std::atomic<int> othersDone = 0;
    std::atomic<bool> firstWritten = false;
    auto image = LinuxImage::produced(
        2, kBands * 8, LinuxPixelFormat::xrgb32, 8,
        [&](std::int64_t first, std::int64_t end, std::uint8_t* rows, std::int64_t stride, int) {
            // The first band is held back until every other band is finished.
            if (first == 0) {
                while (othersDone < kBands - 1)
                    std::this_thread::yield();
            }
            for (std::int64_t y = first; y < end; ++y) {
                rows[(y - first) * stride] = static_cast<std::uint8_t>(y + 1);
            }
            if (first == 0) {
                firstWritten = true;
            } else {
                ++othersDone;
            }
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
                                 // The second band holds the worker until released.
                                 if (++bands == 2) {
                                     while (!release)
                                         std::this_thread::yield();
                                 }
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

TEST(PixmanScalingTest, FilterFollowsTheReductionFactor) {
    EXPECT_EQ(pixman_scaling::filterFor(2880.0 / 2048.0, 1800.0 / 1280.0),
              pixman_scaling::Filter::bilinear);
    EXPECT_EQ(pixman_scaling::filterFor(0.5, 0.5), pixman_scaling::Filter::bilinear);
    EXPECT_EQ(pixman_scaling::filterFor(5120.0 / 2048.0, 1.0),
              pixman_scaling::Filter::boxAveraging);
}

TEST(LinuxGraphicsTest, DrawScaledKeepsColoursOfOpaquePremultipliedPixelsThroughJpeg) {
    LinuxGraphics graphics;
    Image source = halves(2880, 1800, 0xFF0000, 0x0000FF);
    for (auto [width, height] : {std::pair{2048, 1280}, std::pair{600, 300}}) {
        Image scaled = graphics.drawScaled(source, width, height);
        const LinuxImage* image = LinuxImage::from(scaled);
        ASSERT_NE(image, nullptr);
        ASSERT_EQ(image->width(), width);
        ASSERT_EQ(image->height(), height);
        EXPECT_EQ(image->format(), LinuxPixelFormat::argb32Premultiplied);
        EXPECT_EQ(rgbAt(*image, 0, 0), 0xFF0000u);
        EXPECT_EQ(rgbAt(*image, width / 4, height - 1), 0xFF0000u);
        EXPECT_EQ(rgbAt(*image, width - 1, height / 2), 0x0000FFu);
        EXPECT_EQ(image->row(height - 1)[(width - 1) * 4 + 3], 255); // opaque, even at the edge

        const Decoded jpeg = decodeJpeg(graphics.encodeJPEG(scaled, 0.85).value());
        ASSERT_EQ(jpeg.width, width);
        ASSERT_EQ(jpeg.height, height);
        const std::uint8_t* red = &jpeg.rgb[(height / 2 * width + width / 8) * 3];
        const std::uint8_t* blue = &jpeg.rgb[(height / 2 * width + width * 7 / 8) * 3];
        EXPECT_TRUE(near(red[0], 255, 6) && near(red[1], 0, 6) && near(red[2], 0, 6));
        EXPECT_TRUE(near(blue[0], 0, 6) && near(blue[1], 0, 6) && near(blue[2], 255, 6));
    }
    EXPECT_EQ(graphics.drawScaled(source, 0, 10), nullptr);
    EXPECT_EQ(graphics.drawScaled(nullptr, 10, 10), nullptr);
}

TEST(LinuxGraphicsTest, JpegMatchesTurboJpegWithTheSameSettingsPixelForPixel) {
    // 4:2:0, quality 85, TurboJPEG's default DCT: the encoder the benchmark compares against.
    constexpr std::int64_t kWidth = 333, kHeight = 221;
    auto image = LinuxImage::allocate(kWidth, kHeight, LinuxPixelFormat::xrgb32);
    std::uint32_t state = 7;
    for (std::int64_t y = 0; y < kHeight; ++y) {
        for (std::int64_t x = 0; x < kWidth; ++x) {
            state = state * 1103515245u + 12345u;
            std::uint8_t* pixel = image->mutablePixels() + y * image->stride() + x * 4;
            pixel[0] = static_cast<std::uint8_t>(x * 255 / kWidth);
            pixel[1] = static_cast<std::uint8_t>(y * 255 / kHeight);
            pixel[2] = static_cast<std::uint8_t>(state >> 24);
        }
    }
    const auto ours = jpeg_encoding::encode(*image, 85);
    ASSERT_TRUE(ours.has_value());
    tjhandle compressor = tjInitCompress();
    unsigned char* reference = nullptr;
    unsigned long referenceSize = 0;
    ASSERT_EQ(tjCompress2(compressor, image->pixels(), kWidth, static_cast<int>(image->stride()),
                          kHeight, TJPF_BGRX, &reference, &referenceSize, TJSAMP_420, 85, 0),
              0);
    tjDestroy(compressor);
    const std::vector<std::uint8_t> theirs(reference, reference + referenceSize);
    tjFree(reference);
    const Decoded a = decodeJpeg(*ours);
    const Decoded b = decodeJpeg(theirs);
    ASSERT_EQ(a.width, kWidth);
    ASSERT_FALSE(a.rgb.empty());
    EXPECT_TRUE(a.rgb == b.rgb);
}

TEST(LinuxGraphicsTest, JpegQualityShapesTheFileAndForeignImagesAreRefused) {
    EXPECT_EQ(jpeg_encoding::qualityPercent(0.85), 85);
    EXPECT_EQ(jpeg_encoding::qualityPercent(1.7), 100);
    EXPECT_EQ(jpeg_encoding::qualityPercent(-1), 0);

    // Noise makes the quality visible in the file size.
    auto noise = LinuxImage::allocate(256, 256, LinuxPixelFormat::xrgb32);
    std::uint32_t state = 12345;
    for (std::int64_t k = 0; k < 256 * 256 * 4; ++k) {
        state = state * 1103515245u + 12345u;
        noise->mutablePixels()[k] = static_cast<std::uint8_t>(state >> 24);
    }
    LinuxGraphics graphics;
    auto low = graphics.encodeJPEG(noise, 0.2);
    auto high = graphics.encodeJPEG(noise, 0.95);
    ASSERT_TRUE(low && high);
    EXPECT_LT(low->size() * 2, high->size());

    struct Foreign : PlatformImage {
        std::int64_t width() const override { return 4; }
        std::int64_t height() const override { return 4; }
    };
    EXPECT_FALSE(graphics.encodeJPEG(std::make_shared<Foreign>(), 0.85).has_value());
    EXPECT_FALSE(graphics.encodePNG(std::make_shared<Foreign>()).has_value());
}

TEST(LinuxGraphicsTest, PngKeepsAlphaAndUnpremultipliesColour) {
    auto image = LinuxImage::allocate(2, 1, LinuxPixelFormat::argb32Premultiplied);
    std::uint8_t* pixels = image->mutablePixels();
    // Half-transparent pure red (premultiplied 0x80 of 0xFF), then fully transparent.
    pixels[0] = 0;
    pixels[1] = 0;
    pixels[2] = 0x80;
    pixels[3] = 0x80;
    LinuxGraphics graphics;
    auto png = graphics.encodePNG(image);
    ASSERT_TRUE(png.has_value());

    png_image decoded{};
    decoded.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_memory(&decoded, png->data(), png->size()));
    EXPECT_EQ(decoded.width, 2u);
    EXPECT_NE(decoded.format & PNG_FORMAT_FLAG_ALPHA, 0u);
    decoded.format = PNG_FORMAT_RGBA;
    std::vector<std::uint8_t> rgba(PNG_IMAGE_SIZE(decoded));
    ASSERT_TRUE(png_image_finish_read(&decoded, nullptr, rgba.data(), 0, nullptr));
    EXPECT_EQ(rgba[0], 255);
    EXPECT_EQ(rgba[1], 0);
    EXPECT_EQ(rgba[3], 0x80);
    EXPECT_EQ(rgba[7], 0);

    auto opaque = graphics.encodePNG(halves(4, 4, 0x102030, 0x405060));
    ASSERT_TRUE(opaque.has_value());
    png_image header{};
    header.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_memory(&header, opaque->data(), opaque->size()));
    EXPECT_EQ(header.format & PNG_FORMAT_FLAG_ALPHA, 0u);
    png_image_free(&header);
}

} // namespace
