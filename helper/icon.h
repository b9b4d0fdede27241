// `icon <bundleId>`: an application's icon as a 64-pixel PNG data URL.
#pragma once

#include "helper/output.h"
#include "platform/graphics.h"
#include "platform/icon_source.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace helper {

inline constexpr std::int64_t iconPixels = 64;
inline constexpr std::string_view pngDataURLPrefix = "data:image/png;base64,";

/// "data:image/png;base64," and the PNG of the application's icon drawn at
/// `pixels` × `pixels`; nothing when the application, the bitmap or the PNG is missing.
std::optional<std::string> iconPNG(IconSource& icons, Graphics& graphics, std::string_view bundleId,
                                   std::int64_t pixels);

/// Prints the bundle id and, when one could be made, the icon's data URL. Without a
/// non-empty bundle id fails with "usage: icon <bundleId>" (status 2).
void runIcon(HelperIO& io, const std::optional<std::string>& bundleId, IconSource& icons,
             Graphics& graphics);

} // namespace helper
