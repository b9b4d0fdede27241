// In-memory drawing of the text-recognition self-test fixtures.
#pragma once

#include "platform/geometry.h"
#include "platform/image.h"

#include <optional>
#include <string>
#include <vector>

struct FixtureColour {
    double red = 0;
    double green = 0;
    double blue = 0;
};

enum class FontWeight { regular, semibold };

/// One run of text in the system font. Coordinates in points, origin bottom-left, y upwards.
struct FixtureText {
    std::string text;
    double fontSize = 0;
    FontWeight weight = FontWeight::regular;
    /// Where the run is drawn from (its line's origin) when `centredIn` is absent.
    geo::Point origin;
    /// When set: laid out inside this rectangle from its top, centred horizontally.
    std::optional<geo::Rect> centredIn;
};

struct FixtureDrawing {
    geo::Size canvas; ///< points
    FixtureColour background;
    FixtureColour textColour;
    std::vector<FixtureText> texts;
};

class FixtureCanvas {
public:
    virtual ~FixtureCanvas() = default;
    /// Fills the canvas with the background and draws the texts in order; the bitmap of the
    /// whole canvas, or nullptr when it cannot be made.
    virtual Image draw(const FixtureDrawing& drawing) = 0;
};
