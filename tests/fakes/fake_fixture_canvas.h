// A fixture canvas that records each drawing and returns a blank image of its size.
#pragma once

#include "platform/fixture_canvas.h"

#include <cstdint>
#include <memory>
#include <vector>

class FakeFixtureCanvas : public FixtureCanvas {
public:
    class Bitmap : public PlatformImage {
    public:
        Bitmap(std::int64_t w, std::int64_t h) : width_(w), height_(h) {}
        std::int64_t width() const override { return width_; }
        std::int64_t height() const override { return height_; }

    private:
        std::int64_t width_;
        std::int64_t height_;
    };

    Image draw(const FixtureDrawing& drawing) override {
        drawings.push_back(drawing);
        if (fails) return nullptr;
        return std::make_shared<Bitmap>(static_cast<std::int64_t>(drawing.canvas.width * scale),
                                        static_cast<std::int64_t>(drawing.canvas.height * scale));
    }

    bool fails = false;
    double scale = 2; ///< pixels per point
    std::vector<FixtureDrawing> drawings;
};
