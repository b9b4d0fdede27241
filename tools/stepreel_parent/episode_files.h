// The files of an episode folder as they stand on disk: reading them back, and writing a
// file whole so that a reader never sees half of it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace stepreel_parent {

/// One line of a .jsonl file: the record and the exact bytes it was written as.
struct RecordLine {
    nlohmann::json record;
    std::string line;
};

struct EpisodeContent {
    nlohmann::ordered_json meta;    ///< episode.json
    std::vector<RecordLine> events; ///< events.jsonl, in file order
    std::vector<RecordLine> focus;  ///< focus.jsonl, in file order
    std::set<std::int64_t> frames;  ///< seq of every frames/<seq>-full.jpg present
};

/// The relative name of record `seq`'s screenshot.
std::string frameName(std::int64_t seq);

/// The folder's own name ("my-morning" for episodes/my-morning/).
std::string folderName(const std::filesystem::path& dir);

/// Reads episode.json, events.jsonl, focus.jsonl and the frames/ listing of `dir`. A line
/// that is not a JSON object is skipped. On failure returns nothing and sets `error`.
std::optional<EpisodeContent> readEpisode(const std::filesystem::path& dir, std::string& error);

/// Writes `path` through a temporary file beside it and a rename.
bool replaceFile(const std::filesystem::path& path, std::string_view content);

/// One record as a .jsonl line (without the newline); invalid UTF-8 is replaced.
std::string recordLine(const nlohmann::json& record);

} // namespace stepreel_parent
