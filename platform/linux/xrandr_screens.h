// Pointer and monitors through RandR, in global points with a bottom-left origin.
//
// X uses pixels from the top-left corner of the root window. Points are pixels divided by
// the backing scale; y is measured upwards from the bottom edge of the primary monitor, so
// that flipping with the primary monitor's height gives back root-window coordinates, as
// the accessibility and capture ports use them. With the primary monitor at the root's
// origin (the usual case) this is exactly the macOS convention.
#pragma once

#include "platform/geometry.h"
#include "platform/linux/x11_connection.h"
#include "platform/screens.h"

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

private:
    /// RandR's version and the backing scale, asked for on first use.
    void queryServer();

    std::shared_ptr<x11::Connection> display_;
    bool queried_ = false;
    bool hasMonitors_ = false; // RandR ≥ 1.5
    double scale_ = 1;
};
