// Running applications as an EWMH window manager knows them: the active window's client
// is the frontmost application, the client list gives the running ones. Without a window
// manager, the input focus and the root's mapped client windows stand in for both.
#pragma once

#include "platform/linux/x11/x11_connection.h"
#include "platform/workspace.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>
#include <xcb/xcb.h>

/// An application's display name and identifier as the desktop knows them.
struct ApplicationName {
    std::string name;       ///< in the session's language
    std::string identifier; ///< stands in for a bundle identifier
};

/// Names the application of an X client from its WM_CLASS instance and class and its
/// executable (/proc/<pid>/exe, when known); nothing when the desktop does not know it.
using ApplicationNaming = std::function<std::optional<ApplicationName>(
    const std::string& instance, const std::string& className,
    const std::optional<std::string>& executable)>;

class EwmhWorkspace final : public Workspace {
public:
    /// `display` may be null: there is then no frontmost application and none running.
    /// Applications that `naming` does not name (or all, when it is empty) are named after
    /// their WM_CLASS.
    EwmhWorkspace(std::shared_ptr<x11::Connection> display, ApplicationNaming naming);

    std::optional<RunningApplication> frontmostApplication() override;
    std::vector<RunningApplication> runningApplications() override;
    /// The window there is the topmost viewable one in the X server's own stacking order, so
    /// override-redirect menus count; a window number is a top-level window or a client.
    std::optional<RunningApplication>
    applicationAt(geo::Point point, std::optional<std::uint32_t> windowNumber) override;
    /// A top-level window or a client.
    std::optional<RunningApplication> applicationOfWindow(std::uint32_t windowNumber) override;

    /// Turns a global point (top-left origin of the main screen, points) into root-window
    /// pixels; without it the two are taken to be the same.
    using RootPlacement = std::function<geo::Point(geo::Point)>;
    void setRootPlacement(RootPlacement placement) { rootPlacement_ = std::move(placement); }

    /// What the X server knows about one top-level client window.
    struct ClientWindow {
        xcb_window_t window = XCB_WINDOW_NONE;
        std::int32_t pid = -1;            ///< -1 when unknown or the client runs on another machine
        std::string instance;             ///< WM_CLASS instance
        std::string className;            ///< WM_CLASS class
        bool listed = true;               ///< a normal window shown in task bars
        std::optional<std::string> title; ///< _NET_WM_NAME, else WM_NAME; valid UTF-8
        xcb_window_t transientFor = XCB_WINDOW_NONE; ///< WM_TRANSIENT_FOR
        bool popup = false; ///< a menu, combo list or tooltip, or an override-redirect window
    };
    /// Facts about `windows`, read with one round trip.
    std::vector<ClientWindow> describe(const std::vector<xcb_window_t>& windows);
    /// The application that owns a client window.
    RunningApplication application(const ClientWindow& client);

private:
    /// What _NET_ACTIVE_WINDOW names, live or not: XCB_WINDOW_NONE for the desktop itself,
    /// absent when no window manager says.
    std::optional<xcb_window_t> namedActiveWindow();
    std::optional<xcb_window_t> focusedClient();
    /// Mapped client windows that are children of the root: the clients when no window
    /// manager reparents them.
    std::vector<xcb_window_t> topLevelClients();
    /// `client`, or the window it belongs to when it is a popup or has no title of its own.
    ClientWindow owningWindow(ClientWindow client);
    /// The application of the window `topLevel` (a top-level window or a client), described
    /// with it; nothing when it has gone or belongs to no client.
    std::optional<RunningApplication> ownerOfWindow(xcb_window_t topLevel);
    /// The name of process `pid`: what the desktop names its oldest listed window (else its
    /// oldest window) after; nothing when it names none.
    std::optional<ApplicationName> nameOfProcess(std::int32_t pid,
                                                 const std::optional<std::string>& executable);

    std::shared_ptr<x11::Connection> display_;
    ApplicationNaming naming_;
    RootPlacement rootPlacement_;
    std::string hostName_;
    /// Process names, valid while the client list is `namedClients_`.
    std::vector<std::uint32_t> namedClients_;
    std::map<std::int32_t, ApplicationName> processNames_;
};
