#include "platform/linux/x11/xfixes_pasteboard.h"

#include "common/unicode_text.h"

#include <poll.h>
#include <xcb/xfixes.h>

namespace {

using Clock = std::chrono::steady_clock;

bool isPropertyChange(const XfixesPasteboard&, const xcb_generic_event_t& event) {
    return (event.response_type & 0x7f) == XCB_PROPERTY_NOTIFY;
}

} // namespace

XfixesPasteboard::XfixesPasteboard(const char* displayName)
    : display_(x11::Connection::open(displayName)) {
    if (!display_) return;
    xcb_connection_t* c = display_->xcb();
    display_->internAtoms({"CLIPBOARD", "UTF8_STRING", "INCR", "_QUILL_CLIPBOARD_TEXT"});
    clipboard_ = display_->atom("CLIPBOARD");
    target_ = display_->atom("UTF8_STRING");
    incr_ = display_->atom("INCR");
    property_ = display_->atom("_QUILL_CLIPBOARD_TEXT");

    window_ = xcb_generate_id(c);
    const std::uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window_, display_->root(), -1, -1, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK,
                      &events);

    const auto xfixes = display_->extension(&xcb_xfixes_id);
    if (!xfixes) return;
    x11::Reply<xcb_xfixes_query_version_reply_t> version(
        xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, 5, 0), nullptr));
    if (!version || clipboard_ == XCB_ATOM_NONE) return;
    xfixesFirstEvent_ = xfixes->firstEvent;
    xcb_xfixes_select_selection_input(c, window_, clipboard_,
                                      XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
    display_->sync();
    watching_ = true;
}

XfixesPasteboard::~XfixesPasteboard() {
    if (display_ && window_ != XCB_WINDOW_NONE) {
        xcb_destroy_window(display_->xcb(), window_);
        display_->flush();
    }
}

void XfixesPasteboard::take(x11::Reply<xcb_generic_event_t> event) {
    if (!event || !watching_) return;
    if ((event->response_type & 0x7f) == xfixesFirstEvent_ + XCB_XFIXES_SELECTION_NOTIFY) ++count_;
}

std::int64_t XfixesPasteboard::changeCount() {
    if (!watching_ || display_->broken()) return count_;
    // The round trip makes every owner change the server made before now arrive.
    display_->sync();
    while (auto* event = xcb_poll_for_event(display_->xcb()))
        take(x11::Reply<xcb_generic_event_t>(event));
    return count_;
}

x11::Reply<xcb_generic_event_t>
XfixesPasteboard::waitFor(bool (*wanted)(const XfixesPasteboard&, const xcb_generic_event_t&),
                          Clock::time_point deadline) {
    xcb_connection_t* c = display_->xcb();
    display_->flush();
    for (;;) {
        while (auto* raw = xcb_poll_for_event(c)) {
            x11::Reply<xcb_generic_event_t> event(raw);
            if (wanted(*this, *event)) return event;
            take(std::move(event)); // owner changes seen meanwhile still count
        }
        if (display_->broken()) return nullptr;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return nullptr;
        pollfd fd{display_->fileDescriptor(), POLLIN, 0};
        ::poll(&fd, 1, static_cast<int>(left.count()));
    }
}

std::optional<std::string> XfixesPasteboard::plainText() {
    if (!display_ || display_->broken() || clipboard_ == XCB_ATOM_NONE) return std::nullopt;
    xcb_connection_t* c = display_->xcb();
    const auto deadline = Clock::now() + answerTimeout;
    // A real timestamp tells this request's answer from a late one to an earlier request.
    const auto time = serverTime(deadline);
    if (!time) return std::nullopt;
    requestTime_ = *time;
    xcb_delete_property(c, window_, property_);
    xcb_convert_selection(c, window_, clipboard_, target_, property_, requestTime_);
    auto answer = waitFor(
        [](const XfixesPasteboard& self, const xcb_generic_event_t& event) {
            if ((event.response_type & 0x7f) != XCB_SELECTION_NOTIFY) return false;
            const auto& notify = reinterpret_cast<const xcb_selection_notify_event_t&>(event);
            // Some owners answer with CurrentTime instead of the request's time.
            return notify.time == self.requestTime_ || notify.time == XCB_CURRENT_TIME;
        },
        deadline);
    if (!answer) return std::nullopt;
    const auto& notify = reinterpret_cast<const xcb_selection_notify_event_t&>(*answer);
    if (notify.property == XCB_ATOM_NONE) return std::nullopt; // no owner, or no text

    x11::Reply<xcb_get_property_reply_t> value(xcb_get_property_reply(
        c,
        xcb_get_property(c, 1, window_, property_, XCB_GET_PROPERTY_TYPE_ANY, 0, maxTextBytes / 4),
        nullptr));
    if (!value) return std::nullopt;
    if (value->type == incr_) return readIncrementally(deadline + answerTimeout);
    if (value->format != 8 || value->bytes_after > 0) return std::nullopt; // over the cap
    std::string bytes(static_cast<const char*>(xcb_get_property_value(value.get())),
                      static_cast<std::size_t>(xcb_get_property_value_length(value.get())));
    return text::sanitizeUtf8(bytes);
}

std::optional<xcb_timestamp_t> XfixesPasteboard::serverTime(Clock::time_point deadline) {
    // Appending nothing to a property still makes the server report the time of the change.
    xcb_change_property(display_->xcb(), XCB_PROP_MODE_APPEND, window_, property_, XCB_ATOM_STRING,
                        8, 0, nullptr);
    for (;;) {
        auto change = waitFor(isPropertyChange, deadline);
        if (!change) return std::nullopt;
        const auto& notify = reinterpret_cast<const xcb_property_notify_event_t&>(*change);
        if (notify.window == window_ && notify.atom == property_ &&
            notify.state == XCB_PROPERTY_NEW_VALUE)
            return notify.time;
    }
}

std::optional<std::string> XfixesPasteboard::readIncrementally(Clock::time_point deadline) {
    // The owner now writes the text in pieces, each after the previous one was deleted
    // (the INCR property itself was deleted by the read that found it); an empty piece ends it.
    xcb_connection_t* c = display_->xcb();
    std::string bytes;
    for (;;) {
        auto change = waitFor(isPropertyChange, deadline);
        if (!change) return std::nullopt;
        const auto& notify = reinterpret_cast<const xcb_property_notify_event_t&>(*change);
        if (notify.window != window_ || notify.atom != property_ ||
            notify.state != XCB_PROPERTY_NEW_VALUE)
            continue;
        x11::Reply<xcb_get_property_reply_t> piece(
            xcb_get_property_reply(c,
                                   xcb_get_property(c, 1, window_, property_,
                                                    XCB_GET_PROPERTY_TYPE_ANY, 0, maxTextBytes / 4),
                                   nullptr));
        if (!piece || piece->format != 8) return std::nullopt;
        const auto length = static_cast<std::size_t>(xcb_get_property_value_length(piece.get()));
        if (length == 0) return text::sanitizeUtf8(bytes);
        if (bytes.size() + length > maxTextBytes) return std::nullopt;
        bytes.append(static_cast<const char*>(xcb_get_property_value(piece.get())), length);
    }
}
