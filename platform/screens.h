// Pointer and screen geometry in global points, bottom-left origin (the macOS convention).
#pragma once

#include "platform/geometry.h"

#include <optional>
#include <vector>

class Screens {
public:
    virtual ~Screens() = default;
    /// Pointer location, origin at the bottom-left corner of the main screen, y upwards.
    virtual geo::Point mouseLocation() = 0;
    /// Frames of the attached screens; the first is the main screen. Empty when none.
    virtual std::vector<geo::Rect> screenFrames() = 0;
    /// Backing scale factor (pixels per point) of the main screen; nothing when there is none.
    virtual std::optional<double> mainBackingScaleFactor() = 0;
};
