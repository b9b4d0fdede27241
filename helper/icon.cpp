#include "helper/icon.h"

#include "common/base64.h"

#include <utility>

namespace helper {

std::optional<std::string> iconPNG(IconSource& icons, Graphics& graphics, std::string_view bundleId,
                                   std::int64_t pixels) {
    const Image icon = icons.applicationIcon(bundleId, pixels);
    if (!icon) return std::nullopt;
    const auto png = graphics.encodePNG(icon);
    if (!png || png->empty()) return std::nullopt; // zero bytes are no PNG file
    std::string url(pngDataURLPrefix);
    url += base64Encode(*png);
    return url;
}

void runIcon(HelperIO& io, const std::optional<std::string>& bundleId, IconSource& icons,
             Graphics& graphics) {
    if (!bundleId || bundleId->empty()) fail("usage: icon <bundleId>", 2);
    auto png = iconPNG(icons, graphics, *bundleId, iconPixels);
    printJSON(io, json::ObjectBuilder().add("bundleId", *bundleId).add("png", png).value());
}

} // namespace helper
