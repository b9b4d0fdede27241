#include "recorder/screen_shooter.h"

#include "recorder/capture_stream.h"
#include "recorder/user_messages.h"

#include <algorithm>
#include <system_error>

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

ScreenShooter::Pending ScreenShooter::begin(std::int64_t seq, const std::string& episodeId,
                                            geo::Point cursorNorm, const std::string& kind) {
    if (!CaptureStream::permitted()) return {};
    // The worker gets its own copies: nothing it reads is shared with the caller.
    auto pixelsTaken = std::make_shared<std::promise<void>>();
    std::future<void> pixels = pixelsTaken->get_future();
    std::future<std::optional<std::string>> work;
    try {
        work = std::async(
            std::launch::async,
            [this, seq, episodeId, cursorNorm, kind, pixelsTaken]() -> std::optional<std::string> {
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
                    return captureAndSend(seq, episodeId, cursorNorm, kind, *pixelsTaken);
                } catch (...) {
                    // Out of memory or a faulty port: the shot is lost, the
                    // recording goes on.
                    sendLoss(episodeId);
                    UserMessages::print(captureFailedMessage);
                    return std::nullopt;
                }
            });
    } catch (const std::system_error&) {
        // No worker thread could be started: the screenshot is lost like a failed capture.
        sendLoss(episodeId);
        return {};
    }
    pixels.wait();
    return Pending(std::move(work));
}

std::optional<std::string> ScreenShooter::Pending::finish() {
    if (!work_.valid()) return std::nullopt;
    return work_.get();
}

ScreenShooter::Shot ScreenShooter::capture(std::int64_t seq, const std::string& episodeId,
                                           const std::optional<std::vector<double>>& targetFrame,
                                           bool ocr, geo::Point cursorNorm,
                                           const std::string& kind) {
    (void)targetFrame;
    (void)ocr;
    Shot shot;
    shot.full = begin(seq, episodeId, cursorNorm, kind).finish();
    return shot;
}

std::optional<std::string>
ScreenShooter::captureAndSend(std::int64_t seq, const std::string& episodeId, geo::Point cursorNorm,
                              const std::string& kind, std::promise<void>& pixelsTaken) {
    auto content = screenCapture_.shareableContent();
    if (!content) {
        sendLoss(episodeId);
        UserMessages::print(captureFailedMessage);
        return std::nullopt;
    }
    if (content.value().displays.empty()) {
        sendLoss(episodeId);
        return std::nullopt;
    }
    const ShareableDisplay display = content.value().displays.front();
    CaptureConfiguration configuration;
    configuration.width = display.width;
    configuration.height = display.height;
    configuration.showsCursor = true;
    auto captured = screenCapture_.captureDisplay(display, configuration);
    pixelsTaken.set_value();
    if (!captured || !captured.value()) {
        sendLoss(episodeId);
        UserMessages::print(captureFailedMessage);
        return std::nullopt;
    }

    const Image reduced = downscale(captured.value(), maxEdge);
    const auto jpeg = graphics_.encodeJPEG(reduced, jpegQuality);
    if (!jpeg) {
        sendLoss(episodeId);
        return std::nullopt;
    }

    json::ObjectBuilder header;
    header.add("type", "frame")
        .add("sessionId", episodeId)
        .add("seq", seq)
        .add("kind", kind)
        .add("width", reduced->width())
        .add("height", reduced->height())
        .add("cursor", json::Array{cursorNorm.x, cursorNorm.y})
        .add("targetBounds", json::Null{});
    if (!CaptureStream::send(std::move(header).value(), *jpeg)) {
        // Nothing reached the parent, so no record may name this frame.
        sendLoss(episodeId);
        return std::nullopt;
    }
    return frameName(seq);
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
