// Writes one recorded episode to a folder as its frames arrive: events.jsonl,
// focus.jsonl, frames/<seq>-full.jpg, and at the end episode.json and index.html.
#pragma once

#include "tools/stepreel_parent/frame_parser.h"
#include "tools/stepreel_parent/timeline_html.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace stepreel_parent {

class EpisodeFolder {
public:
    /// Creates `dir` (and frames/ inside it). Refuses a folder that exists and is not empty,
    /// so an earlier episode is never overwritten. On failure returns null and sets `error`.
    static std::unique_ptr<EpisodeFolder> create(const std::filesystem::path& dir,
                                                 std::int64_t startedAtMs, std::string& error);

    /// Takes one valid frame. Returns a description of a fault in the episode (a frame of
    /// another session, a record naming a screenshot that never arrived, a write failure);
    /// the frame is still kept where possible.
    std::optional<std::string> accept(const Frame& frame, std::int64_t receivedAtMs);

    /// Writes episode.json and index.html. Returns a description of a write failure.
    std::optional<std::string> close();

    bool finished() const { return endedAtMs_.has_value(); }
    std::int64_t actionCount() const { return actionCount_; }
    std::int64_t frameCount() const { return frameCount_; }
    std::int64_t lossCount() const { return lossCount_; }
    const std::filesystem::path& dir() const { return dir_; }

    /// The EpisodeMeta JSON form of what has been received so far.
    nlohmann::ordered_json meta() const;

    /// Rows of the timeline in time order; a result record is folded into its operation.
    std::vector<TimelineRow> timeline() const;

private:
    EpisodeFolder(std::filesystem::path dir, std::int64_t startedAtMs);
    std::optional<std::string> checkSession(const Frame& frame);
    std::optional<std::string> acceptAction(const nlohmann::json& record);
    std::optional<std::string> acceptScreenshot(const Frame& frame);

    std::filesystem::path dir_;
    std::ofstream events_;
    std::ofstream focus_;
    std::int64_t startedAtMs_;
    std::optional<std::int64_t> endedAtMs_;
    std::optional<std::string> id_;
    std::int64_t actionCount_ = 0;
    std::int64_t frameCount_ = 0;
    std::int64_t lossCount_ = 0;
    std::map<std::int64_t, std::string> screenshots_; ///< seq -> relative path written
    std::vector<TimelineRow> rows_;                   ///< arrival order
};

} // namespace stepreel_parent
