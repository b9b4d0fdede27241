#include "platform/linux/atspi/session_bus.h"

#include <cstdlib>
#include <string>
#include <sys/stat.h>

namespace session_bus {
namespace {

bool nonEmpty(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

} // namespace

bool configured() {
    if (nonEmpty("DBUS_SESSION_BUS_ADDRESS")) return true;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    struct stat info {};
    return runtime != nullptr && *runtime != '\0' &&
           ::stat((std::string(runtime) + "/bus").c_str(), &info) == 0;
}

bool accessibilityBusConfigured() {
    return nonEmpty("AT_SPI_BUS_ADDRESS") || configured();
}

} // namespace session_bus
