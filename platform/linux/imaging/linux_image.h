// Pixel buffers: the Linux port's PlatformImage.
#pragma once

#include "platform/image.h"

#include <cstdint>
#include <functional>
#include <memory>

/// Byte layout of one pixel. Both formats are 4 bytes per pixel in memory order
/// B, G, R, A (or B, G, R, unused): the native 32-bit 0xAARRGGBB word of cairo, pixman and X
/// ZPixmaps on little-endian hosts.
enum class LinuxPixelFormat {
    argb32Premultiplied, ///< colour premultiplied by alpha (CAIRO_FORMAT_ARGB32, PIXMAN_a8r8g8b8)
    xrgb32, ///< opaque, fourth byte undefined (CAIRO_FORMAT_RGB24, PIXMAN_x8r8g8b8, X depth 24)
};

/// An immutable image: `height` rows of `stride` bytes, each holding `width` 4-byte pixels.
///
/// Its memory is either its own or borrowed from an owner kept alive with the image (an X
/// shared-memory segment, a cairo surface). A produced image is filled band by band on a worker
/// thread; every reader waits for the rows it touches, so a consumer can start on the first
/// rows while the rest are still being made.
class LinuxImage : public PlatformImage {
public:
    /// Fills rows [firstRow, endRow); `firstRowPixels` points at row `firstRow`. `worker`
    /// (0 … workers − 1) tells which producing thread calls, for per-thread state.
    using BandFiller =
        std::function<void(std::int64_t firstRow, std::int64_t endRow, std::uint8_t* firstRowPixels,
                           std::int64_t stride, int worker)>;

    /// Wraps memory that `owner` keeps alive for as long as the image lives.
    LinuxImage(std::int64_t width, std::int64_t height, std::int64_t stride,
               LinuxPixelFormat format, const std::uint8_t* pixels,
               std::shared_ptr<const void> owner);
    ~LinuxImage() override;
    LinuxImage(const LinuxImage&) = delete;
    LinuxImage& operator=(const LinuxImage&) = delete;

    /// A zero-filled image with its own memory (stride = width × 4), for callers that draw into
    /// it through mutablePixels() before sharing it. nullptr when the size is not positive or
    /// too large.
    static std::shared_ptr<LinuxImage> allocate(std::int64_t width, std::int64_t height,
                                                LinuxPixelFormat format);
    /// A copy of raw pixels rows (`stride` bytes apart) into an image of its own.
    static std::shared_ptr<LinuxImage> copyOf(std::int64_t width, std::int64_t height,
                                              std::int64_t stride, LinuxPixelFormat format,
                                              const std::uint8_t* pixels);
    /// An image whose rows `fill` produces on `workers` threads, `bandRows` rows at a time, the
    /// bands handed out top to bottom (with one worker, strictly in order), into memory of its
    /// own (not zeroed: `fill` must write every row). Readers see rows once every band above
    /// them is done. The workers are stopped after their current band and joined when the
    /// image is released. `drawnFrom` is the image `fill` reads, which it keeps alive until
    /// the last band is done.
    static std::shared_ptr<const LinuxImage> produced(std::int64_t width, std::int64_t height,
                                                      LinuxPixelFormat format,
                                                      std::int64_t bandRows, BandFiller fill,
                                                      int workers = 1,
                                                      const Image& drawnFrom = nullptr);
    /// The same, with `fill` writing into memory that `owner` keeps alive (`stride` bytes
    /// apart from `pixels`).
    static std::shared_ptr<const LinuxImage>
    produced(std::int64_t width, std::int64_t height, std::int64_t stride, LinuxPixelFormat format,
             std::uint8_t* pixels, std::shared_ptr<const void> owner, std::int64_t bandRows,
             BandFiller fill, int workers = 1);
    /// The LinuxImage behind a port image; nullptr when it is not one.
    static const LinuxImage* from(const Image& image);

    std::int64_t width() const override { return width_; }
    std::int64_t height() const override { return height_; }
    std::int64_t stride() const { return stride_; }
    LinuxPixelFormat format() const { return format_; }
    bool isOpaque() const { return format_ == LinuxPixelFormat::xrgb32; }

    /// All pixels, row 0 first; waits until a produced image is complete.
    const std::uint8_t* pixels() const;
    /// Row `y` alone; waits only until that row exists.
    const std::uint8_t* row(std::int64_t y) const;
    /// Waits until rows [0, endRow) exist (no wait for images that are not produced).
    void waitForRows(std::int64_t endRow) const;
    /// A produced image drawn from another is taken when that one is; any other, once complete.
    bool taken() const override;
    void waitUntilTaken() const override;
    /// Writable pixels of an image made by allocate(); nullptr for any other image.
    std::uint8_t* mutablePixels();

private:
    struct Production;

    LinuxImage(std::int64_t width, std::int64_t height, std::int64_t stride,
               LinuxPixelFormat format);
    static std::shared_ptr<const LinuxImage>
    producedInto(std::int64_t width, std::int64_t height, std::int64_t stride,
                 LinuxPixelFormat format, std::uint8_t* pixels, std::shared_ptr<const void> owner,
                 std::int64_t bandRows, BandFiller fill, int workers, const Image& drawnFrom);
    void startProduction(std::uint8_t* target, std::int64_t bandRows, BandFiller fill, int workers);

    std::int64_t width_;
    std::int64_t height_;
    std::int64_t stride_;
    LinuxPixelFormat format_;
    const std::uint8_t* pixels_ = nullptr;
    std::uint8_t* ownPixels_ = nullptr; ///< set when the image owns writable memory
    std::shared_ptr<const void> owner_;
    std::unique_ptr<Production> production_;
    /// The image this one is drawn from; once gone, every row of it was read.
    std::weak_ptr<const PlatformImage> drawnFrom_;
    bool drawn_ = false;
};
