// The episode's index.html: one row per recorded operation with its before and after
// screenshots, focus dwells and lost screenshots in between.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace stepreel_parent {

struct TimelineRow {
    enum class Kind { action, focus, loss };
    Kind kind = Kind::action;
    std::int64_t atMs = 0; ///< when it happened (record time, or arrival for a loss)
    nlohmann::json record; ///< the record as received; null for a loss
    std::optional<std::string> beforeImage; ///< relative path of the screenshot before it
    std::optional<std::string> afterImage;  ///< relative path of its result screenshot
    nlohmann::json result;                  ///< the "result" record that refers to it, or null
};

/// Text made safe for HTML element content and quoted attribute values.
std::string escapeHtml(std::string_view text);

/// The whole index.html for the episode `meta` (its EpisodeMeta JSON form) and rows in
/// the order they should be shown.
std::string renderTimeline(const nlohmann::ordered_json& meta,
                           const std::vector<TimelineRow>& rows);

} // namespace stepreel_parent
