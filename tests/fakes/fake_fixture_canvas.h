// A fixture canvas that records each drawing and returns a blank image of its size.
#pragma once

#include "platform/fixture_canvas.h"
#include "tests/fakes/fake_graphics.h"

#include <cstdint>
#include <vector>

class FakeFixtureCanvas : public FixtureCanvas {
public:
    Image draw(const FixtureDrawing& drawing) override {
        drawings.push_back(drawing);
        return FakeImage::make(static_cast<std::int64_t>(drawing.canvas.width),
                               static_cast<std::int64_t>(drawing.canvas.height));
    }

    std::vector<FixtureDrawing> drawings;
};
