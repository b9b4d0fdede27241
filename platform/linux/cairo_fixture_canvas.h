// Fixture drawing with cairo and pango, one pixel per point.
#pragma once

#include "platform/fixture_canvas.h"

#include <string>

class CairoFixtureCanvas final : public FixtureCanvas {
public:
    /// The family that stands in for the system font: it must cover Japanese and Latin.
    static constexpr const char* systemFontFamily = "Noto Sans CJK JP";

    /// Fills the canvas and draws the texts into a premultiplied ARGB LinuxImage.
    Image draw(const FixtureDrawing& drawing) override;
};
