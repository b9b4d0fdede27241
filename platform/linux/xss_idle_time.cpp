#include "platform/linux/xss_idle_time.h"

#include "platform/linux/x11_connection.h"

#include <xcb/screensaver.h>

XssIdleTime::XssIdleTime(std::shared_ptr<x11::Connection> connection)
    : connection_(std::move(connection)) {}

XssIdleTime::~XssIdleTime() = default;

double XssIdleTime::secondsSinceLastEvent(InputEventType) {
    const auto now = std::chrono::steady_clock::now();
    if (last_ && now - last_->taken < readingReuse)
        return last_->seconds + std::chrono::duration<double>(now - last_->taken).count();
    if (!connection_) connection_ = x11::Connection::open();
    if (!connection_) return 0;
    xcb_connection_t* c = connection_->xcb();
    const auto cookie = xcb_screensaver_query_info(c, connection_->root());
    x11::Reply<xcb_screensaver_query_info_reply_t> info(
        xcb_screensaver_query_info_reply(c, cookie, nullptr));
    if (!info) return 0;
    last_ = Reading{info->ms_since_user_input / 1000.0, now};
    return last_->seconds;
}
