#include "tools/stepreel_parent/episode_files.h"

#include <charconv>
#include <fstream>
#include <sstream>
#include <system_error>
#include <unistd.h>

namespace stepreel_parent {

namespace {

std::optional<std::string> readWhole(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<RecordLine> readLines(const std::filesystem::path& path) {
    std::vector<RecordLine> lines;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        auto record = nlohmann::json::parse(line, nullptr, false);
        if (record.is_object()) lines.push_back({std::move(record), line});
    }
    return lines;
}

std::optional<std::int64_t> frameSeq(const std::string& name) {
    constexpr std::string_view suffix = "-full.jpg";
    if (name.size() <= suffix.size() || !name.ends_with(suffix)) return std::nullopt;
    const char* end = name.data() + name.size() - suffix.size();
    std::int64_t seq = -1;
    const auto [stop, ec] = std::from_chars(name.data(), end, seq);
    if (ec != std::errc() || stop != end || seq < 0) return std::nullopt;
    if (frameName(seq) != "frames/" + name) return std::nullopt; // no leading zeros or signs
    return seq;
}

} // namespace

std::string frameName(std::int64_t seq) {
    return "frames/" + std::to_string(seq) + "-full.jpg";
}

std::string folderName(const std::filesystem::path& dir) {
    auto normal = dir.lexically_normal();
    if (normal.filename().empty()) normal = normal.parent_path();
    return normal.filename().string();
}

std::optional<EpisodeContent> readEpisode(const std::filesystem::path& dir, std::string& error) {
    const auto metaText = readWhole(dir / "episode.json");
    if (!metaText) {
        error = "cannot read " + (dir / "episode.json").string();
        return std::nullopt;
    }
    EpisodeContent content;
    content.meta = nlohmann::ordered_json::parse(*metaText, nullptr, false);
    if (!content.meta.is_object()) {
        error = (dir / "episode.json").string() + " is not a JSON object";
        return std::nullopt;
    }
    content.events = readLines(dir / "events.jsonl");
    content.focus = readLines(dir / "focus.jsonl");
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir / "frames", ec)) {
        if (!entry.is_regular_file(ec)) continue;
        if (const auto seq = frameSeq(entry.path().filename().string()))
            content.frames.insert(*seq);
    }
    return content;
}

bool replaceFile(const std::filesystem::path& path, std::string_view content) {
    std::filesystem::path temporary = path;
    temporary += ".tmp-" + std::to_string(::getpid());
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        out.close();
        if (!out) {
            std::error_code ec;
            std::filesystem::remove(temporary, ec);
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temporary, path, ec);
    if (!ec) return true;
    std::filesystem::remove(temporary, ec);
    return false;
}

std::string recordLine(const nlohmann::json& record) {
    return record.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

} // namespace stepreel_parent
