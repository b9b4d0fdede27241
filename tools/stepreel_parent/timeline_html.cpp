#include "tools/stepreel_parent/timeline_html.h"

#include <cstdio>

namespace stepreel_parent {

namespace {

std::string jsonText(const nlohmann::json& value) {
    // Replace rather than throw: the page must render whatever the stream carried.
    return value.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string textOf(const nlohmann::json& record, const char* key) {
    if (!record.is_object() || !record.contains(key)) return {};
    const nlohmann::json& value = record[key];
    return value.is_string() ? value.get<std::string>() : jsonText(value);
}

std::string offsetText(std::int64_t atMs, std::int64_t startMs) {
    const std::int64_t ms = atMs - startMs;
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "+%lld.%03lld s", static_cast<long long>(ms / 1000),
                  static_cast<long long>((ms < 0 ? -ms : ms) % 1000));
    return buffer;
}

void appendField(std::string& html, const char* name, const std::string& value) {
    if (value.empty()) return;
    html +=
        "<div><span class=\"k\">" + escapeHtml(name) + "</span> " + escapeHtml(value) + "</div>";
}

void appendImage(std::string& html, const char* caption, const std::optional<std::string>& path) {
    html += "<figure><figcaption>" + escapeHtml(caption) + "</figcaption>";
    if (path) {
        const std::string src = escapeHtml(*path);
        html += "<a href=\"" + src + "\"><img src=\"" + src + "\" alt=\"" + escapeHtml(caption) +
                "\" loading=\"lazy\"></a>";
    } else {
        html += "<div class=\"none\">no screenshot</div>";
    }
    html += "</figure>";
}

std::string summary(const TimelineRow& row) {
    const nlohmann::json& r = row.record;
    std::string html;
    if (row.kind == TimelineRow::Kind::focus) {
        appendField(html, "app", textOf(r, "app"));
        appendField(html, "window", textOf(r, "windowTitle"));
        appendField(html, "url", textOf(r, "url"));
        appendField(html, "duration", textOf(r, "durationMs") + " ms");
        return html;
    }
    appendField(html, "seq", textOf(r, "seq"));
    appendField(html, "app", textOf(r, "app"));
    appendField(html, "key", textOf(r, "key"));
    if (r.contains("inputCharCount")) {
        const std::string count = textOf(r, "inputCharCount");
        appendField(html, "typed",
                    count + (count == "1" ? " character, " : " characters, ") +
                        textOf(r, "inputKind"));
    }
    if (r.contains("clipboardFromApp") || r.contains("clipboardCharCount")) {
        appendField(html, "clipboard",
                    textOf(r, "clipboardCharCount") + " characters from " +
                        textOf(r, "clipboardFromApp"));
    }
    appendField(html, "url", textOf(r, "url"));
    if (r.contains("target") && r["target"].is_object()) {
        const nlohmann::json& t = r["target"];
        std::string target = textOf(t, "role");
        if (t.contains("label")) target += " \u201c" + textOf(t, "label") + "\u201d";
        if (t.value("secure", false)) target += " (secure)";
        appendField(html, "target", target);
        appendField(html, "window", textOf(t, "windowTitle"));
    }
    return html;
}

} // namespace

std::string escapeHtml(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string renderTimeline(const nlohmann::ordered_json& meta,
                           const std::vector<TimelineRow>& rows) {
    const std::int64_t startMs = meta.value("startedAtMs", std::int64_t{0});
    const std::string id = meta.value("id", std::string());
    std::string html =
        "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
        "<title>Episode " +
        escapeHtml(id) +
        "</title><style>"
        "body{font:14px system-ui,sans-serif;margin:1.5em;color:#222}"
        "table{border-collapse:collapse;width:100%}"
        "td,th{border-top:1px solid #ccc;padding:.5em;vertical-align:top;text-align:left}"
        "tr.focus td{background:#f4f7fb}tr.loss td{background:#fbefef}"
        ".k{color:#777;display:inline-block;min-width:5.5em}"
        "figure{display:inline-block;margin:0 .5em 0 0}figcaption{color:#777}"
        "img{max-width:480px;border:1px solid #bbb}.none{color:#999;width:480px}"
        "pre{white-space:pre-wrap;font-size:12px;max-width:40em}"
        "</style></head><body>\n<h1>Episode " +
        escapeHtml(id) + "</h1>\n<pre>" +
        escapeHtml(meta.dump(2, ' ', false, nlohmann::json::error_handler_t::replace)) +
        "</pre>\n<table>\n"
        "<tr><th>time</th><th>what</th><th>details</th><th>screenshots</th></tr>\n";
    for (const TimelineRow& row : rows) {
        const char* cls = row.kind == TimelineRow::Kind::focus  ? "focus"
                          : row.kind == TimelineRow::Kind::loss ? "loss"
                                                                : "action";
        std::string what = row.kind == TimelineRow::Kind::focus  ? std::string("focus")
                           : row.kind == TimelineRow::Kind::loss ? std::string("screenshot lost")
                                                                 : textOf(row.record, "kind");
        html += "<tr class=\"" + std::string(cls) + "\"><td>" +
                escapeHtml(offsetText(row.atMs, startMs)) + "</td><td><b>" + escapeHtml(what) +
                "</b></td><td>" + summary(row);
        if (!row.record.is_null()) {
            html += "<details><summary>record</summary><pre>" + escapeHtml(jsonText(row.record)) +
                    "</pre>";
            if (!row.result.is_null()) {
                html += "<pre>" + escapeHtml(jsonText(row.result)) + "</pre>";
            }
            html += "</details>";
        }
        html += "</td><td>";
        if (row.kind == TimelineRow::Kind::action && textOf(row.record, "kind") != "type") {
            appendImage(html, "before", row.beforeImage);
            if (!row.result.is_null()) appendImage(html, "after", row.afterImage);
        }
        html += "</td></tr>\n";
    }
    html += "</table>\n</body></html>\n";
    return html;
}

} // namespace stepreel_parent
