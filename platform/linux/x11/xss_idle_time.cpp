#include "platform/linux/x11/xss_idle_time.h"

#include "platform/linux/x11/x11_connection.h"

#include <cstring>
#include <string_view>
#include <xcb/screensaver.h>
#include <xcb/sync.h>

XssIdleTime::XssIdleTime(std::shared_ptr<x11::Connection> connection)
    : connection_(std::move(connection)) {}

XssIdleTime::~XssIdleTime() = default;

double XssIdleTime::secondsSinceLastEvent(InputEventType) {
    const auto now = std::chrono::steady_clock::now();
    if (last_ && now - last_->taken < readingReuse)
        return last_->seconds + std::chrono::duration<double>(now - last_->taken).count();
    if (!connection_) connection_ = x11::Connection::open();
    if (!connection_ || connection_->broken()) return 0;
    auto seconds = screenSaverSeconds();
    if (!seconds) seconds = idleCounterSeconds();
    if (!seconds) return 0;
    last_ = Reading{*seconds, now};
    return *seconds;
}

std::optional<double> XssIdleTime::screenSaverSeconds() {
    if (!connection_->extension(&xcb_screensaver_id)) return std::nullopt;
    xcb_connection_t* c = connection_->xcb();
    const auto cookie = xcb_screensaver_query_info(c, connection_->root());
    x11::Reply<xcb_screensaver_query_info_reply_t> info(
        xcb_screensaver_query_info_reply(c, cookie, nullptr));
    if (!info) return std::nullopt;
    return info->ms_since_user_input / 1000.0;
}

std::optional<double> XssIdleTime::idleCounterSeconds() {
    if (!connection_->extension(&xcb_sync_id)) return std::nullopt;
    xcb_connection_t* c = connection_->xcb();
    if (!idleCounter_) {
        x11::Reply<xcb_sync_initialize_reply_t> version(
            xcb_sync_initialize_reply(c, xcb_sync_initialize(c, 3, 1), nullptr));
        if (!version) return std::nullopt;
        x11::Reply<xcb_sync_list_system_counters_reply_t> list(
            xcb_sync_list_system_counters_reply(c, xcb_sync_list_system_counters(c), nullptr));
        if (!list) return std::nullopt;
        // Read from the wire layout: xcb's struct pads the 14-byte head of each entry to 16,
        // which puts every name two bytes off.
        const auto* entries = reinterpret_cast<const std::uint8_t*>(list.get() + 1);
        const std::size_t size = std::size_t{list->length} * 4;
        std::size_t at = 0;
        for (std::uint32_t i = 0; i < list->counters_len && at + 14 <= size; ++i) {
            std::uint32_t counter = 0;
            std::uint16_t nameLength = 0;
            std::memcpy(&counter, entries + at, 4);
            std::memcpy(&nameLength, entries + at + 12, 2);
            if (at + 14 + nameLength > size) break;
            const std::string_view name(reinterpret_cast<const char*>(entries + at + 14),
                                        nameLength);
            if (name == "IDLETIME") idleCounter_ = counter;
            at += (14 + std::size_t{nameLength} + 3) & ~std::size_t{3};
        }
        if (!idleCounter_) return std::nullopt;
    }
    x11::Reply<xcb_sync_query_counter_reply_t> value(
        xcb_sync_query_counter_reply(c, xcb_sync_query_counter(c, *idleCounter_), nullptr));
    if (!value) return std::nullopt;
    const std::int64_t ms = (static_cast<std::int64_t>(value->counter_value.hi) << 32) |
                            static_cast<std::int64_t>(value->counter_value.lo);
    return static_cast<double>(ms) / 1000.0;
}
