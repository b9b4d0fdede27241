// The local time zone, as the episode's times are to be read.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>

namespace stepreel_parent {

/// {"name": IANA name if known, "utcOffsetMinutes": offset from UTC at `atMs`}. The name
/// comes from TZ, else from the /etc/localtime link.
nlohmann::ordered_json localTimeZone(std::int64_t atMs);

} // namespace stepreel_parent
