// Images that are only a size, and a graphics port that scales and "encodes" them, with
// switches to make each step fail.
#pragma once

#include "platform/graphics.h"
#include "platform/image.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class FakeImage : public PlatformImage {
public:
    /// Taken once `arrival` is ready, when it is given.
    FakeImage(std::int64_t width, std::int64_t height, std::shared_future<void> arrival = {})
        : width_(width), height_(height), arrival_(std::move(arrival)) {}
    std::int64_t width() const override { return width_; }
    std::int64_t height() const override { return height_; }
    bool taken() const override {
        return !arrival_.valid() ||
               arrival_.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    }
    void waitUntilTaken() const override {
        if (arrival_.valid()) arrival_.wait();
    }

    static Image make(std::int64_t width, std::int64_t height,
                      std::shared_future<void> arrival = {}) {
        return std::make_shared<FakeImage>(width, height, std::move(arrival));
    }

private:
    std::int64_t width_, height_;
    std::shared_future<void> arrival_;
};

class FakeGraphics : public Graphics {
public:
    bool failScale = false, failJpeg = false, emptyPng = false;
    std::atomic<int> scales{0}; ///< `drawScaled` calls

    Image drawScaled(const Image& image, std::int64_t width, std::int64_t height) override {
        ++scales;
        if (failScale || !image || width <= 0 || height <= 0) return nullptr;
        return FakeImage::make(width, height);
    }
    /// "JPEG <width>x<height>" as the file bytes.
    std::optional<std::vector<std::uint8_t>> encodeJPEG(const Image& image, double) override {
        if (failJpeg || !image) return std::nullopt;
        return bytes("JPEG ", image);
    }
    /// "PNG <width>x<height>" as the file bytes.
    std::optional<std::vector<std::uint8_t>> encodePNG(const Image& image) override {
        if (!image) return std::nullopt;
        if (emptyPng) return std::vector<std::uint8_t>{};
        return bytes("PNG ", image);
    }

private:
    static std::vector<std::uint8_t> bytes(std::string text, const Image& image) {
        text += std::to_string(image->width()) + "x" + std::to_string(image->height());
        return {text.begin(), text.end()};
    }
};
