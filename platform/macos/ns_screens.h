#pragma once

#include "platform/screens.h"

class NSScreensPort final : public Screens {
public:
    geo::Point mouseLocation() override;
    std::vector<geo::Rect> screenFrames() override;
    std::optional<double> mainBackingScaleFactor() override;
};
