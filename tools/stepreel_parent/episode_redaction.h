// Removing records and screenshots from an ended episode folder before it is passed on:
// the records, the results that show their outcome, and their frames; episode.json says
// what was removed by number and count only, and index.html is rebuilt from what remains.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <string>

namespace stepreel_parent {

struct Redaction {
    std::set<std::int64_t> seqs; ///< records named by the person
    bool framesOnly = false;     ///< keep the records, drop their screenshots
};

struct RedactionDone {
    std::set<std::int64_t> records; ///< records removed
    std::set<std::int64_t> frames;  ///< screenshots removed
};

/// Applies `redaction` to the folder `dir`. Changes nothing and sets `error` when the folder
/// is being recorded, cannot be read, or a named record is not in it.
std::optional<RedactionDone> redactEpisode(const std::filesystem::path& dir,
                                           const Redaction& redaction, std::string& error);

} // namespace stepreel_parent
