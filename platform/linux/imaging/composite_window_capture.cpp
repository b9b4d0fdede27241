#include "platform/linux/imaging/composite_window_capture.h"

#include "platform/linux/x11/x11_connection.h"

#include <algorithm>
#include <optional>
#include <poll.h>
#include <string>
#include <vector>
#include <xcb/composite.h>
#include <xcb/damage.h>

namespace composite_capture {

using capture_geometry::PixelRect;
using capture_geometry::PixelRegion;

namespace {

PortError x11Error(const std::string& what) {
    return PortError{"X11: " + what};
}

xcb_void_cookie_t unredirect(xcb_connection_t* connection, std::uint32_t window) {
    return xcb_composite_unredirect_window(connection, window, XCB_COMPOSITE_REDIRECT_AUTOMATIC);
}

/// Our connection's structure events on a window's ancestors, from construction until it
/// goes: any of them means the stacking read meanwhile may no longer hold.
class StructureWatch {
public:
    StructureWatch(x11::Connection& connection, std::vector<xcb_window_t> ancestors)
        : connection_(connection), ancestors_(std::move(ancestors)) {
        const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        for (const xcb_window_t ancestor : ancestors_)
            xcb_change_window_attributes(connection_.xcb(), ancestor, XCB_CW_EVENT_MASK, &mask);
    }
    ~StructureWatch() {
        const std::uint32_t none = 0;
        for (const xcb_window_t ancestor : ancestors_)
            xcb_change_window_attributes(connection_.xcb(), ancestor, XCB_CW_EVENT_MASK, &none);
        xcb_flush(connection_.xcb());
    }
    StructureWatch(const StructureWatch&) = delete;
    StructureWatch& operator=(const StructureWatch&) = delete;

    /// Waits until the server has handled every request so far; true when no window below an
    /// ancestor has been mapped, unmapped, moved, resized, restacked or reparented since the
    /// watch began. Other events are kept in `others`, in order.
    bool stillSince(std::vector<x11::Reply<xcb_generic_event_t>>& others) {
        connection_.sync();
        bool still = true;
        while (x11::Reply<xcb_generic_event_t> event{xcb_poll_for_event(connection_.xcb())}) {
            switch (event->response_type & 0x7F) {
            case XCB_CONFIGURE_NOTIFY:
            case XCB_MAP_NOTIFY:
            case XCB_UNMAP_NOTIFY:
            case XCB_REPARENT_NOTIFY:
            case XCB_CIRCULATE_NOTIFY:
            case XCB_DESTROY_NOTIFY:
            case XCB_GRAVITY_NOTIFY:
                still = false;
                break;
            default:
                others.push_back(std::move(event));
            }
        }
        return still;
    }

private:
    x11::Connection& connection_;
    std::vector<xcb_window_t> ancestors_;
};

struct Placement {
    PixelRect inside; ///< root-window coordinates, border excluded
    std::int64_t border = 0;
    std::uint8_t depth = 0;
};

std::optional<Placement> placementOf(x11::Connection& connection, xcb_window_t window) {
    xcb_connection_t* xcb = connection.xcb();
    const auto geometryCookie = xcb_get_geometry(xcb, window);
    const auto originCookie = xcb_translate_coordinates(xcb, window, connection.root(), 0, 0);
    x11::Reply<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(xcb, geometryCookie, nullptr));
    x11::Reply<xcb_translate_coordinates_reply_t> origin(
        xcb_translate_coordinates_reply(xcb, originCookie, nullptr));
    if (!geometry || !origin) return std::nullopt;
    return Placement{{origin->dst_x, origin->dst_y, geometry->width, geometry->height},
                     geometry->border_width,
                     geometry->depth};
}

/// Depths read as 4-byte B, G, R, x pixels.
bool readableDepth(const x11::Connection& connection, std::uint8_t depth) {
    if (depth != 24 && depth != 32) return false;
    const xcb_setup_t* setup = xcb_get_setup(connection.xcb());
    for (auto formats = xcb_setup_pixmap_formats_iterator(setup); formats.rem > 0;
         xcb_format_next(&formats)) {
        if (formats.data->depth == depth) return formats.data->bits_per_pixel == 32;
    }
    return false;
}

struct Visibility {
    PixelRegion visible; ///< root-window coordinates
    xcb_window_t topLevel = XCB_WINDOW_NONE;
};

/// The part of the window `rect` (on the root) that shows on the screen: clipped by every
/// ancestor and the screen, without the windows stacked above it or above an ancestor. Shapes
/// are ignored, so a shaped window on top hides its whole rectangle.
std::optional<Visibility> visibilityOf(x11::Connection& connection, xcb_window_t window,
                                       const PixelRect& rect) {
    xcb_connection_t* xcb = connection.xcb();
    Visibility result;
    result.visible = {rect};
    xcb_window_t current = window;
    x11::Reply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(xcb, xcb_query_tree(xcb, current), nullptr));
    while (tree && tree->parent != XCB_WINDOW_NONE) {
        const xcb_window_t parent = tree->parent;
        x11::Reply<xcb_query_tree_reply_t> parentTree(
            xcb_query_tree_reply(xcb, xcb_query_tree(xcb, parent), nullptr));
        if (!parentTree) return std::nullopt;
        PixelRect parentInside{0, 0, connection.screen().width_in_pixels,
                               connection.screen().height_in_pixels};
        if (parent != connection.root()) {
            const auto placement = placementOf(connection, parent);
            if (!placement) return std::nullopt;
            parentInside = placement->inside;
        }
        PixelRegion clipped;
        for (const PixelRect& part : result.visible) {
            const PixelRect inside = capture_geometry::intersect(part, parentInside);
            if (!inside.empty()) clipped.push_back(inside);
        }
        result.visible = std::move(clipped);

        // Children come bottom to top: those after `current` lie above it.
        const xcb_window_t* children = xcb_query_tree_children(parentTree.get());
        const int count = xcb_query_tree_children_length(parentTree.get());
        const xcb_window_t* self = std::find(children, children + count, current);
        struct Questions {
            xcb_get_window_attributes_cookie_t attributes;
            xcb_get_geometry_cookie_t geometry;
        };
        std::vector<Questions> questions;
        for (const xcb_window_t* above = self + (self != children + count ? 1 : 0);
             above < children + count; ++above) {
            questions.push_back(
                {xcb_get_window_attributes(xcb, *above), xcb_get_geometry(xcb, *above)});
        }
        for (const Questions& question : questions) {
            x11::Reply<xcb_get_window_attributes_reply_t> attributes(
                xcb_get_window_attributes_reply(xcb, question.attributes, nullptr));
            x11::Reply<xcb_get_geometry_reply_t> geometry(
                xcb_get_geometry_reply(xcb, question.geometry, nullptr));
            if (!attributes || !geometry || attributes->map_state != XCB_MAP_STATE_VIEWABLE ||
                attributes->_class != XCB_WINDOW_CLASS_INPUT_OUTPUT) {
                continue;
            }
            const std::int64_t outerBorder = 2 * std::int64_t{geometry->border_width};
            result.visible = capture_geometry::subtract(
                result.visible, {parentInside.x + geometry->x, parentInside.y + geometry->y,
                                 geometry->width + outerBorder, geometry->height + outerBorder});
        }
        if (parent == connection.root()) {
            result.topLevel = current;
            return result;
        }
        current = parent;
        tree = std::move(parentTree);
    }
    return std::nullopt;
}

/// Names the pixmap of a redirected window; nothing when the window is not redirected.
bool namePixmap(xcb_connection_t* xcb, xcb_window_t window, HeldResource& pixmap) {
    const xcb_pixmap_t id = xcb_generate_id(xcb);
    x11::Reply<xcb_generic_error_t> error(
        xcb_request_check(xcb, xcb_composite_name_window_pixmap_checked(xcb, window, id)));
    if (error) return false;
    pixmap.hold(xcb, id, xcb_free_pixmap);
    return true;
}

/// Waits until the window has drawn every part of `unpainted` (window coordinates), or the
/// timeout has passed; returns what it has not drawn. `created` is the request that created
/// `damage`: the server reports the whole window as damaged then, which is no drawing. Events
/// read already (`early`) are looked at first.
PixelRegion awaitRepaint(x11::Connection& connection, xcb_damage_damage_t damage,
                         xcb_void_cookie_t created, PixelRegion unpainted,
                         std::chrono::milliseconds timeout,
                         std::vector<x11::Reply<xcb_generic_event_t>> early) {
    xcb_connection_t* xcb = connection.xcb();
    const auto extension = connection.extension(&xcb_damage_id);
    if (!extension) return unpainted;
    const int notify = extension->firstEvent + XCB_DAMAGE_NOTIFY;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    const auto look = [&](const xcb_generic_event_t& event) {
        if ((event.response_type & 0x7F) != notify) return;
        const auto& drawn = reinterpret_cast<const xcb_damage_notify_event_t&>(event);
        if (drawn.damage != damage || drawn.sequence == (created.sequence & 0xFFFF)) return;
        unpainted = capture_geometry::subtract(
            unpainted, {drawn.area.x, drawn.area.y, drawn.area.width, drawn.area.height});
    };
    for (const auto& event : early)
        look(*event);
    xcb_flush(xcb);
    while (!unpainted.empty() && !connection.broken()) {
        while (x11::Reply<xcb_generic_event_t> event{xcb_poll_for_event(xcb)})
            look(*event);
        if (unpainted.empty()) break;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd socket{connection.fileDescriptor(), POLLIN, 0};
        poll(&socket, 1, static_cast<int>(left.count()));
    }
    return unpainted;
}

/// The window's ancestors, its parent first and the root last; nothing when it is gone.
std::optional<std::vector<xcb_window_t>> ancestorsOf(x11::Connection& connection,
                                                     xcb_window_t window) {
    xcb_connection_t* xcb = connection.xcb();
    std::vector<xcb_window_t> ancestors;
    xcb_window_t current = window;
    while (current != connection.root()) {
        x11::Reply<xcb_query_tree_reply_t> tree(
            xcb_query_tree_reply(xcb, xcb_query_tree(xcb, current), nullptr));
        if (!tree || tree->parent == XCB_WINDOW_NONE) return std::nullopt;
        ancestors.push_back(tree->parent);
        current = tree->parent;
    }
    return ancestors;
}

} // namespace

bool available(x11::Connection& connection) {
    xcb_connection_t* xcb = connection.xcb();
    xcb_prefetch_extension_data(xcb, &xcb_composite_id);
    xcb_prefetch_extension_data(xcb, &xcb_damage_id);
    if (!connection.extension(&xcb_composite_id) || !connection.extension(&xcb_damage_id)) {
        return false;
    }
    const auto compositeCookie = xcb_composite_query_version(xcb, 0, 4);
    const auto damageCookie = xcb_damage_query_version(xcb, 1, 1);
    x11::Reply<xcb_composite_query_version_reply_t> composite(
        xcb_composite_query_version_reply(xcb, compositeCookie, nullptr));
    x11::Reply<xcb_damage_query_version_reply_t> damage(
        xcb_damage_query_version_reply(xcb, damageCookie, nullptr));
    return composite && (composite->major_version > 0 || composite->minor_version >= 2) && damage &&
           (damage->major_version > 1 ||
            (damage->major_version == 1 && damage->minor_version >= 1));
}

void HeldResource::hold(xcb_connection_t* connection, std::uint32_t id, Release release) {
    reset();
    connection_ = connection;
    id_ = id;
    release_ = release;
}

void HeldResource::reset() {
    if (connection_ == nullptr) return;
    release_(connection_, id_);
    xcb_flush(connection_);
    connection_ = nullptr;
    id_ = 0;
}

WindowContents::~WindowContents() = default;

Result<std::unique_ptr<WindowContents>>
WindowContents::take(x11::Connection& connection, xcb_window_t window,
                     std::chrono::milliseconds repaintTimeout) {
    xcb_connection_t* xcb = connection.xcb();
    const std::string name = "window " + std::to_string(window);
    std::unique_ptr<WindowContents> contents(new WindowContents);
    const auto ancestors = ancestorsOf(connection, window);
    if (!ancestors) return x11Error("no " + name);
    const xcb_window_t topLevel =
        ancestors->size() >= 2 ? (*ancestors)[ancestors->size() - 2] : window;

    // A compositing manager keeps the top-level frame off screen, complete: read it there.
    if (namePixmap(xcb, topLevel, contents->pixmap_)) {
        const std::optional<Placement> placement = placementOf(connection, window);
        const std::optional<Placement> frame = placementOf(connection, topLevel);
        if (!placement || !frame) return x11Error("no " + name);
        if (!readableDepth(connection, frame->depth)) {
            return x11Error(name + " has an unsupported pixel format");
        }
        contents->onRoot_ = placement->inside;
        contents->originX_ = placement->inside.x - frame->inside.x + frame->border;
        contents->originY_ = placement->inside.y - frame->inside.y + frame->border;
        return contents;
    }

    // Without a compositor the window is redirected here. The server is not grabbed (a
    // capture stopped in the middle would freeze every client): the stacking is watched
    // instead, and read again if it changed before the redirection was in place. After a few
    // changes the whole window counts as hidden, and only what it draws anew is read.
    constexpr int trustedReadings = 3;
    std::optional<Placement> placement;
    PixelRegion hidden;
    xcb_void_cookie_t damageCreated{0};
    std::vector<x11::Reply<xcb_generic_event_t>> early;
    for (int reading = 0;; ++reading) {
        const bool trusted = reading < trustedReadings;
        StructureWatch watch(connection, *ancestors);
        placement = placementOf(connection, window);
        if (!placement) return x11Error("no " + name);
        if (!readableDepth(connection, placement->depth)) {
            return x11Error(name + " has an unsupported pixel format");
        }
        const std::optional<Visibility> visibility =
            visibilityOf(connection, window, placement->inside);
        if (!visibility) return x11Error("no " + name);
        hidden = {placement->inside};
        if (trusted) {
            for (const PixelRect& shown : visibility->visible) {
                hidden = capture_geometry::subtract(hidden, shown);
            }
        }
        for (PixelRect& part : hidden) {
            part.x -= placement->inside.x;
            part.y -= placement->inside.y;
        }
        x11::Reply<xcb_generic_error_t> refused(xcb_request_check(
            xcb,
            xcb_composite_redirect_window_checked(xcb, window, XCB_COMPOSITE_REDIRECT_AUTOMATIC)));
        if (refused) return x11Error("cannot redirect " + name);
        contents->redirection_.hold(xcb, window, unredirect);
        if (!hidden.empty()) {
            // Watched from here on, so what the server itself painted above does not count;
            // what the window drew before is drawn again on the exposure below.
            const xcb_damage_damage_t damage = xcb_generate_id(xcb);
            damageCreated =
                xcb_damage_create(xcb, damage, window, XCB_DAMAGE_REPORT_LEVEL_RAW_RECTANGLES);
            contents->damage_.hold(xcb, damage, xcb_damage_destroy);
            // Expose the hidden parts once more, so that parts under a shaped window are
            // drawn too.
            for (const PixelRect& part : hidden) {
                xcb_clear_area(xcb, 1, window, static_cast<std::int16_t>(part.x),
                               static_cast<std::int16_t>(part.y),
                               static_cast<std::uint16_t>(part.width),
                               static_cast<std::uint16_t>(part.height));
            }
        }
        early.clear();
        if (watch.stillSince(early) || !trusted) break;
        contents->damage_.reset();
        contents->redirection_.reset();
    }
    contents->onRoot_ = placement->inside;

    if (!hidden.empty()) {
        contents->unpainted_ = awaitRepaint(connection, contents->damage_.id(), damageCreated,
                                            std::move(hidden), repaintTimeout, std::move(early));
    }
    if (!namePixmap(xcb, window, contents->pixmap_)) return x11Error("cannot read " + name);
    contents->originX_ = placement->border;
    contents->originY_ = placement->border;
    return contents;
}

} // namespace composite_capture
