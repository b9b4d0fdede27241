// An image owned by the platform (a CGImage on macOS, a pixel buffer on Linux).
#pragma once

#include <cstdint>
#include <memory>

class PlatformImage {
public:
    virtual ~PlatformImage() = default;
    virtual std::int64_t width() const = 0;  ///< pixels
    virtual std::int64_t height() const = 0; ///< pixels
    /// False while the screen's pixels the image shows are still being read (a capture read
    /// band by band, or an image being drawn from one).
    virtual bool taken() const { return true; }
    /// Returns once they are all read; drawing from them may still go on.
    virtual void waitUntilTaken() const {}
};

/// Shared handle; the platform image is released with its last handle.
using Image = std::shared_ptr<const PlatformImage>;
