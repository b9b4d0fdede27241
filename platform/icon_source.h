// Icons of installed applications.
#pragma once

#include "platform/image.h"

#include <cstdint>
#include <string_view>

class IconSource {
public:
    virtual ~IconSource() = default;
    /// The icon of the application with `bundleId`, drawn whole (source-over, full opacity)
    /// into a new `pixels` × `pixels` 8-bit RGBA bitmap with alpha, one point per pixel.
    /// nullptr when no such application is installed or the bitmap cannot be made.
    virtual Image applicationIcon(std::string_view bundleId, std::int64_t pixels) = 0;
};
