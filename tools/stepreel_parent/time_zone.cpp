#include "tools/stepreel_parent/time_zone.h"

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>

namespace stepreel_parent {

namespace {

/// "Area/City" from a path such as /usr/share/zoneinfo/Area/City.
std::optional<std::string> nameFromZoneFile(const std::string& path) {
    constexpr std::string_view marker = "zoneinfo/";
    const auto at = path.find(marker);
    if (at == std::string::npos || at + marker.size() >= path.size()) return std::nullopt;
    return path.substr(at + marker.size());
}

std::optional<std::string> zoneName() {
    if (const char* tz = std::getenv("TZ"); tz && *tz) {
        std::string value = tz[0] == ':' ? tz + 1 : tz;
        if (value.starts_with("/")) return nameFromZoneFile(value);
        // "UTC", "Europe/Berlin"; a POSIX rule such as "CET-1CEST" is no zone name.
        if (value.find_first_of("0123456789,<") == std::string::npos) return value;
        return std::nullopt;
    }
    std::error_code ec;
    const auto target = std::filesystem::read_symlink("/etc/localtime", ec);
    if (ec) return std::nullopt;
    return nameFromZoneFile(target.string());
}

} // namespace

nlohmann::ordered_json localTimeZone(std::int64_t atMs) {
    const std::time_t seconds = static_cast<std::time_t>(atMs / 1000);
    std::tm local{};
    ::localtime_r(&seconds, &local);
    nlohmann::ordered_json zone;
    if (const auto name = zoneName()) zone["name"] = *name;
    zone["utcOffsetMinutes"] = static_cast<std::int64_t>(local.tm_gmtoff / 60);
    return zone;
}

} // namespace stepreel_parent
