#include "platform/linux/xss_idle_time.h"

#include "platform/linux/x11_connection.h"

#include <xcb/screensaver.h>

XssIdleTime::XssIdleTime(std::shared_ptr<x11::Connection> connection)
    : connection_(std::move(connection)) {}

XssIdleTime::~XssIdleTime() = default;

double XssIdleTime::secondsSinceLastEvent(InputEventType) {
    if (!connection_) connection_ = x11::Connection::open();
    if (!connection_) return 0;
    xcb_connection_t* c = connection_->xcb();
    const auto cookie = xcb_screensaver_query_info(c, connection_->root());
    x11::Reply<xcb_screensaver_query_info_reply_t> info(
        xcb_screensaver_query_info_reply(c, cookie, nullptr));
    if (!info) return 0;
    return info->ms_since_user_input / 1000.0;
}
