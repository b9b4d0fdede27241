#include "platform/linux/x11/x11_stacking.h"

#include "platform/linux/x11/x11_connection.h"
#include "platform/linux/x11/x11_window_list.h"

#include <vector>

namespace x11_stacking {

namespace {

/// The process a `_NET_WM_PID` reply names.
std::optional<std::uint32_t> pidOf(const x11::Reply<xcb_get_property_reply_t>& reply) {
    if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) < 4)
        return std::nullopt;
    return *static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
}

} // namespace

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
        xcb_get_property_cookie_t pid;
    };
    const xcb_atom_t pidAtom = connection.atom("_NET_WM_PID");
    std::vector<Questions> questions;
    questions.reserve(stacking.size());
    for (std::uint32_t window : stacking) {
        questions.push_back(
            {xcb_get_window_attributes(xcb, window), xcb_get_geometry(xcb, window),
             xcb_translate_coordinates(xcb, window, connection.root(), 0, 0),
             xcb_get_property(xcb, 0, window, pidAtom, XCB_GET_PROPERTY_TYPE_ANY, 0, 1)});
    }
    std::optional<ClientWindow> top;
    for (std::size_t k = stacking.size(); k-- > 0;) { // topmost first
        x11::Reply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(xcb, questions[k].attributes, nullptr));
        x11::Reply<xcb_get_geometry_reply_t> geometry(
            xcb_get_geometry_reply(xcb, questions[k].geometry, nullptr));
        x11::Reply<xcb_translate_coordinates_reply_t> origin(
            xcb_translate_coordinates_reply(xcb, questions[k].origin, nullptr));
        x11::Reply<xcb_get_property_reply_t> pid(
            xcb_get_property_reply(xcb, questions[k].pid, nullptr));
        if (top || !attributes || !geometry || !origin ||
            attributes->map_state != XCB_MAP_STATE_VIEWABLE) {
            continue; // every reply is still collected, so none is left queued
        }
        if (x >= origin->dst_x && y >= origin->dst_y && x < origin->dst_x + geometry->width &&
            y < origin->dst_y + geometry->height) {
            top = ClientWindow{stacking[k],   pidOf(pid),      origin->dst_x,
                               origin->dst_y, geometry->width, geometry->height};
        }
    }
    return top;
}

std::optional<ClientWindow> describeClient(x11::Connection& connection, std::uint32_t window) {
    xcb_connection_t* xcb = connection.xcb();
    // All questions at once, one round trip.
    const auto geometryCookie = xcb_get_geometry(xcb, window);
    const auto originCookie = xcb_translate_coordinates(xcb, window, connection.root(), 0, 0);
    const auto pidCookie = xcb_get_property(xcb, 0, window, connection.atom("_NET_WM_PID"),
                                            XCB_GET_PROPERTY_TYPE_ANY, 0, 1);
    x11::Reply<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(xcb, geometryCookie, nullptr));
    x11::Reply<xcb_translate_coordinates_reply_t> origin(
        xcb_translate_coordinates_reply(xcb, originCookie, nullptr));
    x11::Reply<xcb_get_property_reply_t> pid(xcb_get_property_reply(xcb, pidCookie, nullptr));
    if (!geometry || !origin) return std::nullopt;
    return ClientWindow{window,        pidOf(pid),      origin->dst_x,
                        origin->dst_y, geometry->width, geometry->height};
}

std::optional<ClientFacts> clientFacts(x11::Connection& connection, std::uint32_t window) {
    xcb_connection_t* xcb = connection.xcb();
    const auto get = [&](xcb_atom_t atom, std::uint32_t longs) {
        return xcb_get_property(xcb, 0, window, atom, XCB_GET_PROPERTY_TYPE_ANY, 0, longs);
    };
    const auto attributesCookie = xcb_get_window_attributes(xcb, window);
    const auto typeCookie = get(connection.atom("_NET_WM_WINDOW_TYPE"), 8);
    const auto netNameCookie = get(connection.atom("_NET_WM_NAME"), 256);
    const auto nameCookie = get(XCB_ATOM_WM_NAME, 256);
    const auto transientCookie = get(XCB_ATOM_WM_TRANSIENT_FOR, 1);
    std::optional<ClientWindow> client = describeClient(connection, window);
    x11::Reply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(xcb, attributesCookie, nullptr));
    x11::Reply<xcb_get_property_reply_t> type(xcb_get_property_reply(xcb, typeCookie, nullptr));
    x11::Reply<xcb_get_property_reply_t> netName(
        xcb_get_property_reply(xcb, netNameCookie, nullptr));
    x11::Reply<xcb_get_property_reply_t> name(xcb_get_property_reply(xcb, nameCookie, nullptr));
    x11::Reply<xcb_get_property_reply_t> transient(
        xcb_get_property_reply(xcb, transientCookie, nullptr));
    if (!client || !attributes) return std::nullopt;

    ClientFacts facts{*client, std::nullopt, attributes->override_redirect != 0,
                      attributes->map_state == XCB_MAP_STATE_VIEWABLE, 0};
    if (type && type->format == 32) {
        const auto* types = static_cast<const xcb_atom_t*>(xcb_get_property_value(type.get()));
        const int count = xcb_get_property_value_length(type.get()) / 4;
        for (const char* popupType :
             {"_NET_WM_WINDOW_TYPE_POPUP_MENU", "_NET_WM_WINDOW_TYPE_DROPDOWN_MENU",
              "_NET_WM_WINDOW_TYPE_MENU", "_NET_WM_WINDOW_TYPE_COMBO",
              "_NET_WM_WINDOW_TYPE_TOOLTIP"}) {
            const xcb_atom_t atom = connection.atom(popupType);
            for (int k = 0; k < count; ++k)
                facts.popup |= types[k] == atom;
        }
    }
    const auto textOf = [](const x11::Reply<xcb_get_property_reply_t>& reply, bool latin1) {
        std::string_view bytes(
            static_cast<const char*>(xcb_get_property_value(reply.get())),
            static_cast<std::size_t>(xcb_get_property_value_length(reply.get())));
        return windowNameText(bytes, latin1);
    };
    if (netName && netName->format == 8 && netName->value_len > 0)
        facts.title = textOf(netName, false);
    else if (name && name->format == 8 && name->value_len > 0)
        facts.title = textOf(name, name->type == XCB_ATOM_STRING);
    if (transient && transient->format == 32 && transient->value_len > 0)
        facts.transientFor =
            *static_cast<const xcb_window_t*>(xcb_get_property_value(transient.get()));
    if (!facts.client.pid && facts.transientFor != 0 && facts.transientFor != window) {
        facts.client.pid = connection.number(facts.transientFor, connection.atom("_NET_WM_PID"));
    }
    return facts;
}

std::optional<std::uint32_t> activeWindow(x11::Connection& connection) {
    xcb_window_t window = XCB_WINDOW_NONE;
    if (const auto active =
            connection.number(connection.root(), connection.atom("_NET_ACTIVE_WINDOW"))) {
        window = *active;
    } else {
        // No window manager says: the window with the input focus, or the client holding it.
        xcb_connection_t* xcb = connection.xcb();
        x11::Reply<xcb_get_input_focus_reply_t> focus(
            xcb_get_input_focus_reply(xcb, xcb_get_input_focus(xcb), nullptr));
        if (!focus || focus->focus == XCB_WINDOW_NONE ||
            focus->focus == XCB_INPUT_FOCUS_POINTER_ROOT)
            return std::nullopt;
        window = focus->focus;
        const xcb_atom_t pidAtom = connection.atom("_NET_WM_PID");
        for (int depth = 0; depth < 8 && window != connection.root(); ++depth) {
            if (connection.number(window, pidAtom)) break;
            x11::Reply<xcb_query_tree_reply_t> tree(
                xcb_query_tree_reply(xcb, xcb_query_tree(xcb, window), nullptr));
            if (!tree) return std::nullopt;
            window = tree->parent;
        }
    }
    if (window == XCB_WINDOW_NONE || window == connection.root()) return std::nullopt;
    return window;
}

std::optional<ClientWindow> activeClient(x11::Connection& connection) {
    const std::optional<std::uint32_t> window = activeWindow(connection);
    if (!window) return std::nullopt;
    return describeClient(connection, *window);
}

std::optional<std::uint32_t> topLevelAt(x11::Connection& connection, int x, int y) {
    xcb_connection_t* xcb = connection.xcb();
    x11::Reply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(xcb, xcb_query_tree(xcb, connection.root()), nullptr));
    if (!tree) return std::nullopt;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    const int count = xcb_query_tree_children_length(tree.get());
    struct Questions {
        xcb_get_window_attributes_cookie_t attributes;
        xcb_get_geometry_cookie_t geometry;
    };
    std::vector<Questions> questions;
    questions.reserve(static_cast<std::size_t>(count));
    for (int k = 0; k < count; ++k)
        questions.push_back(
            {xcb_get_window_attributes(xcb, children[k]), xcb_get_geometry(xcb, children[k])});
    std::optional<std::uint32_t> top;
    for (int k = count; k-- > 0;) { // the root's children come bottom first
        x11::Reply<xcb_get_window_attributes_reply_t> attributes(xcb_get_window_attributes_reply(
            xcb, questions[static_cast<std::size_t>(k)].attributes, nullptr));
        x11::Reply<xcb_get_geometry_reply_t> geometry(
            xcb_get_geometry_reply(xcb, questions[static_cast<std::size_t>(k)].geometry, nullptr));
        if (top || !attributes || !geometry || attributes->map_state != XCB_MAP_STATE_VIEWABLE ||
            attributes->_class != XCB_WINDOW_CLASS_INPUT_OUTPUT) {
            continue; // every reply is still collected, so none is left queued
        }
        const int border = geometry->border_width;
        if (x >= geometry->x && y >= geometry->y &&
            x < geometry->x + geometry->width + 2 * border &&
            y < geometry->y + geometry->height + 2 * border) {
            top = children[k];
        }
    }
    return top;
}

std::uint32_t clientOf(x11::Connection& connection, std::uint32_t topLevel) {
    xcb_connection_t* xcb = connection.xcb();
    const xcb_atom_t wmState = connection.atom("WM_STATE");
    // A frame holds its client a level or two down; a few levels are enough.
    std::vector<xcb_window_t> level{topLevel};
    for (int depth = 0; depth < 3 && !level.empty(); ++depth) {
        std::vector<xcb_get_property_cookie_t> states;
        std::vector<xcb_query_tree_cookie_t> trees;
        for (const xcb_window_t window : level) {
            states.push_back(xcb_get_property(xcb, 0, window, wmState, XCB_ATOM_ANY, 0, 0));
            trees.push_back(xcb_query_tree(xcb, window));
        }
        std::optional<xcb_window_t> found;
        std::vector<xcb_window_t> next;
        for (std::size_t k = 0; k < level.size(); ++k) {
            x11::Reply<xcb_get_property_reply_t> state(
                xcb_get_property_reply(xcb, states[k], nullptr));
            x11::Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(xcb, trees[k], nullptr));
            if (!found && state && state->type != XCB_ATOM_NONE) found = level[k];
            if (tree) {
                const xcb_window_t* children = xcb_query_tree_children(tree.get());
                next.insert(next.end(), children,
                            children + xcb_query_tree_children_length(tree.get()));
            }
        }
        if (found) return *found;
        level = std::move(next);
    }
    return topLevel;
}

} // namespace x11_stacking
