#pragma once

#include "platform/macos/cf_ref.h"
#include "platform/screen_capture.h"

#include <CoreFoundation/CoreFoundation.h>

/// ScreenCaptureKit stills. Blocks the calling thread, which must not be the main thread.
class SCKScreenCapture final : public ScreenCapture {
public:
    SCKScreenCapture();
    Result<ShareableContent> shareableContent() override;
    Result<Image> captureDisplay(const ShareableDisplay& display,
                                 const CaptureConfiguration& configuration) override;
    Result<Image> captureWindow(const ShareableWindow& window,
                                const CaptureConfiguration& configuration) override;

private:
    /// The SCShareableContent of the last shareableContent() call: captures pick their
    /// display or window object from it instead of asking the window server again.
    CFRef<CFTypeRef> lastContent_;
};
