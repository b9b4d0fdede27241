// Shared pieces of the X11 port contract tests: shell commands, a bounded main-loop spin,
// and plain windows made by the test itself.
#pragma once

#include "platform/linux/x11_connection.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <glib.h>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <xcb/xcb.h>

namespace ports_test {

/// Runs a shell command (xdotool …) and expects it to succeed.
inline void sh(const std::string& command) {
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

/// Iterates the default main context until `done` holds; false when `guard` passes first.
/// The guard only stops a broken test from hanging; no test asserts a duration.
inline bool spinUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds guard = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + guard;
    const guint tick = g_timeout_add(
        20, [](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr);
    while (!done() && std::chrono::steady_clock::now() < deadline)
        g_main_context_iteration(nullptr, TRUE);
    g_source_remove(tick);
    return done();
}

/// A mapped top-level window with WM_CLASS, a title and optionally _NET_WM_PID.
inline xcb_window_t makeWindow(x11::Connection& x, const std::string& instance,
                               const std::string& className, bool withPid = true) {
    xcb_connection_t* c = x.xcb();
    const xcb_window_t window = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, x.root(), 50, 50, 300, 200, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
    std::string wmClass = instance + '\0' + className + '\0';
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                        static_cast<std::uint32_t>(wmClass.size()), wmClass.data());
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                        static_cast<std::uint32_t>(className.size()), className.data());
    if (withPid) {
        const std::uint32_t pid = static_cast<std::uint32_t>(getpid());
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, x.atom("_NET_WM_PID"),
                            XCB_ATOM_CARDINAL, 32, 1, &pid);
        char host[256] = {};
        gethostname(host, sizeof host - 1);
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, x.atom("WM_CLIENT_MACHINE"),
                            XCB_ATOM_STRING, 8, static_cast<std::uint32_t>(std::strlen(host)),
                            host);
    }
    xcb_map_window(c, window);
    x.sync();
    return window;
}

/// Gives `window` the focus through the window manager and waits until the manager reports it
/// active. xdotool's --sync is not enough: it returns at once while no window is active.
inline void activate(x11::Connection& x, xcb_window_t window) {
    const xcb_atom_t active = x.atom("_NET_ACTIVE_WINDOW");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        sh("xdotool windowactivate " + std::to_string(window) + " >/dev/null 2>&1");
        for (int poll = 0; poll < 50; ++poll) {
            if (x.number(x.root(), active) == window) return;
            usleep(10'000);
        }
    }
    ADD_FAILURE() << "window " << window << " never became active";
}

} // namespace ports_test
