// The recorder's trace records and their JSON form. Absent optionals leave their key out;
// a non-finite real makes the whole record unencodable.
#pragma once

#include "common/json_writer.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

/// The user-interface element an operation was aimed at (filled by the accessibility probe).
struct AXTarget {
    std::optional<std::string> role;
    std::optional<std::string> subrole;
    std::optional<std::string> label; ///< always absent for a secure element
    std::optional<std::string> identifier;
    std::optional<std::string> roleDescription;
    std::optional<std::string> help;
    std::vector<std::string> path;            ///< roles, outermost visited ancestor first
    std::optional<std::vector<double>> frame; ///< x, y, width, height in global points
    std::optional<std::string> windowTitle;
    std::vector<std::string> nearbyText;
    bool secure = false;

    json::Value toJson() const;
};

/// One operation of the user, or the result frame that follows one.
struct ActionRecord {
    static constexpr std::string_view schema = "quillmap.trace.v0";

    std::string episodeId;
    std::int64_t seq = 0;
    std::optional<std::int64_t> refSeq;
    std::int64_t timestampMs = 0;
    std::int64_t dtMsFromPrev = 0;
    std::string kind;
    std::optional<std::string> app;
    std::optional<std::string> bundleId;
    std::optional<std::string> url;
    std::optional<std::vector<double>> cursor; ///< [x, y], top-left origin, points
    std::optional<AXTarget> target;
    std::optional<std::int64_t> inputCharCount;
    std::optional<std::string> inputKind;
    std::optional<std::string> text; ///< reserved; never filled by the recorder
    std::optional<std::string> key;
    std::optional<std::string> clipboardFromApp;
    std::optional<std::int64_t> clipboardCharCount;
    std::optional<std::string> screenshotFull;
    std::optional<std::string> screenshotCrop;
    std::optional<std::vector<std::string>> screenText;
    std::optional<std::string> targetOcrText;

    json::Value toJson() const;
};

/// One stay of the focus on an application, window and page.
struct FocusRecord {
    static constexpr std::string_view schema = "quillmap.focus.v0";

    std::string episodeId;
    std::optional<std::string> app;
    std::optional<std::string> bundleId;
    std::optional<std::string> windowTitle;
    std::optional<std::string> url;
    std::int64_t enterAtMs = 0;
    std::int64_t exitAtMs = 0;
    std::int64_t durationMs = 0;

    json::Value toJson() const;
};

/// Running summary of one recording episode, kept in memory only.
struct EpisodeMeta {
    static constexpr std::string_view schema = "quillmap.episode.v0";

    std::string id;
    std::optional<std::string> label;
    std::int64_t startedAtMs = 0;
    std::optional<std::int64_t> endedAtMs;
    std::string status;
    std::int64_t actionCount = 0;
    std::int64_t frameCount = 0;

    json::Value toJson() const;
};

/// Compact JSON text of a record with every "/" escaped; nothing when a real is not finite.
template <typename Record> std::optional<std::string> encodeRecord(const Record& record) {
    return json::write(record.toJson(), json::SlashStyle::escaped);
}
