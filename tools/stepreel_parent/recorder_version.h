// The recorder's version, as `stepreel --version` prints it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace stepreel_parent {

/// The last word of the first line of `output`, if it looks like a version ("0.9.0").
std::optional<std::string> versionFromOutput(std::string_view output);

/// Runs `path --version` (at most a few seconds, no input) and reads its answer; nothing
/// when it fails, answers otherwise or takes too long.
std::optional<std::string> askRecorderVersion(const std::string& path);

} // namespace stepreel_parent
