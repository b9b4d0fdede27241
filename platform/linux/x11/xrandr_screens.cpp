#include "platform/linux/x11/xrandr_screens.h"

#include "platform/linux/x11/desktop_settings.h"

#include <chrono>
#include <xcb/randr.h>

XrandrScreens::XrandrScreens(std::shared_ptr<x11::Connection> display)
    : display_(std::move(display)) {}

void XrandrScreens::followScale() {
    queryServer();
    // The scale is the desktop's setting of the moment: read again once a second has passed.
    const auto now = std::chrono::steady_clock::now();
    if (!display_ || display_->broken() || now - scaleReadAt_ < std::chrono::seconds(1)) return;
    scaleReadAt_ = now;
    scale_ = desktop::readBackingScale(*display_);
}

void XrandrScreens::queryServer() {
    if (queried_ || !display_) return;
    queried_ = true;
    xcb_connection_t* c = display_->xcb();
    if (display_->extension(&xcb_randr_id)) {
        x11::Reply<xcb_randr_query_version_reply_t> version(
            xcb_randr_query_version_reply(c, xcb_randr_query_version(c, 1, 5), nullptr));
        hasMonitors_ = version && (version->major_version > 1 ||
                                   (version->major_version == 1 && version->minor_version >= 5));
    }
    scale_ = desktop::readBackingScale(*display_);
    scaleReadAt_ = std::chrono::steady_clock::now();
}

std::vector<geo::Rect> XrandrScreens::monitorPixels() {
    if (!display_ || display_->broken()) return {};
    queryServer();
    std::vector<geo::Rect> monitors;
    if (hasMonitors_) {
        xcb_connection_t* c = display_->xcb();
        x11::Reply<xcb_randr_get_monitors_reply_t> reply(xcb_randr_get_monitors_reply(
            c, xcb_randr_get_monitors(c, display_->root(), 1), nullptr));
        if (reply) {
            for (auto it = xcb_randr_get_monitors_monitors_iterator(reply.get()); it.rem > 0;
                 xcb_randr_monitor_info_next(&it)) {
                const xcb_randr_monitor_info_t& m = *it.data;
                const geo::Rect rect{double(m.x), double(m.y), double(m.width), double(m.height)};
                if (m.primary != 0)
                    monitors.insert(monitors.begin(), rect);
                else
                    monitors.push_back(rect);
            }
        }
    }
    if (monitors.empty()) { // no RandR 1.5 (or no active output): the whole root window
        // Its size as it is now, not as it was when the connection was opened.
        xcb_connection_t* c = display_->xcb();
        x11::Reply<xcb_get_geometry_reply_t> root(
            xcb_get_geometry_reply(c, xcb_get_geometry(c, display_->root()), nullptr));
        const xcb_screen_t& screen = display_->screen();
        monitors.push_back({0, 0, double(root ? root->width : screen.width_in_pixels),
                            double(root ? root->height : screen.height_in_pixels)});
    }
    return monitors;
}

geo::Point XrandrScreens::primaryOrigin() {
    const auto monitors = monitorPixels();
    if (monitors.empty()) return {};
    return {monitors.front().x, monitors.front().y};
}

geo::Point XrandrScreens::mouseLocation() {
    if (!display_ || display_->broken()) return {};
    followScale();
    xcb_connection_t* c = display_->xcb();
    x11::Reply<xcb_query_pointer_reply_t> pointer(
        xcb_query_pointer_reply(c, xcb_query_pointer(c, display_->root()), nullptr));
    if (!pointer) return {};
    const auto monitors = monitorPixels();
    if (monitors.empty()) return {};
    const geo::Rect& main = monitors.front();
    return {(pointer->root_x - main.x) / scale_, (main.y + main.height - pointer->root_y) / scale_};
}

std::vector<geo::Rect> XrandrScreens::screenFrames() {
    followScale();
    auto monitors = monitorPixels();
    if (monitors.empty()) return {};
    const geo::Rect main = monitors.front();
    for (auto& m : monitors)
        m = {(m.x - main.x) / scale_, (main.y + main.height - (m.y + m.height)) / scale_,
             m.width / scale_, m.height / scale_};
    return monitors;
}

std::optional<double> XrandrScreens::mainBackingScaleFactor() {
    if (!display_ || display_->broken()) return std::nullopt;
    followScale();
    return scale_;
}
