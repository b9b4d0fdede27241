// Running applications as an EWMH window manager knows them: the active window's client
// is the frontmost application, the client list gives the running ones.
#pragma once

#include "platform/linux/desktop_entries.h"
#include "platform/linux/x11_connection.h"
#include "platform/workspace.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>
#include <xcb/xcb.h>

class EwmhWorkspace final : public Workspace {
public:
    /// `display` may be null: there is then no frontmost application and none running.
    explicit EwmhWorkspace(std::shared_ptr<x11::Connection> display);

    std::optional<RunningApplication> frontmostApplication() override;
    std::vector<RunningApplication> runningApplications() override;

    /// What the X server knows about one top-level client window.
    struct ClientWindow {
        xcb_window_t window = XCB_WINDOW_NONE;
        std::int32_t pid = -1; ///< -1 when unknown or the client runs on another machine
        std::string instance;  ///< WM_CLASS instance
        std::string className; ///< WM_CLASS class
        bool listed = true;    ///< a normal window shown in task bars
    };
    /// The window that has the focus (_NET_ACTIVE_WINDOW, else the input focus's client).
    std::optional<xcb_window_t> activeWindow();
    /// Facts about `windows`, read with one round trip.
    std::vector<ClientWindow> describe(const std::vector<xcb_window_t>& windows);
    /// The application that owns a client window.
    RunningApplication application(const ClientWindow& client);

private:
    std::optional<xcb_window_t> focusedClient();

    std::shared_ptr<x11::Connection> display_;
    DesktopEntries entries_;
    std::string hostName_;
};
