// Still images of displays and windows.
#pragma once

#include "platform/geometry.h"
#include "platform/image.h"
#include "platform/result.h"

#include <cstdint>
#include <vector>

struct ShareableWindow {
    std::uint32_t windowID = 0;
    geo::Rect frame; ///< points
};

struct ShareableDisplay {
    std::uint32_t displayID = 0;
    std::int64_t width = 0;  ///< points
    std::int64_t height = 0; ///< points
};

struct ShareableContent {
    std::vector<ShareableWindow> windows;   ///< on-screen windows, platform order
    std::vector<ShareableDisplay> displays; ///< first is the main display
};

struct CaptureConfiguration {
    std::int64_t width = 0;  ///< output pixels
    std::int64_t height = 0; ///< output pixels
    bool showsCursor = false;
    bool bestResolution = false;
};

class ScreenCapture {
public:
    virtual ~ScreenCapture() = default;
    /// On-screen windows (desktop windows included) and displays.
    virtual Result<ShareableContent> shareableContent() = 0;
    /// One image of the whole display, no window excluded.
    virtual Result<Image> captureDisplay(const ShareableDisplay& display,
                                         const CaptureConfiguration& configuration) = 0;
    /// One image of the window alone, independent of the desktop.
    virtual Result<Image> captureWindow(const ShareableWindow& window,
                                        const CaptureConfiguration& configuration) = 0;
};
