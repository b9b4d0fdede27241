#pragma once

#include "platform/fixture_canvas.h"

/// Draws fixtures with AppKit into an NSImage and hands back its CGImage.
class AppKitFixtureCanvas final : public FixtureCanvas {
public:
    Image draw(const FixtureDrawing& drawing) override;
};
