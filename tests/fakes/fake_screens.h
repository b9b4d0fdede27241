// Pointer and screens in global points, bottom-left origin, as a test sets them.
#pragma once

#include "platform/screens.h"

#include <optional>
#include <vector>

class FakeScreens : public Screens {
public:
    geo::Point mouse{0, 0};
    std::vector<geo::Rect> frames{geo::Rect{0, 0, 1440, 900}};
    std::optional<double> scale = 2.0;

    geo::Point mouseLocation() override { return mouse; }
    std::vector<geo::Rect> screenFrames() override { return frames; }
    std::optional<double> mainBackingScaleFactor() override { return scale; }
};
