#include "tools/stepreel_parent/episode_folder.h"

#include <algorithm>
#include <system_error>

namespace stepreel_parent {

namespace {

std::string frameName(std::int64_t seq) {
    return "frames/" + std::to_string(seq) + "-full.jpg";
}

bool writeWholeFile(const std::filesystem::path& path, const void* data, std::size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    out.close();
    return static_cast<bool>(out);
}

bool appendLine(std::ofstream& out, const nlohmann::json& record) {
    out << record.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    out.flush(); // a recorder that dies mid-episode still leaves every record before it
    return static_cast<bool>(out);
}

} // namespace

EpisodeFolder::EpisodeFolder(std::filesystem::path dir, std::int64_t startedAtMs)
    : dir_(std::move(dir)), startedAtMs_(startedAtMs) {}

std::unique_ptr<EpisodeFolder> EpisodeFolder::create(const std::filesystem::path& dir,
                                                     std::int64_t startedAtMs, std::string& error) {
    std::error_code ec;
    if (std::filesystem::exists(dir, ec) && !std::filesystem::is_empty(dir, ec)) {
        error = dir.string() + " already exists and is not empty";
        return nullptr;
    }
    std::filesystem::create_directories(dir / "frames", ec);
    if (ec) {
        error = "cannot create " + (dir / "frames").string() + ": " + ec.message();
        return nullptr;
    }
    std::unique_ptr<EpisodeFolder> folder(new EpisodeFolder(dir, startedAtMs));
    folder->events_.open(dir / "events.jsonl", std::ios::binary | std::ios::trunc);
    folder->focus_.open(dir / "focus.jsonl", std::ios::binary | std::ios::trunc);
    if (!folder->events_ || !folder->focus_) {
        error = "cannot create the record files in " + dir.string();
        return nullptr;
    }
    return folder;
}

std::optional<std::string> EpisodeFolder::checkSession(const Frame& frame) {
    if (!frame.header.contains("sessionId")) return std::nullopt; // permits carry none
    const std::string session = frame.header["sessionId"].get<std::string>();
    if (!id_) id_ = session;
    if (session != *id_) return "frame of session " + session + " inside episode " + *id_;
    return std::nullopt;
}

std::optional<std::string> EpisodeFolder::accept(const Frame& frame, std::int64_t receivedAtMs) {
    // A frame of another session is reported and left out of this episode.
    if (auto problem = checkSession(frame)) return problem;
    std::optional<std::string> problem;
    if (endedAtMs_ && frame.type != "finish")
        problem = "a \"" + frame.type + "\" frame after \"finish\"";
    if (frame.type == "events") {
        const nlohmann::json& record = frame.header["event"];
        if (!appendLine(events_, record)) problem = "cannot write events.jsonl";
        if (auto fault = acceptAction(record)) problem = fault;
    } else if (frame.type == "focus") {
        const nlohmann::json& record = frame.header["event"];
        if (!appendLine(focus_, record)) problem = "cannot write focus.jsonl";
        TimelineRow row;
        row.kind = TimelineRow::Kind::focus;
        row.atMs = record.value("enterAtMs", receivedAtMs);
        row.record = record;
        rows_.push_back(std::move(row));
    } else if (frame.type == "frame") {
        if (auto fault = acceptScreenshot(frame)) problem = fault;
    } else if (frame.type == "loss") {
        ++lossCount_;
        TimelineRow row;
        row.kind = TimelineRow::Kind::loss;
        row.atMs = receivedAtMs;
        rows_.push_back(std::move(row));
    } else if (frame.type == "finish") {
        if (endedAtMs_) {
            problem = "a second \"finish\" frame";
        } else {
            endedAtMs_ = receivedAtMs;
        }
    }
    return problem;
}

std::optional<std::string> EpisodeFolder::acceptScreenshot(const Frame& frame) {
    const std::int64_t seq = frame.header["seq"].get<std::int64_t>();
    // The name is built from the integer seq, never taken from the stream as text.
    const std::string name = frameName(seq);
    std::optional<std::string> problem;
    if (screenshots_.count(seq) != 0)
        problem = "a second screenshot for seq " + std::to_string(seq);
    if (!writeWholeFile(dir_ / name, frame.payload.data(), frame.payload.size())) {
        return "cannot write " + name;
    }
    screenshots_[seq] = name;
    return problem;
}

std::optional<std::string> EpisodeFolder::acceptAction(const nlohmann::json& record) {
    ++actionCount_;
    std::optional<std::string> problem;
    const std::int64_t seq = record["seq"].get<std::int64_t>();
    std::optional<std::string> image;
    if (record.contains("screenshotFull")) {
        ++frameCount_;
        const auto found = screenshots_.find(seq);
        const nlohmann::json& named = record["screenshotFull"];
        if (found == screenshots_.end()) {
            problem =
                "record seq " + std::to_string(seq) + " names a screenshot that never arrived";
        } else if (!named.is_string() || named.get<std::string>() != found->second) {
            problem = "record seq " + std::to_string(seq) + " names its screenshot wrongly";
        } else {
            image = found->second;
        }
    }
    TimelineRow row;
    row.atMs = record.value("timestampMs", std::int64_t{0});
    row.record = record;
    row.beforeImage = image;
    if (record.value("kind", std::string()) == "result" && record.contains("refSeq")) {
        const auto refSeq = record["refSeq"];
        auto target = std::find_if(rows_.rbegin(), rows_.rend(), [&](const TimelineRow& r) {
            return r.kind == TimelineRow::Kind::action &&
                   r.record.value("seq", nlohmann::json()) == refSeq;
        });
        if (target != rows_.rend() && target->result.is_null()) {
            target->result = record;
            target->afterImage = image;
            return problem;
        }
        if (!problem)
            problem = "result record seq " + std::to_string(seq) + " refers to no operation";
    }
    rows_.push_back(std::move(row));
    return problem;
}

nlohmann::ordered_json EpisodeFolder::meta() const {
    nlohmann::ordered_json meta;
    meta["schema"] = "quillmap.episode.v0";
    meta["id"] = id_.value_or("");
    meta["startedAtMs"] = startedAtMs_;
    if (endedAtMs_) meta["endedAtMs"] = *endedAtMs_;
    meta["status"] = endedAtMs_ ? "completed" : "recording";
    meta["actionCount"] = actionCount_;
    meta["frameCount"] = frameCount_;
    return meta;
}

std::vector<TimelineRow> EpisodeFolder::timeline() const {
    std::vector<TimelineRow> rows = rows_;
    // A focus record arrives when its dwell ends; show it where the dwell began.
    std::stable_sort(rows.begin(), rows.end(),
                     [](const TimelineRow& a, const TimelineRow& b) { return a.atMs < b.atMs; });
    return rows;
}

std::optional<std::string> EpisodeFolder::close() {
    events_.close();
    focus_.close();
    const std::string meta = this->meta().dump(2) + "\n";
    if (!writeWholeFile(dir_ / "episode.json", meta.data(), meta.size())) {
        return "cannot write episode.json";
    }
    const std::string html = renderTimeline(this->meta(), timeline());
    if (!writeWholeFile(dir_ / "index.html", html.data(), html.size())) {
        return "cannot write index.html";
    }
    return std::nullopt;
}

} // namespace stepreel_parent
