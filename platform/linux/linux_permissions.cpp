#include "platform/linux/linux_permissions.h"

#include "platform/linux/atspi/session_bus.h"

#include <cstdlib>
#include <gio/gio.h>
#include <optional>
#include <string>
#include <string_view>
#include <xcb/xinput.h>

namespace {

constexpr int callTimeoutMs = 1000;
constexpr std::string_view allThree = "screen_recording, input_monitoring, accessibility: ";

// The session bus, if one is set up. Never autolaunched: a check must not start daemons.
GDBusConnection* sessionBus() {
    if (!session_bus::configured()) return nullptr;
    return g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
}

/// org.a11y.Status IsEnabled: whether toolkits that ask (Qt, Chromium) expose their elements.
std::optional<bool> accessibilityEnabled(GDBusConnection* bus) {
    g_autoptr(GVariant) reply = g_dbus_connection_call_sync(
        bus, "org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Get",
        g_variant_new("(ss)", "org.a11y.Status", "IsEnabled"), G_VARIANT_TYPE("(v)"),
        G_DBUS_CALL_FLAGS_NONE, callTimeoutMs, nullptr, nullptr);
    if (reply == nullptr) return std::nullopt;
    g_autoptr(GVariant) value = nullptr;
    g_variant_get(reply, "(v)", &value);
    if (!g_variant_is_of_type(value, G_VARIANT_TYPE_BOOLEAN)) return std::nullopt;
    return g_variant_get_boolean(value) != FALSE;
}

std::string environmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::string displayRemedy() {
    const std::string display = environmentValue("DISPLAY");
    if (!display.empty())
        return std::string(allThree) + "X ディスプレイ " + display +
               " に接続できません。X サーバーが動いているか、接続が許されているか(XAUTHORITY)"
               "を確かめてください。";
    if (!environmentValue("WAYLAND_DISPLAY").empty())
        return std::string(allThree) +
               "X ディスプレイがありません(DISPLAY が未設定)。X のない Wayland セッションでは"
               "記録できません。XWayland のあるセッションか X11 セッションで起動してください。";
    return std::string(allThree) +
           "X ディスプレイがありません(DISPLAY が未設定)。X11 のデスクトップセッションの中で"
           "起動するか、DISPLAY を設定してください。";
}

void ignoreMessage(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}

} // namespace

LinuxPermissions::LinuxPermissions(std::shared_ptr<x11::Connection> display)
    : display_(std::move(display)) {}

bool LinuxPermissions::displayUsable() const {
    return display_ && !display_->broken();
}

PermissionState LinuxPermissions::screenRecording() {
    return displayUsable() ? PermissionState::granted : PermissionState::denied;
}

PermissionState LinuxPermissions::inputMonitoring() {
    if (!displayUsable()) return PermissionState::denied;
    if (!display_->extension(&xcb_input_id)) return PermissionState::denied;
    xcb_connection_t* c = display_->xcb();
    x11::Reply<xcb_input_xi_query_version_reply_t> version(
        xcb_input_xi_query_version_reply(c, xcb_input_xi_query_version(c, 2, 2), nullptr));
    if (!version) return PermissionState::unknown;
    return version->major_version >= 2 ? PermissionState::granted : PermissionState::denied;
}

LinuxPermissions::BusCheck LinuxPermissions::checkAccessibilityBus() const {
    g_autoptr(GDBusConnection) bus = sessionBus();
    if (bus == nullptr) return {BusProblem::noSessionBus, {}};

    g_autoptr(GError) error = nullptr;
    g_autoptr(GVariant) reply = g_dbus_connection_call_sync(
        bus, "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress", nullptr,
        G_VARIANT_TYPE("(s)"), G_DBUS_CALL_FLAGS_NONE, callTimeoutMs, nullptr, &error);
    if (reply == nullptr) {
        // A bus that does not answer in time may still be starting: that cannot be told.
        return {g_error_matches(error, G_IO_ERROR, G_IO_ERROR_TIMED_OUT)
                    ? BusProblem::late
                    : BusProblem::noAccessibilityBus,
                {}};
    }
    const gchar* address = nullptr;
    g_variant_get(reply, "(&s)", &address);
    if (address == nullptr || *address == '\0') return {BusProblem::noAccessibilityBus, {}};

    g_autoptr(GDBusConnection) accessibilityBus = g_dbus_connection_new_for_address_sync(
        address,
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
    if (accessibilityBus == nullptr) return {BusProblem::unreachable, address};
    g_dbus_connection_close_sync(accessibilityBus, nullptr, nullptr);
    return {BusProblem::none, address};
}

PermissionState LinuxPermissions::accessibility() {
    if (!displayUsable()) return PermissionState::denied;
    switch (checkAccessibilityBus().problem) {
    case BusProblem::none:
        return PermissionState::granted;
    case BusProblem::late:
        return PermissionState::unknown;
    case BusProblem::noSessionBus:
    case BusProblem::noAccessibilityBus:
    case BusProblem::unreachable:
        break;
    }
    return PermissionState::denied;
}

std::vector<std::string> LinuxPermissions::remedies() {
    // Without a display nothing else can be told: all three hang on it.
    if (!displayUsable()) return {displayRemedy()};
    std::vector<std::string> lines;
    if (const int depth = display_->screen().root_depth; depth < 24)
        lines.push_back("screen_recording: 画面の色深度が " + std::to_string(depth) +
                        " ビットのため、スクリーンショットを撮れません。24 ビットカラーの画面で"
                        "起動してください(Xvfb なら -screen 0 1280x800x24)。");
    switch (inputMonitoring()) {
    case PermissionState::granted:
        break;
    case PermissionState::denied:
        lines.push_back("input_monitoring: X サーバーに XInput2(2.0 以降)がありません。XInput2 "
                        "のある X サーバー(Xorg、Xvfb)で起動してください。");
        break;
    case PermissionState::unknown:
        lines.push_back("input_monitoring: XInput2 の版を問い合わせられませんでした。もう一度 "
                        "stepreel --check で確かめてください。");
        break;
    }
    const BusCheck bus = checkAccessibilityBus();
    switch (bus.problem) {
    case BusProblem::none:
        break;
    case BusProblem::noSessionBus:
        lines.push_back("accessibility: D-Bus のセッションバスがありません"
                        "(DBUS_SESSION_BUS_ADDRESS が未設定で、$XDG_RUNTIME_DIR/bus もありません)。"
                        "デスクトップセッションの中で起動してください。");
        return lines;
    case BusProblem::noAccessibilityBus:
        lines.push_back("accessibility: セッションバスにアクセシビリティバス(org.a11y.Bus)が"
                        "ありません。at-spi2-core を入れてから stepreel --request を実行して"
                        "ください。");
        return lines;
    case BusProblem::late:
        lines.push_back("accessibility: アクセシビリティバスが 1 秒以内に応答しませんでした"
                        "(起動中かもしれません)。少し待ってから stepreel --check で確かめて"
                        "ください。");
        return lines;
    case BusProblem::unreachable:
        lines.push_back("accessibility: アクセシビリティバス(" + bus.address +
                        ")に接続できません。at-spi2-core のバスを起動し直すか、ログインし直して"
                        "ください。");
        return lines;
    }
    g_autoptr(GDBusConnection) session = sessionBus();
    const std::optional<bool> enabled =
        session != nullptr ? accessibilityEnabled(session) : std::nullopt;
    if (enabled.has_value() && !*enabled)
        lines.push_back("accessibility: アクセシビリティが無効です(org.a11y.Status IsEnabled)。"
                        "Qt や Chromium のアプリは画面の要素を示しません。stepreel --request で"
                        "有効にしてください。");
    return lines;
}

void LinuxPermissions::request() {
    if (g_autoptr(GDBusConnection) bus = sessionBus()) {
        g_autoptr(GVariant) reply = g_dbus_connection_call_sync(
            bus, "org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Set",
            g_variant_new("(ssv)", "org.a11y.Status", "IsEnabled", g_variant_new_boolean(TRUE)),
            nullptr, G_DBUS_CALL_FLAGS_NONE, callTimeoutMs, nullptr, nullptr);
        (void)reply; // held only to be freed: the call's effect is what counts
    }

    // GNOME's switch, where the schema is installed. GIO announces its fallback to a memory
    // backend on standard error; that note is of no use here.
    GSettingsSchemaSource* schemas = g_settings_schema_source_get_default();
    if (schemas == nullptr) return;
    g_autoptr(GSettingsSchema) schema =
        g_settings_schema_source_lookup(schemas, "org.gnome.desktop.interface", TRUE);
    if (schema == nullptr || !g_settings_schema_has_key(schema, "toolkit-accessibility")) return;
    const guint handler =
        g_log_set_handler("GLib-GIO", G_LOG_LEVEL_MESSAGE, ignoreMessage, nullptr);
    {
        g_autoptr(GSettings) settings = g_settings_new("org.gnome.desktop.interface");
        g_settings_set_boolean(settings, "toolkit-accessibility", TRUE);
        g_settings_sync();
    }
    g_log_remove_handler("GLib-GIO", handler);
}
