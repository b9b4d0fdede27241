// One still image of a window, or of the first display, for text recognition.
#pragma once

#include "platform/image.h"
#include "platform/result.h"
#include "platform/screen_capture.h"
#include "platform/screens.h"

#include <cstdint>
#include <optional>

namespace helper {

inline constexpr const char* noCapturableSource = "no capturable window or display found";

/// Scale used when there is no main screen.
inline constexpr double fallbackScaleFactor = 2.0;

/// `points` × `scale`, truncated toward zero (0 when the product is not a usable size).
std::int64_t scaledPixels(double points, double scale);

/// The main screen's backing scale, or `fallbackScaleFactor` without a main screen. Read on
/// the main thread, before the capture starts: the screens are the window system's
/// main-thread state.
double captureScale(Screens& screens);

/// Captures the first on-screen window whose id is `windowId`, else the whole first
/// display, at `scale` pixels per point, without the pointer. Platform errors are passed on
/// unchanged; no window and no display gives "no capturable window or display found".
Result<Image> captureImage(ScreenCapture& capture, double scale,
                           std::optional<std::uint32_t> windowId);

} // namespace helper
