#include "platform/linux/imaging/linux_image.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <thread>
#include <vector>

namespace {

constexpr std::int64_t kBytesPerPixel = 4;
// Far beyond any screen; keeps every size computation inside 64 bits and size_t.
constexpr std::int64_t kMaxSide = 1 << 16;

bool validSize(std::int64_t width, std::int64_t height) {
    return width > 0 && height > 0 && width <= kMaxSide && height <= kMaxSide;
}

struct FreeDeleter {
    void operator()(void* memory) const { std::free(memory); }
};

} // namespace

/// The worker that fills a produced image, and how far it has got.
struct LinuxImage::Production {
    std::mutex mutex;
    std::condition_variable rowsAdded;
    std::int64_t readyRows = 0;
    std::vector<bool> bandDone;     ///< guarded by mutex
    std::int64_t firstOpenBand = 0; ///< guarded by mutex: every band above it is done
    std::atomic<std::int64_t> nextBand{0};
    std::atomic<bool> cancelled{false};
    std::vector<std::thread> workers;
};

LinuxImage::LinuxImage(std::int64_t width, std::int64_t height, std::int64_t stride,
                       LinuxPixelFormat format)
    : width_(width), height_(height), stride_(stride), format_(format) {}

LinuxImage::LinuxImage(std::int64_t width, std::int64_t height, std::int64_t stride,
                       LinuxPixelFormat format, const std::uint8_t* pixels,
                       std::shared_ptr<const void> owner)
    : width_(width), height_(height), stride_(stride), format_(format), pixels_(pixels),
      owner_(std::move(owner)) {}

LinuxImage::~LinuxImage() {
    if (production_) {
        production_->cancelled = true;
        for (std::thread& worker : production_->workers) {
            if (worker.joinable()) worker.join();
        }
    }
}

std::shared_ptr<LinuxImage> LinuxImage::allocate(std::int64_t width, std::int64_t height,
                                                 LinuxPixelFormat format) {
    if (!validSize(width, height)) return nullptr;
    const std::int64_t stride = width * kBytesPerPixel;
    const auto bytes = static_cast<std::size_t>(stride * height);
    // Large blocks come zeroed from the kernel: their pages are touched first by the writer.
    void* memory = std::calloc(bytes, 1);
    if (memory == nullptr) return nullptr;
    std::shared_ptr<void> owner(memory, FreeDeleter{});
    auto image = std::shared_ptr<LinuxImage>(new LinuxImage(width, height, stride, format));
    image->ownPixels_ = static_cast<std::uint8_t*>(memory);
    image->pixels_ = image->ownPixels_;
    image->owner_ = std::move(owner);
    return image;
}

std::shared_ptr<LinuxImage> LinuxImage::copyOf(std::int64_t width, std::int64_t height,
                                               std::int64_t stride, LinuxPixelFormat format,
                                               const std::uint8_t* pixels) {
    if (pixels == nullptr || stride < width * kBytesPerPixel) return nullptr;
    auto image = allocate(width, height, format);
    if (!image) return nullptr;
    const auto rowBytes = static_cast<std::size_t>(width * kBytesPerPixel);
    for (std::int64_t y = 0; y < height; ++y) {
        std::memcpy(image->ownPixels_ + y * image->stride_, pixels + y * stride, rowBytes);
    }
    return image;
}

std::shared_ptr<const LinuxImage> LinuxImage::produced(std::int64_t width, std::int64_t height,
                                                       LinuxPixelFormat format,
                                                       std::int64_t bandRows, BandFiller fill,
                                                       int workers, const Image& drawnFrom) {
    if (!validSize(width, height) || !fill) return nullptr;
    const std::int64_t stride = width * kBytesPerPixel;
    // Not zeroed: the filler writes every row, and fresh pages are first touched by its thread.
    void* memory = std::malloc(static_cast<std::size_t>(stride * height));
    if (memory == nullptr) return nullptr;
    std::shared_ptr<void> owner(memory, FreeDeleter{});
    return producedInto(width, height, stride, format, static_cast<std::uint8_t*>(memory),
                        std::move(owner), bandRows, std::move(fill), workers, drawnFrom);
}

std::shared_ptr<const LinuxImage> LinuxImage::produced(std::int64_t width, std::int64_t height,
                                                       std::int64_t stride, LinuxPixelFormat format,
                                                       std::uint8_t* pixels,
                                                       std::shared_ptr<const void> owner,
                                                       std::int64_t bandRows, BandFiller fill,
                                                       int workers) {
    return producedInto(width, height, stride, format, pixels, std::move(owner), bandRows,
                        std::move(fill), workers, nullptr);
}

std::shared_ptr<const LinuxImage>
LinuxImage::producedInto(std::int64_t width, std::int64_t height, std::int64_t stride,
                         LinuxPixelFormat format, std::uint8_t* pixels,
                         std::shared_ptr<const void> owner, std::int64_t bandRows, BandFiller fill,
                         int workers, const Image& drawnFrom) {
    if (!validSize(width, height) || pixels == nullptr || stride < width * kBytesPerPixel ||
        !fill) {
        return nullptr;
    }
    auto image = std::shared_ptr<LinuxImage>(new LinuxImage(width, height, stride, format));
    image->pixels_ = pixels;
    image->owner_ = std::move(owner);
    image->drawnFrom_ = drawnFrom;
    image->drawn_ = drawnFrom != nullptr;
    image->startProduction(pixels, bandRows, std::move(fill), std::clamp(workers, 1, 8));
    return image;
}

void LinuxImage::startProduction(std::uint8_t* target, std::int64_t bandRows, BandFiller fill,
                                 int workers) {
    production_ = std::make_unique<Production>();
    Production* production = production_.get();
    const std::int64_t band = std::max<std::int64_t>(1, bandRows);
    const std::int64_t height = height_;
    const std::int64_t stride = stride_;
    const std::int64_t bands = (height + band - 1) / band;
    production->bandDone.assign(static_cast<std::size_t>(bands), false);
    // Shared by the workers; the image's memory is only read once shared, and every band
    // is written by exactly one worker before any reader may see it.
    auto shared = std::make_shared<BandFiller>(std::move(fill));
    for (int worker = 0; worker < workers; ++worker) {
        production->workers.emplace_back([=] {
            while (!production->cancelled) {
                const std::int64_t index = production->nextBand.fetch_add(1);
                if (index >= bands) break;
                const std::int64_t first = index * band;
                const std::int64_t end = std::min(height, first + band);
                (*shared)(first, end, target + first * stride, stride, worker);
                {
                    std::lock_guard lock(production->mutex);
                    production->bandDone[static_cast<std::size_t>(index)] = true;
                    while (
                        production->firstOpenBand < bands &&
                        production->bandDone[static_cast<std::size_t>(production->firstOpenBand)]) {
                        ++production->firstOpenBand;
                    }
                    production->readyRows = std::min(height, production->firstOpenBand * band);
                }
                production->rowsAdded.notify_all();
            }
            // Readers never wait past a cancelled production: only the destructor cancels.
        });
    }
}

const LinuxImage* LinuxImage::from(const Image& image) {
    return dynamic_cast<const LinuxImage*>(image.get());
}

void LinuxImage::waitForRows(std::int64_t endRow) const {
    if (!production_) return;
    const std::int64_t target = std::min(endRow, height_);
    std::unique_lock lock(production_->mutex);
    production_->rowsAdded.wait(lock, [&] { return production_->readyRows >= target; });
}

bool LinuxImage::taken() const {
    if (drawn_) {
        const Image source = drawnFrom_.lock();
        return !source || source->taken();
    }
    if (!production_) return true;
    std::lock_guard lock(production_->mutex);
    return production_->readyRows >= height_;
}

void LinuxImage::waitUntilTaken() const {
    if (!drawn_) {
        waitForRows(height_);
    } else if (const Image source = drawnFrom_.lock()) {
        source->waitUntilTaken();
    }
}

const std::uint8_t* LinuxImage::pixels() const {
    waitForRows(height_);
    return pixels_;
}

const std::uint8_t* LinuxImage::row(std::int64_t y) const {
    waitForRows(y + 1);
    return pixels_ + y * stride_;
}

std::uint8_t* LinuxImage::mutablePixels() {
    return production_ ? nullptr : ownPixels_;
}
