// Still images of monitors and windows from the X server, through MIT-SHM when it can.
#pragma once

#include "platform/screen_capture.h"

#include <memory>

/// Uses a connection of its own, opened on first use by whichever thread calls first, so the
/// capture worker never waits for the main thread. Frames and display sizes are in points:
/// root-window pixels divided by the desktop's backing scale (1 on most X desktops), so a
/// capture asked at scale × points is taken pixel for pixel. Images are LinuxImages in
/// LinuxPixelFormat::xrgb32. Display images are filled band by band straight from the
/// shared-memory segment (no copy); a segment is reused once the image that held it is
/// released. Window images are one GetImage reply of the window's pixmap.
class ShmScreenCapture final : public ScreenCapture {
public:
    ShmScreenCapture();
    ~ShmScreenCapture() override;
    ShmScreenCapture(const ShmScreenCapture&) = delete;
    ShmScreenCapture& operator=(const ShmScreenCapture&) = delete;

    /// Mapped client windows (front to back, X window ids) and RandR monitors (primary first).
    Result<ShareableContent> shareableContent() override;
    /// The monitor's rectangle of the root window, scaled when the configuration asks for
    /// another size, the pointer drawn in when `showsCursor`.
    Result<Image> captureDisplay(const ShareableDisplay& display,
                                 const CaptureConfiguration& configuration) override;
    /// The window's own contents, whole, through Composite (see composite_window_capture.h):
    /// nothing of the windows above it, its parts off screen included. Parts it does not redraw
    /// in time after being uncovered come out black.
    Result<Image> captureWindow(const ShareableWindow& window,
                                const CaptureConfiguration& configuration) override;

private:
    struct State;
    std::unique_ptr<State> state_;
};
