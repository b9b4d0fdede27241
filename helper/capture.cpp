#include "helper/capture.h"

#include <cmath>

namespace helper {

std::int64_t scaledPixels(double points, double scale) {
    const double pixels = std::trunc(points * scale);
    // Outside this range the conversion is undefined; such a size cannot be captured anyway.
    if (!(pixels >= 0 && pixels < 9.0e18)) return 0;
    return static_cast<std::int64_t>(pixels);
}

double captureScale(Screens& screens) {
    return screens.mainBackingScaleFactor().value_or(fallbackScaleFactor);
}

Result<Image> captureImage(ScreenCapture& capture, double scale,
                           std::optional<std::uint32_t> windowId) {
    auto content = capture.shareableContent();
    if (!content) return content.error();

    CaptureConfiguration configuration;
    configuration.showsCursor = false;
    configuration.bestResolution = true;

    Result<Image> image = PortError{noCapturableSource};
    const ShareableWindow* window = nullptr;
    if (windowId) {
        for (const auto& candidate : content.value().windows) {
            if (candidate.windowID == *windowId) {
                window = &candidate;
                break;
            }
        }
    }
    if (window) {
        configuration.width = scaledPixels(window->frame.width, scale);
        configuration.height = scaledPixels(window->frame.height, scale);
        image = capture.captureWindow(*window, configuration);
    } else {
        const auto& displays = content.value().displays;
        if (displays.empty()) return PortError{noCapturableSource};
        const ShareableDisplay& display = displays.front();
        configuration.width = scaledPixels(static_cast<double>(display.width), scale);
        configuration.height = scaledPixels(static_cast<double>(display.height), scale);
        image = capture.captureDisplay(display, configuration);
    }
    if (image && !image.value()) return PortError{"the capture gave no image"};
    return image;
}

} // namespace helper
