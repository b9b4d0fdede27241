#include "platform/linux/x11/x11_window_list.h"

#include "platform/linux/x11/x11_connection.h"

#include <algorithm>
#include <utility>

namespace {

constexpr std::uint32_t maxPropertyWords = 4096;

struct TypeLayer {
    std::string_view type;
    std::optional<std::int64_t> layer; ///< nothing: a desktop element
};

constexpr TypeLayer typeLayers[] = {
    {"_NET_WM_WINDOW_TYPE_DESKTOP", std::nullopt},
    {"_NET_WM_WINDOW_TYPE_NORMAL", window_layer::normal},
    {"_NET_WM_WINDOW_TYPE_DIALOG", window_layer::normal},
    {"_NET_WM_WINDOW_TYPE_DOCK", window_layer::dock},
    {"_NET_WM_WINDOW_TYPE_TOOLBAR", window_layer::floating},
    {"_NET_WM_WINDOW_TYPE_MENU", window_layer::floating},
    {"_NET_WM_WINDOW_TYPE_UTILITY", window_layer::utility},
    {"_NET_WM_WINDOW_TYPE_SPLASH", window_layer::floating},
    {"_NET_WM_WINDOW_TYPE_DROPDOWN_MENU", window_layer::popUpMenu},
    {"_NET_WM_WINDOW_TYPE_POPUP_MENU", window_layer::popUpMenu},
    {"_NET_WM_WINDOW_TYPE_COMBO", window_layer::popUpMenu},
    {"_NET_WM_WINDOW_TYPE_TOOLTIP", window_layer::help},
    {"_NET_WM_WINDOW_TYPE_NOTIFICATION", window_layer::status},
    {"_NET_WM_WINDOW_TYPE_DND", window_layer::dragging},
};

using PropertyReply = x11::Reply<xcb_get_property_reply_t>;

xcb_get_property_cookie_t requestProperty(xcb_connection_t* c, xcb_window_t window,
                                          xcb_atom_t name) {
    return xcb_get_property(c, 0, window, name, XCB_GET_PROPERTY_TYPE_ANY, 0, maxPropertyWords);
}

PropertyReply await(xcb_connection_t* c, xcb_get_property_cookie_t cookie) {
    return PropertyReply(xcb_get_property_reply(c, cookie, nullptr));
}

std::span<const std::uint32_t> words(const PropertyReply& reply) {
    if (!reply || reply->format != 32) return {};
    return {static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get())),
            static_cast<std::size_t>(xcb_get_property_value_length(reply.get())) / 4};
}

std::string_view bytes(const PropertyReply& reply) {
    if (!reply || reply->format != 8 || reply->type == XCB_ATOM_NONE) return {};
    return {static_cast<const char*>(xcb_get_property_value(reply.get())),
            static_cast<std::size_t>(xcb_get_property_value_length(reply.get()))};
}

/// Appends `point` as UTF-8.
void appendUtf8(std::string& out, char32_t point) {
    if (point < 0x80) {
        out += static_cast<char>(point);
    } else if (point < 0x800) {
        out += static_cast<char>(0xC0 | (point >> 6));
        out += static_cast<char>(0x80 | (point & 0x3F));
    } else if (point < 0x10000) {
        out += static_cast<char>(0xE0 | (point >> 12));
        out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (point & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (point >> 18));
        out += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (point & 0x3F));
    }
}

/// Length of the valid UTF-8 sequence at the start of `text`, 0 when it is not one.
std::size_t validSequence(std::string_view text) {
    const auto lead = static_cast<unsigned char>(text[0]);
    std::size_t length = 0;
    char32_t point = 0;
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2, point = lead & 0x1F;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3, point = lead & 0x0F;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4, point = lead & 0x07;
    else
        return 0;
    if (text.size() < length) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[i]);
        if ((next & 0xC0) != 0x80) return 0;
        point = (point << 6) | (next & 0x3F);
    }
    const char32_t minimum = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
    if (point < minimum || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) return 0;
    return length;
}

} // namespace

std::optional<std::int64_t> windowLayer(std::span<const std::string> windowTypes, bool keptAbove) {
    std::int64_t layer = window_layer::normal;
    for (const std::string& type : windowTypes) {
        const auto known = std::find_if(std::begin(typeLayers), std::end(typeLayers),
                                        [&](const TypeLayer& entry) { return entry.type == type; });
        if (known == std::end(typeLayers)) continue;
        if (!known->layer) return std::nullopt;
        layer = *known->layer;
        break;
    }
    if (keptAbove) layer = std::max(layer, window_layer::floating);
    return layer;
}

std::string windowNameText(std::string_view bytes, bool isLatin1) {
    std::string text;
    text.reserve(bytes.size());
    while (!bytes.empty()) {
        if (isLatin1) {
            appendUtf8(text, static_cast<unsigned char>(bytes[0]));
            bytes.remove_prefix(1);
            continue;
        }
        const std::size_t length = validSequence(bytes);
        if (length == 0) {
            appendUtf8(text, 0xFFFD);
            bytes.remove_prefix(1);
        } else {
            text.append(bytes.substr(0, length));
            bytes.remove_prefix(length);
        }
    }
    return text;
}

X11WindowList::X11WindowList(std::shared_ptr<x11::Connection> connection)
    : connection_(std::move(connection)) {}

X11WindowList::~X11WindowList() = default;

std::vector<WindowListEntry> X11WindowList::onScreenWindows() {
    if (!connection_) connection_ = x11::Connection::open();
    if (!connection_) return {};
    x11::Connection& x = *connection_;
    x.internAtoms({"_NET_CLIENT_LIST_STACKING",
                   "_NET_WM_PID",
                   "_NET_WM_NAME",
                   "UTF8_STRING",
                   "_NET_WM_WINDOW_TYPE",
                   "_NET_WM_STATE",
                   "_NET_WM_STATE_ABOVE",
                   "_NET_WM_STATE_HIDDEN",
                   "_NET_WM_WINDOW_TYPE_DESKTOP",
                   "_NET_WM_WINDOW_TYPE_NORMAL",
                   "_NET_WM_WINDOW_TYPE_DIALOG",
                   "_NET_WM_WINDOW_TYPE_DOCK",
                   "_NET_WM_WINDOW_TYPE_TOOLBAR",
                   "_NET_WM_WINDOW_TYPE_MENU",
                   "_NET_WM_WINDOW_TYPE_UTILITY",
                   "_NET_WM_WINDOW_TYPE_SPLASH",
                   "_NET_WM_WINDOW_TYPE_DROPDOWN_MENU",
                   "_NET_WM_WINDOW_TYPE_POPUP_MENU",
                   "_NET_WM_WINDOW_TYPE_COMBO",
                   "_NET_WM_WINDOW_TYPE_TOOLTIP",
                   "_NET_WM_WINDOW_TYPE_NOTIFICATION",
                   "_NET_WM_WINDOW_TYPE_DND"});
    xcb_connection_t* c = x.xcb();

    // Bottom to top, as X stacks them.
    std::vector<xcb_window_t> stacking = x.numbers(x.root(), x.atom("_NET_CLIENT_LIST_STACKING"));
    if (stacking.empty()) {
        // No window manager: the root's children are the top-level windows.
        x11::Reply<xcb_query_tree_reply_t> tree(
            xcb_query_tree_reply(c, xcb_query_tree(c, x.root()), nullptr));
        if (tree) {
            const xcb_window_t* children = xcb_query_tree_children(tree.get());
            stacking.assign(children, children + xcb_query_tree_children_length(tree.get()));
        }
    }

    struct Pending {
        xcb_window_t window;
        xcb_get_window_attributes_cookie_t attributes;
        xcb_get_property_cookie_t pid, netName, name, types, state;
    };
    std::vector<Pending> pending;
    pending.reserve(stacking.size());
    // Every request goes out before the first reply is awaited: one round trip in all.
    for (auto window = stacking.rbegin(); window != stacking.rend(); ++window) {
        pending.push_back({*window, xcb_get_window_attributes(c, *window),
                           requestProperty(c, *window, x.atom("_NET_WM_PID")),
                           requestProperty(c, *window, x.atom("_NET_WM_NAME")),
                           requestProperty(c, *window, XCB_ATOM_WM_NAME),
                           requestProperty(c, *window, x.atom("_NET_WM_WINDOW_TYPE")),
                           requestProperty(c, *window, x.atom("_NET_WM_STATE"))});
    }

    std::vector<WindowListEntry> windows;
    for (const Pending& p : pending) {
        x11::Reply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(c, p.attributes, nullptr));
        const PropertyReply pid = await(c, p.pid);
        const PropertyReply netName = await(c, p.netName);
        const PropertyReply name = await(c, p.name);
        const PropertyReply types = await(c, p.types);
        const PropertyReply state = await(c, p.state);
        if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE ||
            attributes->_class != XCB_WINDOW_CLASS_INPUT_OUTPUT)
            continue;

        bool keptAbove = false;
        bool hidden = false;
        for (const std::uint32_t atom : words(state)) {
            keptAbove |= atom == x.atom("_NET_WM_STATE_ABOVE");
            hidden |= atom == x.atom("_NET_WM_STATE_HIDDEN");
        }
        if (hidden) continue;
        std::vector<std::string> typeNames;
        for (const std::uint32_t atom : words(types)) {
            for (const TypeLayer& known : typeLayers)
                if (x.atom(known.type) == atom) typeNames.emplace_back(known.type);
        }
        auto layer = windowLayer(typeNames, keptAbove);
        if (!layer) continue; // desktop element
        // Without a window manager, untyped override-redirect windows are menus and tooltips.
        if (attributes->override_redirect && *layer == window_layer::normal)
            layer = window_layer::popUpMenu;

        WindowListEntry entry;
        entry.number = p.window;
        entry.layer = *layer;
        if (const auto pidWords = words(pid); !pidWords.empty())
            entry.ownerPID = static_cast<std::int32_t>(pidWords[0]);
        if (netName && netName->type == x.atom("UTF8_STRING") && netName->format == 8)
            entry.name = windowNameText(bytes(netName), false);
        else if (name && name->format == 8 && name->type != XCB_ATOM_NONE)
            entry.name = windowNameText(bytes(name), name->type == XCB_ATOM_STRING);
        windows.push_back(std::move(entry));
    }
    return windows;
}
