#include "recorder/screen_shooter.h"

#include "recorder/capture_stream.h"
#include "recorder/user_messages.h"

#include <algorithm>
#include <system_error>
#include <utility>

namespace {

constexpr std::string_view captureFailedMessage = "スクリーンショット取得に失敗しました\n";

void sendLoss(const std::string& episodeId) {
    json::ObjectBuilder header;
    header.add("type", "loss").add("sessionId", episodeId);
    CaptureStream::send(std::move(header).value());
}

} // namespace

ScreenShooter::ScreenShooter(ScreenCapture& screenCapture, Graphics& graphics)
    : screenCapture_(screenCapture), graphics_(graphics) {}

ScreenShooter& ScreenShooter::shared(ScreenCapture& screenCapture, Graphics& graphics) {
    static auto* instance = new ScreenShooter(screenCapture, graphics);
    return *instance;
}

std::string ScreenShooter::frameName(std::int64_t seq) {
    return "frames/" + std::to_string(seq) + "-full.jpg";
}

ScreenShooter::Pending ScreenShooter::begin(const std::string& episodeId, geo::Point cursorNorm,
                                            const std::string& kind) {
    if (!CaptureStream::permitted()) return {};
    // The worker gets its own copies: nothing it reads is shared with the caller.
    auto pixelsTaken = std::make_shared<std::promise<void>>();
    std::future<void> pixels = pixelsTaken->get_future();
    std::promise<std::optional<std::int64_t>> seqPromise;
    std::future<std::optional<std::int64_t>> seqFuture = seqPromise.get_future();
    std::future<std::optional<std::string>> work;
    try {
        work =
            std::async(std::launch::async,
                       [this, episodeId, cursorNorm, kind, pixelsTaken,
                        seqFuture = std::move(seqFuture)]() mutable -> std::optional<std::string> {
                           std::optional<std::vector<std::uint8_t>> jpeg;
                           std::int64_t width = 0;
                           std::int64_t height = 0;
                           {
                               // However the worker ends, the caller stops waiting for pixels.
                               struct Release {
                                   std::promise<void>& promise;
                                   ~Release() {
                                       try {
                                           promise.set_value();
                                       } catch (const std::future_error&) {
                                           // already released once the pixels were taken
                                       }
                                   }
                               } release{*pixelsTaken};
                               try {
                                   jpeg = captureAndEncode(*pixelsTaken, width, height);
                               } catch (...) {
                                   // Out of memory or a faulty port: the shot is lost, the
                                   // recording goes on.
                                   UserMessages::print(captureFailedMessage);
                               }
                           }
                           const std::optional<std::int64_t> seq = seqFuture.get();
                           if (!seq) return std::nullopt;
                           if (!jpeg) {
                               sendLoss(episodeId);
                               return std::nullopt;
                           }
                           json::ObjectBuilder header;
                           header.add("type", "frame")
                               .add("sessionId", episodeId)
                               .add("seq", *seq)
                               .add("kind", kind)
                               .add("width", width)
                               .add("height", height)
                               .add("cursor", json::Array{cursorNorm.x, cursorNorm.y})
                               .add("targetBounds", json::Null{});
                           if (!CaptureStream::send(std::move(header).value(), *jpeg)) {
                               // Nothing reached the parent, so no record may name this frame.
                               sendLoss(episodeId);
                               return std::nullopt;
                           }
                           return frameName(*seq);
                       });
    } catch (const std::system_error&) {
        // No worker thread could be started: the screenshot is lost like a failed capture.
        sendLoss(episodeId);
        return {};
    }
    return Pending(std::move(pixels), std::move(work), std::move(seqPromise));
}

ScreenShooter::Pending::Pending(std::future<void> pixels,
                                std::future<std::optional<std::string>> work,
                                std::promise<std::optional<std::int64_t>> seq)
    : pixels_(std::move(pixels)), work_(std::move(work)), seq_(std::move(seq)),
      open_(work_.valid()) {}

ScreenShooter::Pending::Pending(Pending&& other) noexcept
    : pixels_(std::move(other.pixels_)), work_(std::move(other.work_)), seq_(std::move(other.seq_)),
      open_(std::exchange(other.open_, false)) {}

ScreenShooter::Pending& ScreenShooter::Pending::operator=(Pending&& other) noexcept {
    if (this != &other) {
        settle(std::nullopt);
        pixels_ = std::move(other.pixels_);
        work_ = std::move(other.work_);
        seq_ = std::move(other.seq_);
        open_ = std::exchange(other.open_, false);
    }
    return *this;
}

ScreenShooter::Pending::~Pending() {
    settle(std::nullopt);
}

void ScreenShooter::Pending::settle(std::optional<std::int64_t> seq) {
    if (!open_) return;
    open_ = false;
    seq_.set_value(seq);
}

void ScreenShooter::Pending::awaitPixels() {
    if (pixels_.valid()) pixels_.get();
}

std::optional<std::string> ScreenShooter::Pending::finish(std::int64_t seq) {
    if (!work_.valid()) return std::nullopt;
    settle(seq);
    return work_.get();
}

ScreenShooter::Shot ScreenShooter::capture(std::int64_t seq, const std::string& episodeId,
                                           const std::optional<std::vector<double>>& targetFrame,
                                           bool ocr, geo::Point cursorNorm,
                                           const std::string& kind) {
    (void)targetFrame;
    (void)ocr;
    Shot shot;
    shot.full = begin(episodeId, cursorNorm, kind).finish(seq);
    return shot;
}

std::optional<std::vector<std::uint8_t>>
ScreenShooter::captureAndEncode(std::promise<void>& pixelsTaken, std::int64_t& width,
                                std::int64_t& height) {
    auto content = screenCapture_.shareableContent();
    if (!content) {
        UserMessages::print(captureFailedMessage);
        return std::nullopt;
    }
    if (content.value().displays.empty()) return std::nullopt;
    const ShareableDisplay display = content.value().displays.front();
    CaptureConfiguration configuration;
    configuration.width = display.width;
    configuration.height = display.height;
    configuration.showsCursor = true;
    auto captured = screenCapture_.captureDisplay(display, configuration);
    if (!captured || !captured.value()) {
        pixelsTaken.set_value();
        UserMessages::print(captureFailedMessage);
        return std::nullopt;
    }
    // A capture whose rows are still coming in is scaled as they arrive; its pixels count as
    // taken once the last is in.
    const Image& image = captured.value();
    Image reduced = image->taken() ? nullptr : downscale(image, maxEdge);
    image->waitUntilTaken();
    pixelsTaken.set_value();
    if (!reduced) reduced = downscale(image, maxEdge);
    auto jpeg = graphics_.encodeJPEG(reduced, jpegQuality);
    if (!jpeg) return std::nullopt;
    width = reduced->width();
    height = reduced->height();
    return std::move(*jpeg);
}

Image ScreenShooter::downscale(const Image& image, std::int64_t maxEdgePixels) {
    if (!image) return image;
    const std::int64_t width = image->width();
    const std::int64_t height = image->height();
    const std::int64_t longest = std::max(width, height);
    if (longest <= maxEdgePixels) return image;
    const double factor = static_cast<double>(maxEdgePixels) / static_cast<double>(longest);
    const auto scaledWidth = static_cast<std::int64_t>(factor * static_cast<double>(width));
    const auto scaledHeight = static_cast<std::int64_t>(factor * static_cast<double>(height));
    Image reduced = graphics_.drawScaled(image, scaledWidth, scaledHeight);
    return reduced ? reduced : image;
}
