// Writes one recorded episode to a folder as its frames arrive: events.jsonl, focus.jsonl,
// frames/<seq>-full.jpg, and episode.json and index.html, rewritten while it records and
// written once more at the end (see docs/episode.md).
#pragma once

#include "tools/stepreel_parent/episode_files.h"
#include "tools/stepreel_parent/folder_lock.h"
#include "tools/stepreel_parent/frame_parser.h"

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

/// What the parent knows of an episode before its first frame.
struct EpisodeSetup {
    std::filesystem::path dir;
    std::int64_t startedAtMs = 0;
    std::optional<std::string> recorderVersion;
    nlohmann::ordered_json timeZone;
    bool replay = false; ///< times come from the records only
};

class EpisodeFolder {
public:
    /// Checks that `setup.dir` is absent or empty, so an earlier episode is never
    /// overwritten. Nothing is created until the first frame of the episode arrives, so a
    /// recorder that fails to start leaves nothing behind.
    static std::unique_ptr<EpisodeFolder> prepare(EpisodeSetup setup, std::string& error);

    /// Takes one valid frame. Returns a description of a fault in the episode (a frame of
    /// another session, a record naming a screenshot that never arrived, a write failure);
    /// the frame is still kept where possible.
    std::optional<std::string> accept(const Frame& frame, std::int64_t receivedAtMs);

    /// The recorder said it paused or resumed at `atMs`.
    void notePause(std::int64_t atMs);
    void noteResume(std::int64_t atMs);

    /// Rewrites episode.json and index.html if anything arrived since they were written.
    std::optional<std::string> writeProgress();

    /// Writes the final episode.json and index.html; `endReason` is "completed",
    /// "display lost", "parent ended" or "stream cut". Nothing when no frame ever came.
    std::optional<std::string> close(const std::string& endReason);

    bool opened() const { return eventsFile_.is_open() || closed_; }
    bool finished() const { return finishedAtMs_.has_value(); }
    std::int64_t actionCount() const { return static_cast<std::int64_t>(events_.size()); }
    std::int64_t frameCount() const { return frameCount_; }
    std::int64_t lossCount() const { return lossCount_; }
    const std::filesystem::path& dir() const { return setup_.dir; }

    /// The episode.json form of what has been received so far.
    nlohmann::ordered_json meta() const;

    /// The folder's content as the timeline reads it.
    EpisodeContent content() const;

private:
    struct Shot {
        double fx = 0, fy = 0; ///< pointer as fractions of the screen
        std::int64_t width = 0, height = 0;
    };
    explicit EpisodeFolder(EpisodeSetup setup) : setup_(std::move(setup)) {}
    std::optional<std::string> open();
    std::optional<std::string> checkSession(const Frame& frame);
    std::optional<std::string> acceptAction(const nlohmann::json& record);
    std::optional<std::string> acceptScreenshot(const Frame& frame);
    void measureScreen(const nlohmann::json& record, const Shot& shot);
    std::optional<std::string> writeSummary();

    EpisodeSetup setup_;
    std::optional<FolderLock> lock_;
    std::ofstream eventsFile_;
    std::ofstream focusFile_;
    bool closed_ = false;
    bool dirty_ = false;
    std::optional<std::string> id_;
    std::optional<std::int64_t> finishedAtMs_;
    std::optional<std::string> endReason_;
    std::vector<RecordLine> events_;
    std::vector<RecordLine> focus_;
    std::map<std::int64_t, Shot> shots_; ///< screenshots written, by seq
    std::int64_t frameCount_ = 0;
    std::int64_t lossCount_ = 0;
    std::int64_t lossesPending_ = 0;
    std::vector<std::int64_t> lostScreenshots_;
    nlohmann::ordered_json pauses_ = nlohmann::ordered_json::array();
    std::optional<std::int64_t> screenWidth_, screenHeight_;
    double screenPrecision_ = 0; ///< the smaller fraction the estimate was made from
    std::optional<Shot> lastShot_;
};

} // namespace stepreel_parent
