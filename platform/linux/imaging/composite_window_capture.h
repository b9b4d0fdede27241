// A window's own pixels through the Composite extension: the parts that other windows cover,
// and the parts off the screen, included; nothing of any other window.
#pragma once

#include "platform/linux/imaging/capture_geometry.h"
#include "platform/result.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <xcb/xcb.h>

namespace x11 {
class Connection;
}

namespace composite_capture {

/// Whether the server offers Composite 0.2 and Damage 1.1. Asks their versions, which the server
/// requires before any other request of either extension.
bool available(x11::Connection& connection);

/// An X resource of ours, released when the holder goes.
class HeldResource {
public:
    using Release = xcb_void_cookie_t (*)(xcb_connection_t*, std::uint32_t);

    HeldResource() = default;
    ~HeldResource() { reset(); }
    HeldResource(const HeldResource&) = delete;
    HeldResource& operator=(const HeldResource&) = delete;

    void hold(xcb_connection_t* connection, std::uint32_t id, Release release);
    void reset();
    std::uint32_t id() const { return id_; }

private:
    xcb_connection_t* connection_ = nullptr;
    std::uint32_t id_ = 0;
    Release release_ = nullptr;
};

/// The contents of one window, named as a pixmap for as long as this object lives.
///
/// When a compositing manager already keeps the window's top-level frame off screen, the
/// frame's pixmap is read as it is. Otherwise the window is redirected (automatically, so the
/// screen does not change) while this lives. Redirection copies the screen where the window
/// lies, so the parts that were covered or off screen hold other pixels until the window has
/// drawn them anew: they are exposed, and their repainting is awaited through Damage for at
/// most `repaintTimeout`. What the window has not redrawn by then is listed in `unpainted`,
/// for the reader to blank.
class WindowContents {
public:
    /// `connection` must outlive the result. Errors name the X request that failed.
    static Result<std::unique_ptr<WindowContents>> take(x11::Connection& connection,
                                                        xcb_window_t window,
                                                        std::chrono::milliseconds repaintTimeout);
    ~WindowContents();
    WindowContents(const WindowContents&) = delete;
    WindowContents& operator=(const WindowContents&) = delete;

    /// The pixmap that holds the window.
    xcb_drawable_t drawable() const { return pixmap_.id(); }
    /// Where the window's top-left pixel lies in the drawable.
    std::int64_t originX() const { return originX_; }
    std::int64_t originY() const { return originY_; }
    /// The window's rectangle in root-window coordinates.
    const capture_geometry::PixelRect& onRoot() const { return onRoot_; }
    /// Parts (window coordinates) whose pixels are not the window's own.
    const capture_geometry::PixelRegion& unpainted() const { return unpainted_; }

private:
    WindowContents() = default;

    // Released in reverse order: pixmap, damage watch, redirection.
    HeldResource redirection_;
    HeldResource damage_;
    HeldResource pixmap_;
    std::int64_t originX_ = 0;
    std::int64_t originY_ = 0;
    capture_geometry::PixelRect onRoot_;
    capture_geometry::PixelRegion unpainted_;
};

} // namespace composite_capture
