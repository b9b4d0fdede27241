#include "tools/stepreel_parent/episode_folder.h"

#include "common/version.h"
#include "tools/stepreel_parent/timeline_page.h"

#include <algorithm>
#include <cmath>
#include <system_error>

namespace stepreel_parent {

namespace {

bool writeWholeFile(const std::filesystem::path& path, const void* data, std::size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    out.close();
    return static_cast<bool>(out);
}

bool appendLine(std::ofstream& out, const std::string& line) {
    out << line << '\n';
    out.flush(); // a recorder that dies mid-episode still leaves every record before it
    return static_cast<bool>(out);
}

std::optional<std::int64_t> integer(const nlohmann::json& record, const char* key) {
    if (!record.contains(key) || !record[key].is_number_integer()) return std::nullopt;
    return record[key].get<std::int64_t>();
}

} // namespace

std::unique_ptr<EpisodeFolder> EpisodeFolder::prepare(EpisodeSetup setup, std::string& error) {
    std::error_code ec;
    if (std::filesystem::exists(setup.dir, ec) && !std::filesystem::is_empty(setup.dir, ec)) {
        error = setup.dir.string() + " already exists and is not empty";
        return nullptr;
    }
    return std::unique_ptr<EpisodeFolder>(new EpisodeFolder(std::move(setup)));
}

std::optional<std::string> EpisodeFolder::open() {
    const auto& dir = setup_.dir;
    std::error_code ec;
    if (std::filesystem::exists(dir, ec) && !std::filesystem::is_empty(dir, ec))
        return dir.string() + " is no longer empty";
    std::filesystem::create_directories(dir / "frames", ec);
    if (ec) return "cannot create " + (dir / "frames").string() + ": " + ec.message();
    lock_ = FolderLock::tryLock(dir);
    eventsFile_.open(dir / "events.jsonl", std::ios::binary | std::ios::trunc);
    focusFile_.open(dir / "focus.jsonl", std::ios::binary | std::ios::trunc);
    if (!eventsFile_ || !focusFile_) return "cannot create the record files in " + dir.string();
    return std::nullopt;
}

std::optional<std::string> EpisodeFolder::checkSession(const Frame& frame) {
    if (!frame.header.contains("sessionId")) return std::nullopt; // permits carry none
    const std::string session = frame.header["sessionId"].get<std::string>();
    if (!id_) {
        if (auto problem = open()) return problem;
        id_ = session;
    }
    if (session != *id_) return "frame of session " + session + " inside episode " + *id_;
    return std::nullopt;
}

std::optional<std::string> EpisodeFolder::accept(const Frame& frame, std::int64_t receivedAtMs) {
    // A frame of another session is reported and left out of this episode.
    if (auto problem = checkSession(frame)) return problem;
    if (!eventsFile_.is_open()) return std::nullopt;
    dirty_ = true;
    std::optional<std::string> problem;
    if (finishedAtMs_ && frame.type != "finish")
        problem = "a \"" + frame.type + "\" frame after \"finish\"";
    if (frame.type == "events") {
        const nlohmann::json& record = frame.header["event"];
        RecordLine line{record, recordLine(record)};
        if (!appendLine(eventsFile_, line.line)) problem = "cannot write events.jsonl";
        events_.push_back(std::move(line));
        if (auto fault = acceptAction(record)) problem = fault;
    } else if (frame.type == "focus") {
        const nlohmann::json& record = frame.header["event"];
        RecordLine line{record, recordLine(record)};
        if (!appendLine(focusFile_, line.line)) problem = "cannot write focus.jsonl";
        focus_.push_back(std::move(line));
    } else if (frame.type == "frame") {
        if (auto fault = acceptScreenshot(frame)) problem = fault;
    } else if (frame.type == "loss") {
        ++lossCount_;
        ++lossesPending_; // the next record is the one whose screenshot this was
    } else if (frame.type == "finish") {
        if (finishedAtMs_) {
            problem = "a second \"finish\" frame";
        } else {
            finishedAtMs_ = receivedAtMs;
        }
    }
    return problem;
}

std::optional<std::string> EpisodeFolder::acceptScreenshot(const Frame& frame) {
    const std::int64_t seq = frame.header["seq"].get<std::int64_t>();
    // The name is built from the integer seq, never taken from the stream as text.
    const std::string name = frameName(seq);
    std::optional<std::string> problem;
    if (shots_.count(seq) != 0) problem = "a second screenshot for seq " + std::to_string(seq);
    if (!writeWholeFile(setup_.dir / name, frame.payload.data(), frame.payload.size()))
        return "cannot write " + name;
    const auto& h = frame.header;
    Shot shot{h["cursor"][0].get<double>(), h["cursor"][1].get<double>(),
              h["width"].get<std::int64_t>(), h["height"].get<std::int64_t>()};
    shots_[seq] = shot;
    lastShot_ = shot;
    return problem;
}

void EpisodeFolder::measureScreen(const nlohmann::json& record, const Shot& shot) {
    // The record's pointer in screen points and the frame's pointer as fractions of the
    // screen are one reading, so their ratio is the screen's size. The reading furthest
    // from the origin loses least to rounding.
    if (!record.contains("cursor") || !record["cursor"].is_array() ||
        record["cursor"].size() != 2 || !record["cursor"][0].is_number() ||
        !record["cursor"][1].is_number())
        return;
    const double precision = std::min(shot.fx, shot.fy);
    if (precision <= screenPrecision_ || precision < 0.01 || shot.fx > 1 || shot.fy > 1) return;
    screenPrecision_ = precision;
    screenWidth_ = std::llround(record["cursor"][0].get<double>() / shot.fx);
    screenHeight_ = std::llround(record["cursor"][1].get<double>() / shot.fy);
}

std::optional<std::string> EpisodeFolder::acceptAction(const nlohmann::json& record) {
    std::optional<std::string> problem;
    const std::int64_t seq = record["seq"].get<std::int64_t>();
    if (lossesPending_ > 0) {
        --lossesPending_;
        if (!record.contains("screenshotFull")) lostScreenshots_.push_back(seq);
    }
    if (!record.contains("screenshotFull")) return problem;
    ++frameCount_;
    const auto found = shots_.find(seq);
    const nlohmann::json& named = record["screenshotFull"];
    if (found == shots_.end()) {
        problem = "record seq " + std::to_string(seq) + " names a screenshot that never arrived";
    } else if (!named.is_string() || named.get<std::string>() != frameName(seq)) {
        problem = "record seq " + std::to_string(seq) + " names its screenshot wrongly";
    } else {
        measureScreen(record, found->second);
    }
    return problem;
}

void EpisodeFolder::notePause(std::int64_t atMs) {
    pauses_.push_back({{"startMs", atMs}});
    dirty_ = true;
}

void EpisodeFolder::noteResume(std::int64_t atMs) {
    if (!pauses_.empty() && !pauses_.back().contains("endMs")) {
        pauses_.back()["endMs"] = atMs;
        dirty_ = true;
    }
}

nlohmann::ordered_json EpisodeFolder::meta() const {
    std::optional<std::int64_t> first, last;
    const auto widen = [&](std::optional<std::int64_t> ms) {
        if (!ms) return;
        first = first ? std::min(*first, *ms) : *ms;
        last = last ? std::max(*last, *ms) : *ms;
    };
    for (const auto& line : events_)
        widen(integer(line.record, "timestampMs"));
    for (const auto& line : focus_) {
        widen(integer(line.record, "enterAtMs"));
        widen(integer(line.record, "exitAtMs"));
    }
    nlohmann::ordered_json meta;
    meta["schema"] = "quillmap.episode.v0";
    meta["id"] = id_.value_or("");
    // A replay has no clock of its own: its times are those of the records.
    meta["startedAtMs"] = setup_.replay ? first.value_or(0) : setup_.startedAtMs;
    if (setup_.replay && closed_ && last) {
        meta["endedAtMs"] = *last;
    } else if (!setup_.replay && finishedAtMs_) {
        meta["endedAtMs"] = *finishedAtMs_;
    }
    meta["status"] = !endReason_ ? "recording" : finishedAtMs_ ? "completed" : "incomplete";
    if (endReason_) meta["endReason"] = *endReason_;
    meta["actionCount"] = actionCount();
    meta["frameCount"] = frameCount_;
    if (screenWidth_ && screenHeight_)
        meta["screen"] = {{"width", *screenWidth_}, {"height", *screenHeight_}};
    if (lastShot_) {
        nlohmann::ordered_json shot{{"width", lastShot_->width}, {"height", lastShot_->height}};
        if (screenWidth_ && *screenWidth_ > 0) {
            const double scale =
                static_cast<double>(lastShot_->width) / static_cast<double>(*screenWidth_);
            shot["scale"] = std::round(scale * 10000) / 10000;
        }
        meta["screenshot"] = shot;
    }
    if (setup_.recorderVersion) meta["recorderVersion"] = *setup_.recorderVersion;
    meta["parentVersion"] = std::string(quillVersion);
    meta["timeZone"] = setup_.timeZone;
    meta["pauses"] = pauses_;
    meta["lostScreenshots"] = lostScreenshots_;
    if (setup_.replay) meta["replayed"] = true;
    return meta;
}

EpisodeContent EpisodeFolder::content() const {
    EpisodeContent content;
    content.meta = meta();
    content.events = events_;
    content.focus = focus_;
    for (const auto& [seq, shot] : shots_)
        content.frames.insert(seq);
    return content;
}

std::optional<std::string> EpisodeFolder::writeSummary() {
    dirty_ = false;
    const std::string meta = this->meta().dump(2) + "\n";
    if (!replaceFile(setup_.dir / "episode.json", meta)) return "cannot write episode.json";
    const std::string html = renderTimeline(content(), folderName(setup_.dir));
    if (!replaceFile(setup_.dir / "index.html", html)) return "cannot write index.html";
    return std::nullopt;
}

std::optional<std::string> EpisodeFolder::writeProgress() {
    if (!eventsFile_.is_open() || !dirty_) return std::nullopt;
    return writeSummary();
}

std::optional<std::string> EpisodeFolder::close(const std::string& endReason) {
    if (!eventsFile_.is_open()) return std::nullopt;
    eventsFile_.close();
    focusFile_.close();
    endReason_ = endReason;
    closed_ = true;
    auto problem = writeSummary();
    lock_.reset();
    return problem;
}

} // namespace stepreel_parent
