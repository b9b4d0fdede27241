// The episode's index.html: the page source (timeline/) with the episode's data embedded
// as inert JSON, which the page's script renders with text nodes only.
#pragma once

#include "tools/stepreel_parent/episode_files.h"

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace stepreel_parent {

/// The data the page reads: episode.json, the records (page addresses without their query
/// values and fragment), the frames present, and the folder's name for the hints it shows.
nlohmann::ordered_json timelineData(const EpisodeContent& content, std::string_view folderName);

/// JSON text that can sit inside a <script> element: `<`, `>`, `&`, U+2028 and U+2029 are
/// written as \u escapes, so no record can end the element or open a comment.
std::string scriptSafeJson(const nlohmann::ordered_json& value);

/// The whole index.html.
std::string renderTimeline(const EpisodeContent& content, std::string_view folderName);

} // namespace stepreel_parent
