// The CLIPBOARD selection: a change counter fed by XFixes owner notifications, and its text
// through a bounded UTF8_STRING conversion. Uses a connection of its own, so that waiting
// for the owner's answer never takes input events from the main loop.
#pragma once

#include "platform/linux/x11/x11_connection.h"
#include "platform/pasteboard.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <xcb/xcb.h>

class XfixesPasteboard final : public Pasteboard {
public:
    /// Opens its own connection to `displayName` ($DISPLAY when null). Without a display or
    /// XFixes the count never changes and there is no text.
    explicit XfixesPasteboard(const char* displayName = nullptr);
    ~XfixesPasteboard() override;

    std::int64_t changeCount() override;
    std::optional<std::string> plainText() override;

    /// How long the clipboard's owner may take to answer, and the most text taken from it.
    static constexpr std::chrono::milliseconds answerTimeout{200};
    static constexpr std::size_t maxTextBytes = 8 << 20;

private:
    void take(x11::Reply<xcb_generic_event_t> event);
    x11::Reply<xcb_generic_event_t> waitFor(bool (*wanted)(const XfixesPasteboard&,
                                                           const xcb_generic_event_t&),
                                            std::chrono::steady_clock::time_point deadline);
    std::optional<xcb_timestamp_t> serverTime(std::chrono::steady_clock::time_point deadline);
    std::optional<std::string> readIncrementally(std::chrono::steady_clock::time_point deadline);

    std::unique_ptr<x11::Connection> display_;
    xcb_window_t window_ = XCB_WINDOW_NONE;
    std::uint8_t xfixesFirstEvent_ = 0;
    bool watching_ = false;
    std::int64_t count_ = 0;
    xcb_atom_t clipboard_ = XCB_ATOM_NONE;
    xcb_atom_t target_ = XCB_ATOM_NONE;
    xcb_atom_t property_ = XCB_ATOM_NONE;
    xcb_atom_t incr_ = XCB_ATOM_NONE;
    xcb_timestamp_t requestTime_ = XCB_CURRENT_TIME;
};
