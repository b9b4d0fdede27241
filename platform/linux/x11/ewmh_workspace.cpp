#include "platform/linux/x11/ewmh_workspace.h"

#include "common/unicode_text.h"
#include "platform/linux/x11/x11_stacking.h"
#include "platform/linux/x11/x11_window_list.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <unistd.h>

namespace {

std::optional<std::string> readLink(const std::string& path) {
    char buffer[PATH_MAX];
    const ssize_t length = readlink(path.c_str(), buffer, sizeof buffer);
    if (length <= 0) return std::nullopt;
    return std::string(buffer, static_cast<std::size_t>(length));
}

std::optional<std::string> processName(std::int32_t pid) {
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    if (!std::getline(comm, name) || name.empty()) return std::nullopt;
    return name;
}

x11::Reply<xcb_get_property_reply_t> reply(xcb_connection_t* c, xcb_get_property_cookie_t cookie) {
    return x11::Reply<xcb_get_property_reply_t>(xcb_get_property_reply(c, cookie, nullptr));
}

std::string_view bytesOf(const xcb_get_property_reply_t* r) {
    if (r == nullptr || r->format != 8) return {};
    return {static_cast<const char*>(xcb_get_property_value(r)),
            static_cast<std::size_t>(xcb_get_property_value_length(r))};
}

std::vector<xcb_atom_t> atomsOf(const xcb_get_property_reply_t* r) {
    if (r == nullptr || r->format != 32) return {};
    std::vector<xcb_atom_t> atoms(static_cast<std::size_t>(xcb_get_property_value_length(r)) / 4);
    if (!atoms.empty()) std::memcpy(atoms.data(), xcb_get_property_value(r), atoms.size() * 4);
    return atoms;
}

} // namespace

EwmhWorkspace::EwmhWorkspace(std::shared_ptr<x11::Connection> display, ApplicationNaming naming)
    : display_(std::move(display)), naming_(std::move(naming)) {
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) == 0) hostName_ = host;
    if (display_)
        display_->internAtoms(
            {"_NET_ACTIVE_WINDOW", "_NET_CLIENT_LIST", "_NET_WM_PID", "_NET_WM_WINDOW_TYPE",
             "_NET_WM_WINDOW_TYPE_NORMAL", "_NET_WM_STATE", "_NET_WM_STATE_SKIP_TASKBAR",
             "WM_CLIENT_MACHINE", "_NET_WM_NAME", "UTF8_STRING", "_NET_WM_WINDOW_TYPE_POPUP_MENU",
             "_NET_WM_WINDOW_TYPE_DROPDOWN_MENU", "_NET_WM_WINDOW_TYPE_MENU",
             "_NET_WM_WINDOW_TYPE_COMBO", "_NET_WM_WINDOW_TYPE_TOOLTIP", "WM_STATE"});
}

std::optional<RunningApplication> EwmhWorkspace::frontmostApplication() {
    if (!display_ || display_->broken()) return std::nullopt;
    const auto named = namedActiveWindow();
    if (named == XCB_WINDOW_NONE) return std::nullopt; // the desktop itself is active
    // A manager may go on naming a window that has since been destroyed: `describe` leaves
    // it out, which saves asking whether it exists first.
    std::vector<ClientWindow> clients;
    if (named) clients = describe({*named});
    if (clients.empty()) {
        const auto focused = focusedClient();
        if (focused) clients = describe({*focused});
    }
    if (clients.empty()) return std::nullopt;
    const ClientWindow front = owningWindow(clients.front());
    RunningApplication app = application(front);
    app.frontWindowTitle = front.title;
    app.frontWindowNumber = front.window;
    return app;
}

std::optional<ApplicationName>
EwmhWorkspace::nameOfProcess(std::int32_t pid, const std::optional<std::string>& executable) {
    if (!naming_ || !display_ || display_->broken()) return std::nullopt;
    const std::vector<std::uint32_t> clients =
        display_->numbers(display_->root(), display_->atom("_NET_CLIENT_LIST"));
    if (clients != namedClients_) {
        // The windows changed: name each process anew after its oldest window that the desktop
        // names, a window shown in task bars first.
        namedClients_ = clients;
        processNames_.clear();
        std::map<std::int32_t, bool> fromListed;
        for (const ClientWindow& window :
             describe(std::vector<xcb_window_t>(clients.begin(), clients.end()))) {
            if (window.pid <= 0) continue;
            const auto known = fromListed.find(window.pid);
            if (known != fromListed.end() && (known->second || !window.listed)) continue;
            std::optional<std::string> program;
            if (window.pid != pid)
                program = readLink("/proc/" + std::to_string(window.pid) + "/exe");
            auto name = naming_(window.instance, window.className,
                                window.pid == pid ? executable : program);
            if (!name) continue;
            processNames_[window.pid] = std::move(*name);
            fromListed[window.pid] = window.listed;
        }
    }
    const auto found = processNames_.find(pid);
    if (found == processNames_.end()) return std::nullopt;
    return found->second;
}

std::optional<RunningApplication>
EwmhWorkspace::applicationAt(geo::Point point, std::optional<std::uint32_t> windowNumber) {
    if (!display_ || display_->broken()) return std::nullopt;
    // The window the press was made in, while it exists, even closed or covered since.
    if (windowNumber) {
        if (auto app = ownerOfWindow(*windowNumber)) return app;
    }
    const geo::Point root = rootPlacement_ ? rootPlacement_(point) : point;
    const auto top = x11_stacking::topLevelAt(*display_, static_cast<int>(std::floor(root.x)),
                                              static_cast<int>(std::floor(root.y)));
    if (!top) return std::nullopt;
    return ownerOfWindow(*top);
}

std::optional<RunningApplication> EwmhWorkspace::applicationOfWindow(std::uint32_t windowNumber) {
    if (!display_ || display_->broken()) return std::nullopt;
    return ownerOfWindow(windowNumber);
}

std::optional<RunningApplication> EwmhWorkspace::ownerOfWindow(xcb_window_t topLevel) {
    const std::vector<ClientWindow> clients =
        describe({x11_stacking::clientOf(*display_, topLevel)});
    if (clients.empty()) return std::nullopt;
    ClientWindow window = clients.front();
    const ClientWindow owner = owningWindow(window);
    // A popup that does not name its process belongs to its owner's.
    if (window.pid < 0 && window.className.empty()) {
        window.pid = owner.pid;
        window.instance = owner.instance;
        window.className = owner.className;
    }
    if (window.pid < 0 && window.className.empty() && window.instance.empty()) return std::nullopt;
    RunningApplication app = application(window);
    app.frontWindowTitle = owner.title;
    app.frontWindowNumber = window.window;
    app.frontWindowIsPopup = window.popup;
    return app;
}

std::vector<RunningApplication> EwmhWorkspace::runningApplications() {
    if (!display_ || display_->broken()) return {};
    const xcb_atom_t clientList = display_->atom("_NET_CLIENT_LIST");
    std::vector<xcb_window_t> windows;
    if (display_->property(display_->root(), clientList, 4)) {
        const auto list = display_->numbers(display_->root(), clientList);
        windows.assign(list.begin(), list.end());
    } else {
        windows = topLevelClients(); // no EWMH window manager
    }
    const auto clients = describe(windows);

    // One entry per process (per WM_CLASS for clients without a known pid), in the order of
    // their oldest window; listed if any of its windows is.
    std::vector<std::pair<ClientWindow, bool>> processes;
    std::map<std::string, std::size_t> indexOf;
    for (const auto& client : clients) {
        const std::string key =
            client.pid >= 0 ? std::to_string(client.pid) : "class:" + client.className;
        auto [it, inserted] = indexOf.emplace(key, processes.size());
        if (inserted)
            processes.emplace_back(client, client.listed);
        else
            processes[it->second].second = processes[it->second].second || client.listed;
    }
    std::vector<RunningApplication> apps;
    for (auto& [client, listed] : processes) {
        client.listed = listed;
        apps.push_back(application(client));
    }
    return apps;
}

std::optional<xcb_window_t> EwmhWorkspace::namedActiveWindow() {
    const auto property =
        display_->property(display_->root(), display_->atom("_NET_ACTIVE_WINDOW"));
    if (!property || property->format != 32 || property->bytes.size() < 4) return std::nullopt;
    xcb_window_t window = XCB_WINDOW_NONE;
    std::memcpy(&window, property->bytes.data(), 4);
    return window;
}

std::vector<xcb_window_t> EwmhWorkspace::topLevelClients() {
    xcb_connection_t* c = display_->xcb();
    x11::Reply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(c, xcb_query_tree(c, display_->root()), nullptr));
    if (!tree) return {};
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    const std::vector<xcb_window_t> all(children,
                                        children + xcb_query_tree_children_length(tree.get()));
    struct Questions {
        xcb_get_window_attributes_cookie_t attributes;
        xcb_get_property_cookie_t wmClass;
    };
    std::vector<Questions> questions;
    questions.reserve(all.size());
    for (xcb_window_t w : all)
        questions.push_back(
            {xcb_get_window_attributes(c, w),
             xcb_get_property(c, 0, w, XCB_ATOM_WM_CLASS, XCB_GET_PROPERTY_TYPE_ANY, 0, 1)});
    std::vector<xcb_window_t> clients;
    for (std::size_t i = 0; i < all.size(); ++i) {
        x11::Reply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(c, questions[i].attributes, nullptr));
        const auto wmClass = reply(c, questions[i].wmClass);
        // Menus and tooltips are override-redirect; clients carry WM_CLASS.
        if (attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE &&
            attributes->override_redirect == 0 && wmClass && wmClass->type != XCB_ATOM_NONE)
            clients.push_back(all[i]);
    }
    return clients;
}

EwmhWorkspace::ClientWindow EwmhWorkspace::owningWindow(ClientWindow client) {
    // A few steps at most: a chain of transient popups is short, and a loop must end.
    for (int step = 0; step < 4 && (client.popup || !client.title); ++step) {
        if (client.transientFor == XCB_WINDOW_NONE || client.transientFor == display_->root() ||
            client.transientFor == client.window)
            break;
        auto owner = describe({client.transientFor});
        if (owner.empty()) break;
        client = std::move(owner.front());
    }
    return client;
}

std::optional<xcb_window_t> EwmhWorkspace::focusedClient() {
    xcb_connection_t* c = display_->xcb();
    x11::Reply<xcb_get_input_focus_reply_t> focus(
        xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    if (!focus || focus->focus == XCB_WINDOW_NONE || focus->focus == XCB_INPUT_FOCUS_POINTER_ROOT)
        return std::nullopt;
    // The focus may sit on a child of the client window; the client carries WM_CLASS.
    xcb_window_t window = focus->focus;
    for (int depth = 0; depth < 8 && window != display_->root(); ++depth) {
        // A window manager's own helper windows carry an empty class.
        const auto wmClass = display_->property(window, XCB_ATOM_WM_CLASS, 256);
        if (wmClass && !wmClass->bytes.empty() && wmClass->bytes.front() != 0) return window;
        x11::Reply<xcb_query_tree_reply_t> tree(
            xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr));
        if (!tree) break;
        window = tree->parent;
    }
    return std::nullopt;
}

std::vector<EwmhWorkspace::ClientWindow>
EwmhWorkspace::describe(const std::vector<xcb_window_t>& windows) {
    if (!display_ || display_->broken()) return {};
    xcb_connection_t* c = display_->xcb();
    const xcb_atom_t pidAtom = display_->atom("_NET_WM_PID");
    const xcb_atom_t typeAtom = display_->atom("_NET_WM_WINDOW_TYPE");
    const xcb_atom_t stateAtom = display_->atom("_NET_WM_STATE");
    const xcb_atom_t normal = display_->atom("_NET_WM_WINDOW_TYPE_NORMAL");
    const xcb_atom_t skipTaskbar = display_->atom("_NET_WM_STATE_SKIP_TASKBAR");
    const xcb_atom_t machineAtom = display_->atom("WM_CLIENT_MACHINE");
    const xcb_atom_t netNameAtom = display_->atom("_NET_WM_NAME");
    const xcb_atom_t utf8 = display_->atom("UTF8_STRING");
    const std::array<xcb_atom_t, 5> popupTypes{display_->atom("_NET_WM_WINDOW_TYPE_POPUP_MENU"),
                                               display_->atom("_NET_WM_WINDOW_TYPE_DROPDOWN_MENU"),
                                               display_->atom("_NET_WM_WINDOW_TYPE_MENU"),
                                               display_->atom("_NET_WM_WINDOW_TYPE_COMBO"),
                                               display_->atom("_NET_WM_WINDOW_TYPE_TOOLTIP")};

    struct Cookies {
        xcb_get_window_attributes_cookie_t attributes;
        xcb_get_property_cookie_t pid, wmClass, type, state, machine, netName, name, transientFor;
    };
    auto get = [c](xcb_window_t w, xcb_atom_t atom, std::uint32_t longs) {
        return xcb_get_property(c, 0, w, atom, XCB_GET_PROPERTY_TYPE_ANY, 0, longs);
    };
    std::vector<Cookies> cookies;
    cookies.reserve(windows.size());
    for (xcb_window_t w : windows)
        cookies.push_back({xcb_get_window_attributes(c, w), get(w, pidAtom, 1),
                           get(w, XCB_ATOM_WM_CLASS, 256), get(w, typeAtom, 32),
                           get(w, stateAtom, 32), get(w, machineAtom, 64),
                           get(w, netNameAtom, 1024), get(w, XCB_ATOM_WM_NAME, 1024),
                           get(w, XCB_ATOM_WM_TRANSIENT_FOR, 1)});

    std::vector<ClientWindow> clients;
    for (std::size_t i = 0; i < windows.size(); ++i) {
        auto pid = reply(c, cookies[i].pid);
        auto wmClass = reply(c, cookies[i].wmClass);
        auto type = reply(c, cookies[i].type);
        auto state = reply(c, cookies[i].state);
        auto machine = reply(c, cookies[i].machine);
        auto netName = reply(c, cookies[i].netName);
        auto name = reply(c, cookies[i].name);
        auto transientFor = reply(c, cookies[i].transientFor);
        x11::Reply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(c, cookies[i].attributes, nullptr));
        if (!attributes) continue; // destroyed since it was listed
        ClientWindow client;
        client.window = windows[i];
        if (pid && pid->format == 32 && xcb_get_property_value_length(pid.get()) >= 4)
            client.pid = *static_cast<const std::int32_t*>(xcb_get_property_value(pid.get()));
        // A pid is only meaningful on this machine.
        std::string_view host = bytesOf(machine.get());
        if (!host.empty() && host.substr(0, host.find('\0')) != hostName_) client.pid = -1;
        if (client.pid <= 0) client.pid = -1;

        std::string_view classBytes = bytesOf(wmClass.get());
        const auto split = classBytes.find('\0');
        client.instance = std::string(classBytes.substr(0, split));
        if (split != std::string_view::npos) {
            std::string_view rest = classBytes.substr(split + 1);
            client.className = std::string(rest.substr(0, rest.find('\0')));
        }

        const auto types = atomsOf(type.get());
        const auto states = atomsOf(state.get());
        const bool isNormal = types.empty() || types.front() == normal;
        const bool skips = std::find(states.begin(), states.end(), skipTaskbar) != states.end();
        client.listed = isNormal && !skips;
        client.popup =
            attributes->override_redirect != 0 ||
            std::any_of(types.begin(), types.end(), [&](xcb_atom_t t) {
                return std::find(popupTypes.begin(), popupTypes.end(), t) != popupTypes.end();
            });

        std::string title;
        if (netName && netName->type == utf8)
            title = windowNameText(bytesOf(netName.get()), false);
        else if (name && name->type != XCB_ATOM_NONE)
            title = windowNameText(bytesOf(name.get()), name->type == XCB_ATOM_STRING);
        if (!title.empty()) client.title = std::move(title);
        if (transientFor && transientFor->format == 32 &&
            xcb_get_property_value_length(transientFor.get()) >= 4)
            client.transientFor =
                *static_cast<const xcb_window_t*>(xcb_get_property_value(transientFor.get()));
        clients.push_back(std::move(client));
    }
    return clients;
}

RunningApplication EwmhWorkspace::application(const ClientWindow& client) {
    RunningApplication app;
    app.processIdentifier = client.pid;
    app.activationPolicy = client.listed ? ActivationPolicy::regular : ActivationPolicy::accessory;

    std::optional<std::string> executable;
    if (client.pid > 0) executable = readLink("/proc/" + std::to_string(client.pid) + "/exe");
    // One process is one application, whichever of its windows is asked about (LibreOffice's
    // dialogs have a class of their own).
    std::optional<ApplicationName> named;
    if (client.pid > 0) named = nameOfProcess(client.pid, executable);
    if (!named && naming_) named = naming_(client.instance, client.className, executable);
    if (named) {
        app.localizedName = text::sanitizeUtf8(named->name);
        app.bundleIdentifier = text::sanitizeUtf8(named->identifier);
    } else if (!client.className.empty() || !client.instance.empty()) {
        const std::string& name = client.className.empty() ? client.instance : client.className;
        app.localizedName = text::sanitizeUtf8(name);
        app.bundleIdentifier = text::sanitizeUtf8(name);
    } else if (client.pid > 0) {
        if (auto comm = processName(client.pid)) app.localizedName = text::sanitizeUtf8(*comm);
    }
    return app;
}
