// Pointer and monitors through RandR, in global points with a bottom-left origin.
//
// X uses pixels from the top-left corner of the root window; the main screen is the primary
// monitor, which need not lie at the root's origin. Points are pixels divided by the backing
// scale, measured from the primary monitor's bottom-left corner with y upwards, so that, as
// on macOS, points on a monitor left of or above it are negative. Flipping with the primary
// monitor's height gives coordinates from its top-left corner; adding primaryOrigin() to
// those gives back root-window pixels (at a backing scale of 1).
#pragma once

#include "platform/geometry.h"
#include "platform/linux/x11/x11_connection.h"
#include "platform/screens.h"

#include <chrono>
#include <memory>
#include <optional>
#include <vector>

class XrandrScreens final : public Screens {
public:
    /// `display` may be null: the pointer is then at (0, 0) and there are no screens.
    explicit XrandrScreens(std::shared_ptr<x11::Connection> display);

    geo::Point mouseLocation() override;
    std::vector<geo::Rect> screenFrames() override;
    std::optional<double> mainBackingScaleFactor() override;

    /// Monitor rectangles in root-window pixels, the primary first.
    std::vector<geo::Rect> monitorPixels();
    /// Top-left corner of the primary monitor in root-window pixels.
    geo::Point primaryOrigin();

private:
    /// RandR's version and the backing scale, asked for on first use.
    void queryServer();
    /// Reads the backing scale again once a second has passed since it was last read.
    void followScale();

    std::shared_ptr<x11::Connection> display_;
    bool queried_ = false;
    bool hasMonitors_ = false; // RandR ≥ 1.5
    double scale_ = 1;
    std::chrono::steady_clock::time_point scaleReadAt_;
};
