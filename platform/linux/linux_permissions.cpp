#include "platform/linux/linux_permissions.h"

#include "platform/linux/atspi/session_bus.h"

#include <gio/gio.h>
#include <xcb/xinput.h>

namespace {

constexpr int callTimeoutMs = 1000;

// The session bus, if one is set up. Never autolaunched: a check must not start daemons.
GDBusConnection* sessionBus() {
    if (!session_bus::configured()) return nullptr;
    return g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
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

PermissionState LinuxPermissions::accessibility() {
    if (!displayUsable()) return PermissionState::denied;
    g_autoptr(GDBusConnection) bus = sessionBus();
    if (bus == nullptr) return PermissionState::denied;

    g_autoptr(GError) error = nullptr;
    g_autoptr(GVariant) reply = g_dbus_connection_call_sync(
        bus, "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress", nullptr,
        G_VARIANT_TYPE("(s)"), G_DBUS_CALL_FLAGS_NONE, callTimeoutMs, nullptr, &error);
    if (reply == nullptr) {
        // A bus that does not answer in time may still be starting: that cannot be told.
        return g_error_matches(error, G_IO_ERROR, G_IO_ERROR_TIMED_OUT) ? PermissionState::unknown
                                                                        : PermissionState::denied;
    }
    const gchar* address = nullptr;
    g_variant_get(reply, "(&s)", &address);
    if (address == nullptr || *address == '\0') return PermissionState::denied;

    g_autoptr(GDBusConnection) accessibilityBus = g_dbus_connection_new_for_address_sync(
        address,
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
    if (accessibilityBus == nullptr) return PermissionState::denied;
    g_dbus_connection_close_sync(accessibilityBus, nullptr, nullptr);
    return PermissionState::granted;
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
