#include "platform/linux/x11/x11_stacking.h"

#include "platform/linux/x11/x11_connection.h"

#include <vector>

namespace x11_stacking {

std::optional<ClientWindow> clientAt(x11::Connection& connection, int x, int y) {
    xcb_connection_t* xcb = connection.xcb();
    const std::vector<std::uint32_t> stacking =
        connection.numbers(connection.root(), connection.atom("_NET_CLIENT_LIST_STACKING"));
    if (stacking.empty()) return std::nullopt;

    // All questions at once, one round trip.
    struct Questions {
        xcb_get_window_attributes_cookie_t attributes;
        xcb_get_geometry_cookie_t geometry;
        xcb_translate_coordinates_cookie_t origin;
    };
    std::vector<Questions> questions;
    questions.reserve(stacking.size());
    for (std::uint32_t window : stacking) {
        questions.push_back({xcb_get_window_attributes(xcb, window), xcb_get_geometry(xcb, window),
                             xcb_translate_coordinates(xcb, window, connection.root(), 0, 0)});
    }
    std::optional<ClientWindow> top;
    for (std::size_t k = stacking.size(); k-- > 0;) { // topmost first
        x11::Reply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(xcb, questions[k].attributes, nullptr));
        x11::Reply<xcb_get_geometry_reply_t> geometry(
            xcb_get_geometry_reply(xcb, questions[k].geometry, nullptr));
        x11::Reply<xcb_translate_coordinates_reply_t> origin(
            xcb_translate_coordinates_reply(xcb, questions[k].origin, nullptr));
        if (top || !attributes || !geometry || !origin ||
            attributes->map_state != XCB_MAP_STATE_VIEWABLE) {
            continue; // every reply is still collected, so none is left queued
        }
        if (x >= origin->dst_x && y >= origin->dst_y && x < origin->dst_x + geometry->width &&
            y < origin->dst_y + geometry->height) {
            top = ClientWindow{stacking[k],   std::nullopt,    origin->dst_x,
                               origin->dst_y, geometry->width, geometry->height};
        }
    }
    if (top) top->pid = connection.number(top->window, connection.atom("_NET_WM_PID"));
    return top;
}

} // namespace x11_stacking
