// Full-screen screenshots sent to the parent as "frame" frames. The capture runs on a worker
// thread while the caller waits; the worker touches only the capture and graphics ports and
// the capture stream, never the main thread.
#pragma once

#include "platform/geometry.h"
#include "platform/graphics.h"
#include "platform/image.h"
#include "platform/screen_capture.h"

#include <cstdint>
#include <future>
#include <optional>
#include <string>
#include <vector>

class ScreenShooter {
public:
    /// Only `full` is ever filled: "frames/<seq>-full.jpg" once the frame has been sent.
    struct Shot {
        std::optional<std::string> full;
        std::optional<std::string> crop;
        std::optional<std::vector<std::string>> text;
        std::optional<std::string> targetText;
    };

    static constexpr std::int64_t maxEdge = 2048;
    static constexpr double jpegQuality = 0.85;

    ScreenShooter(ScreenCapture& screenCapture, Graphics& graphics);
    ScreenShooter(const ScreenShooter&) = delete;
    ScreenShooter& operator=(const ScreenShooter&) = delete;

    /// The process's shooter, created from the ports on first use.
    static ScreenShooter& shared(ScreenCapture& screenCapture, Graphics& graphics);

    /// A screenshot whose pixels are taken while its reduction, encoding and sending go on.
    class Pending {
    public:
        Pending() = default;
        explicit Pending(std::future<std::optional<std::string>> work) : work_(std::move(work)) {}
        /// Waits until the frame is sent or lost: its name once sent.
        std::optional<std::string> finish();

    private:
        std::future<std::optional<std::string>> work_;
    };

    /// Asks the parent for permission, then takes the first display's pixels and returns
    /// while the worker reduces, encodes and sends them as the frame for record `seq`. A
    /// failure after permission sends a "loss" frame instead.
    Pending begin(std::int64_t seq, const std::string& episodeId, geo::Point cursorNorm,
                  const std::string& kind = "before");

    /// `begin` and `finish` in one: blocks until sent or failed. `targetFrame` and `ocr` do
    /// not affect it.
    Shot capture(std::int64_t seq, const std::string& episodeId,
                 const std::optional<std::vector<double>>& targetFrame, bool ocr,
                 geo::Point cursorNorm, const std::string& kind = "before");

    /// `image` scaled so that its longer edge is at most `maxEdgePixels` (sizes truncated);
    /// the image itself when it already fits or the reduction cannot be made.
    Image downscale(const Image& image, std::int64_t maxEdgePixels);

    /// "frames/" + decimal `seq` + "-full.jpg".
    static std::string frameName(std::int64_t seq);

private:
    std::optional<std::string> captureAndSend(std::int64_t seq, const std::string& episodeId,
                                              geo::Point cursorNorm, const std::string& kind,
                                              std::promise<void>& pixelsTaken);

    ScreenCapture& screenCapture_;
    Graphics& graphics_;
};
