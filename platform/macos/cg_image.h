// A CGImage as a port image.
#pragma once

#include "platform/image.h"
#include "platform/macos/cf_ref.h"

#include <CoreGraphics/CoreGraphics.h>
#include <memory>

class CGImagePort final : public PlatformImage {
public:
    explicit CGImagePort(CFRef<CGImageRef> image) : image_(std::move(image)) {}
    std::int64_t width() const override {
        return static_cast<std::int64_t>(CGImageGetWidth(image_.get()));
    }
    std::int64_t height() const override {
        return static_cast<std::int64_t>(CGImageGetHeight(image_.get()));
    }
    CGImageRef get() const { return image_.get(); }

    /// Wraps an owned image; nullptr for nullptr.
    static Image wrap(CGImageRef ownedImage) {
        if (ownedImage == nullptr) return nullptr;
        return std::make_shared<CGImagePort>(CFRef<CGImageRef>(ownedImage));
    }
    /// The CGImage behind a port image; nullptr when it is not one.
    static CGImageRef from(const Image& image) {
        const auto* port = dynamic_cast<const CGImagePort*>(image.get());
        return port ? port->get() : nullptr;
    }

private:
    CFRef<CGImageRef> image_;
};
