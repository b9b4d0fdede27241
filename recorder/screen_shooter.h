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

    /// A screenshot whose pixels are taken while its reduction and encoding go on. Nothing
    /// reaches the parent before `finish` names the record it belongs to, so that records
    /// written meanwhile keep their place before it; dropped unfinished, it sends nothing.
    class Pending {
    public:
        Pending() = default;
        Pending(std::future<void> pixels, std::future<std::optional<std::string>> work,
                std::promise<std::optional<std::int64_t>> seq);
        Pending(Pending&& other) noexcept;
        Pending& operator=(Pending&& other) noexcept;
        Pending(const Pending&) = delete;
        Pending& operator=(const Pending&) = delete;
        ~Pending();

        /// Returns once the pixels are taken, or the capture has failed.
        void awaitPixels();

        /// Sends the frame (or its loss) as record `seq`'s and waits until it is sent or lost:
        /// its name once sent.
        std::optional<std::string> finish(std::int64_t seq);

    private:
        void settle(std::optional<std::int64_t> seq);

        std::future<void> pixels_;
        std::future<std::optional<std::string>> work_;
        std::promise<std::optional<std::int64_t>> seq_;
        bool open_ = false; ///< `seq_` not yet given
    };

    /// Asks the parent for permission, then starts taking the first display's pixels on a
    /// worker that goes on to reduce and encode them, and returns at once (`awaitPixels` waits
    /// for the pixels). A failure after permission becomes a "loss" frame, sent in the
    /// frame's place.
    Pending begin(const std::string& episodeId, geo::Point cursorNorm,
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
    /// The encoded frame, or nothing when it could not be made (the user has been told).
    std::optional<std::vector<std::uint8_t>>
    captureAndEncode(std::promise<void>& pixelsTaken, std::int64_t& width, std::int64_t& height);

    ScreenCapture& screenCapture_;
    Graphics& graphics_;
};
