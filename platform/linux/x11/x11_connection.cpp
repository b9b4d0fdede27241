#include "platform/linux/x11/x11_connection.h"

#include <cstring>

namespace x11 {

std::unique_ptr<Connection> Connection::open(const char* displayName) {
    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(displayName, &screenNumber);
    if (xcb_connection_has_error(connection) != 0) {
        xcb_disconnect(connection); // also frees the error object xcb_connect returned
        return nullptr;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && it.rem > 0; ++i)
        xcb_screen_next(&it);
    if (it.rem == 0 || it.data == nullptr) {
        xcb_disconnect(connection);
        return nullptr;
    }
    return std::unique_ptr<Connection>(new Connection(connection, it.data));
}

Connection::Connection(xcb_connection_t* connection, const xcb_screen_t* screen)
    : connection_(connection), screen_(screen) {}

Connection::~Connection() {
    xcb_disconnect(connection_);
}

int Connection::fileDescriptor() const {
    return xcb_get_file_descriptor(connection_);
}

bool Connection::broken() const {
    return xcb_connection_has_error(connection_) != 0;
}

void Connection::flush() const {
    xcb_flush(connection_);
}

void Connection::sync() const {
    Reply<xcb_get_input_focus_reply_t> reply(
        xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
}

xcb_atom_t Connection::atom(std::string_view name) {
    if (auto found = atoms_.find(std::string(name)); found != atoms_.end()) return found->second;
    const auto cookie =
        xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(name.size()), name.data());
    Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(connection_, cookie, nullptr));
    if (!reply) return XCB_ATOM_NONE; // not cached: a broken connection may come back never
    atoms_.emplace(std::string(name), reply->atom);
    return reply->atom;
}

void Connection::internAtoms(std::initializer_list<std::string_view> names) {
    std::vector<std::pair<std::string_view, xcb_intern_atom_cookie_t>> pending;
    for (auto name : names) {
        if (atoms_.contains(std::string(name))) continue;
        pending.emplace_back(
            name,
            xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(name.size()), name.data()));
    }
    for (auto& [name, cookie] : pending) {
        Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(connection_, cookie, nullptr));
        if (reply) atoms_.emplace(std::string(name), reply->atom);
    }
}

std::optional<Connection::Extension> Connection::extension(xcb_extension_t* id) const {
    const xcb_query_extension_reply_t* data = xcb_get_extension_data(connection_, id);
    if (data == nullptr || data->present == 0) return std::nullopt;
    return Extension{data->major_opcode, data->first_event};
}

std::optional<Connection::Property> Connection::property(xcb_window_t window, xcb_atom_t name,
                                                         std::uint32_t maxBytes) const {
    if (window == XCB_WINDOW_NONE || name == XCB_ATOM_NONE) return std::nullopt;
    const auto cookie = xcb_get_property(connection_, 0, window, name, XCB_GET_PROPERTY_TYPE_ANY, 0,
                                         (maxBytes + 3) / 4);
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(connection_, cookie, nullptr));
    if (!reply || reply->type == XCB_ATOM_NONE) return std::nullopt;
    const int length = xcb_get_property_value_length(reply.get());
    if (length < 0) return std::nullopt;
    const auto* value = static_cast<const std::uint8_t*>(xcb_get_property_value(reply.get()));
    return Property{reply->type, reply->format,
                    std::vector<std::uint8_t>(value, value + static_cast<std::size_t>(length))};
}

std::vector<std::uint32_t> Connection::numbers(xcb_window_t window, xcb_atom_t name) const {
    auto found = property(window, name);
    if (!found || found->format != 32) return {};
    std::vector<std::uint32_t> values(found->bytes.size() / 4);
    if (!values.empty()) std::memcpy(values.data(), found->bytes.data(), values.size() * 4);
    return values;
}

std::optional<std::uint32_t> Connection::number(xcb_window_t window, xcb_atom_t name) const {
    auto values = numbers(window, name);
    if (values.empty()) return std::nullopt;
    return values.front();
}

std::optional<std::string> Connection::text(xcb_window_t window, xcb_atom_t name) const {
    auto found = property(window, name);
    if (!found || found->format != 8) return std::nullopt;
    return std::string(found->bytes.begin(), found->bytes.end());
}

} // namespace x11
