#include "tools/stepreel_parent/timeline_page.h"

#include "common/page_address.h"
#include "tools/stepreel_parent/timeline_assets.h"

#include <initializer_list>
#include <utility>

namespace stepreel_parent {

namespace {

/// Every text in a record with its addresses shortened; `url` members whole.
nlohmann::ordered_json withoutUserContent(const nlohmann::json& value, bool isAddress = false) {
    if (value.is_string()) {
        const auto& text = value.get_ref<const std::string&>();
        return isAddress ? page_address::withoutUserContent(text)
                         : page_address::shortenAddressesIn(text);
    }
    if (value.is_array()) {
        nlohmann::ordered_json out = nlohmann::ordered_json::array();
        for (const auto& item : value)
            out.push_back(withoutUserContent(item));
        return out;
    }
    if (value.is_object()) {
        nlohmann::ordered_json out = nlohmann::ordered_json::object();
        for (const auto& [key, item] : value.items())
            out[key] = withoutUserContent(item, key == "url");
        return out;
    }
    return nlohmann::ordered_json(value);
}

nlohmann::ordered_json records(const std::vector<RecordLine>& lines) {
    nlohmann::ordered_json out = nlohmann::ordered_json::array();
    for (const auto& line : lines)
        out.push_back(withoutUserContent(line.record));
    return out;
}

/// `page` with each marker replaced by its content; markers are looked for in the page
/// source only, never in what was put in.
std::string fill(std::string_view page,
                 std::initializer_list<std::pair<std::string_view, std::string_view>> parts) {
    std::string out;
    std::size_t from = 0;
    for (const auto& [marker, content] : parts) {
        const auto at = page.find(marker, from);
        if (at == std::string_view::npos) continue;
        out.append(page.substr(from, at - from));
        out.append(content);
        from = at + marker.size();
    }
    out.append(page.substr(from));
    return out;
}

} // namespace

nlohmann::ordered_json timelineData(const EpisodeContent& content, std::string_view folderName) {
    nlohmann::ordered_json data;
    data["meta"] = content.meta;
    data["folder"] = std::string(folderName);
    data["events"] = records(content.events);
    data["focus"] = records(content.focus);
    data["frames"] = content.frames;
    return data;
}

std::string scriptSafeJson(const nlohmann::ordered_json& value) {
    const std::string text =
        value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '<') {
            out += "\\u003c";
        } else if (c == '>') {
            out += "\\u003e";
        } else if (c == '&') {
            out += "\\u0026";
        } else if (c == '\xE2' && i + 2 < text.size() && text[i + 1] == '\x80' &&
                   (text[i + 2] == '\xA8' || text[i + 2] == '\xA9')) {
            out += text[i + 2] == '\xA8' ? "\\u2028" : "\\u2029";
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

std::string renderTimeline(const EpisodeContent& content, std::string_view folderName) {
    const std::string data = scriptSafeJson(timelineData(content, folderName));
    return fill(timelineHtml,
                {{"@@STYLE@@", timelineCss}, {"@@DATA@@", data}, {"@@SCRIPT@@", timelineJs}});
}

} // namespace stepreel_parent
