#include "tools/stepreel_parent/episode_redaction.h"

#include "tools/stepreel_parent/episode_files.h"
#include "tools/stepreel_parent/folder_lock.h"
#include "tools/stepreel_parent/timeline_page.h"

#include <algorithm>
#include <system_error>

namespace stepreel_parent {

namespace {

std::optional<std::int64_t> integer(const nlohmann::json& record, const char* key) {
    if (!record.contains(key) || !record[key].is_number_integer()) return std::nullopt;
    return record[key].get<std::int64_t>();
}

/// `named` and every result record that shows the outcome of one of them.
std::set<std::int64_t> withTheirResults(const EpisodeContent& content,
                                        const std::set<std::int64_t>& named) {
    std::set<std::int64_t> seqs = named;
    for (const auto& line : content.events) {
        const auto refSeq = integer(line.record, "refSeq");
        const auto seq = integer(line.record, "seq");
        if (seq && refSeq && named.count(*refSeq) != 0) seqs.insert(*seq);
    }
    return seqs;
}

/// Adds `seqs` to the list `key` of `removed` (kept sorted) and sets its count.
void addRemoved(nlohmann::ordered_json& removed, const char* key, const char* countKey,
                const std::set<std::int64_t>& seqs) {
    std::set<std::int64_t> all = seqs;
    if (removed.contains(key) && removed[key].is_array()) {
        for (const auto& seq : removed[key])
            if (seq.is_number_integer()) all.insert(seq.get<std::int64_t>());
    }
    removed[key] = all;
    removed[countKey] = all.size();
}

} // namespace

std::optional<RedactionDone> redactEpisode(const std::filesystem::path& dir,
                                           const Redaction& redaction, std::string& error) {
    const auto lock = FolderLock::tryLock(dir);
    if (!lock) {
        error = dir.string() + " cannot be opened or is still being recorded";
        return std::nullopt;
    }
    auto content = readEpisode(dir, error);
    if (!content) return std::nullopt;
    std::set<std::int64_t> present;
    for (const auto& line : content->events)
        if (const auto seq = integer(line.record, "seq")) present.insert(*seq);
    for (const std::int64_t seq : redaction.seqs) {
        if (present.count(seq) == 0) {
            error = "no record with seq " + std::to_string(seq) + " in " + dir.string();
            return std::nullopt;
        }
    }

    const std::set<std::int64_t> affected = withTheirResults(*content, redaction.seqs);
    RedactionDone done;
    if (!redaction.framesOnly) done.records = affected;
    for (const std::int64_t seq : affected)
        if (content->frames.count(seq) != 0) done.frames.insert(seq);

    // The records first: once they no longer name a frame, a missing frame is no fault.
    std::vector<RecordLine> kept;
    std::string events;
    std::int64_t frameCount = 0;
    for (auto& line : content->events) {
        const auto seq = integer(line.record, "seq");
        if (seq && done.records.count(*seq) != 0) continue;
        if (seq && affected.count(*seq) != 0 && line.record.contains("screenshotFull")) {
            line.record.erase("screenshotFull");
            line.line = recordLine(line.record);
        }
        if (line.record.contains("screenshotFull")) ++frameCount;
        events += line.line + "\n";
        kept.push_back(std::move(line));
    }
    if (!replaceFile(dir / "events.jsonl", events)) {
        error = "cannot write " + (dir / "events.jsonl").string();
        return std::nullopt;
    }
    content->events = std::move(kept);
    for (const std::int64_t seq : done.frames) {
        std::error_code ec;
        std::filesystem::remove(dir / frameName(seq), ec);
        if (ec) {
            error = "cannot remove " + (dir / frameName(seq)).string() + ": " + ec.message();
            return std::nullopt;
        }
        content->frames.erase(seq);
    }

    auto& meta = content->meta;
    meta["actionCount"] = content->events.size();
    meta["frameCount"] = frameCount;
    if (meta.contains("lostScreenshots") && meta["lostScreenshots"].is_array()) {
        auto& lost = meta["lostScreenshots"];
        lost.erase(std::remove_if(lost.begin(), lost.end(),
                                  [&](const auto& seq) {
                                      return seq.is_number_integer() &&
                                             done.records.count(seq.template get<std::int64_t>()) !=
                                                 0;
                                  }),
                   lost.end());
    }
    nlohmann::ordered_json removed = meta.contains("removed") && meta["removed"].is_object()
                                         ? meta["removed"]
                                         : nlohmann::ordered_json::object();
    addRemoved(removed, "records", "recordCount", done.records);
    addRemoved(removed, "frames", "frameCount", done.frames);
    meta["removed"] = removed;
    if (!replaceFile(dir / "episode.json", meta.dump(2) + "\n")) {
        error = "cannot write " + (dir / "episode.json").string();
        return std::nullopt;
    }
    if (!replaceFile(dir / "index.html", renderTimeline(*content, folderName(dir)))) {
        error = "cannot write " + (dir / "index.html").string();
        return std::nullopt;
    }
    return done;
}

} // namespace stepreel_parent
