// Whether this session has a D-Bus session bus, told without starting one.
#pragma once

namespace session_bus {

/// True when the session bus has an address (DBUS_SESSION_BUS_ADDRESS) or the per-user
/// socket ($XDG_RUNTIME_DIR/bus) exists. Without either, libdbus would autolaunch a bus
/// daemon (and with it the accessibility bus) that outlives this process, so callers
/// treat the bus as absent instead.
bool configured();

/// True when the accessibility bus can be reached without autolaunching anything: through
/// the session bus, or an address given directly (AT_SPI_BUS_ADDRESS).
bool accessibilityBusConfigured();

} // namespace session_bus
