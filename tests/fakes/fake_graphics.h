// Images that are only a size, and a graphics port that scales and "encodes" them, with
// switches to make each step fail.
#pragma once

#include "platform/graphics.h"
#include "platform/image.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class FakeImage : public PlatformImage {
public:
    FakeImage(std::int64_t width, std::int64_t height) : width_(width), height_(height) {}
    std::int64_t width() const override { return width_; }
    std::int64_t height() const override { return height_; }

    static Image make(std::int64_t width, std::int64_t height) {
        return std::make_shared<FakeImage>(width, height);
    }

private:
    std::int64_t width_;
    std::int64_t height_;
};

class FakeGraphics : public Graphics {
public:
    struct ScaleCall {
        std::int64_t width;
        std::int64_t height;
    };

    bool failScale = false;
    bool failJpeg = false;
    bool failPng = false;
    bool emptyPng = false;

    Image drawScaled(const Image& image, std::int64_t width, std::int64_t height) override {
        std::lock_guard guard(mutex_);
        scaleCalls_.push_back({width, height});
        if (failScale || !image || width <= 0 || height <= 0) return nullptr;
        return FakeImage::make(width, height);
    }

    /// "JPEG <width>x<height>" as the file bytes.
    std::optional<std::vector<std::uint8_t>> encodeJPEG(const Image& image,
                                                        double quality) override {
        std::lock_guard guard(mutex_);
        jpegQualities_.push_back(quality);
        if (failJpeg || !image) return std::nullopt;
        return bytes("JPEG " + std::to_string(image->width()) + "x" +
                     std::to_string(image->height()));
    }

    /// "PNG <width>x<height>" as the file bytes.
    std::optional<std::vector<std::uint8_t>> encodePNG(const Image& image) override {
        if (failPng || !image) return std::nullopt;
        if (emptyPng) return std::vector<std::uint8_t>{};
        return bytes("PNG " + std::to_string(image->width()) + "x" +
                     std::to_string(image->height()));
    }

    std::vector<ScaleCall> scaleCalls() const { return locked(scaleCalls_); }
    std::vector<double> jpegQualities() const { return locked(jpegQualities_); }

private:
    template <typename T> T locked(const T& value) const {
        std::lock_guard guard(mutex_);
        return value;
    }
    static std::vector<std::uint8_t> bytes(const std::string& text) {
        return {text.begin(), text.end()};
    }

    mutable std::mutex mutex_;
    std::vector<ScaleCall> scaleCalls_;
    std::vector<double> jpegQualities_;
};
