#include "recorder/records.h"

namespace {

json::Value realList(const std::vector<double>& values) {
    return json::toArray(values);
}

} // namespace

json::Value AXTarget::toJson() const {
    json::ObjectBuilder out;
    out.add("role", role)
        .add("subrole", subrole)
        .add("label", label)
        .add("identifier", identifier)
        .add("roleDescription", roleDescription)
        .add("help", help)
        .add("path", json::toArray(path));
    if (frame) out.add("frame", realList(*frame));
    out.add("windowTitle", windowTitle).add("nearbyText", json::toArray(nearbyText));
    out.add("secure", secure);
    return std::move(out).value();
}

json::Value ActionRecord::toJson() const {
    json::ObjectBuilder out;
    out.add("schema", schema)
        .add("episodeId", episodeId)
        .add("seq", seq)
        .add("refSeq", refSeq)
        .add("timestampMs", timestampMs)
        .add("dtMsFromPrev", dtMsFromPrev)
        .add("kind", kind)
        .add("app", app)
        .add("bundleId", bundleId)
        .add("url", url);
    if (cursor) out.add("cursor", realList(*cursor));
    if (target) out.add("target", target->toJson());
    out.add("inputCharCount", inputCharCount)
        .add("inputKind", inputKind)
        .add("text", text)
        .add("key", key)
        .add("clipboardFromApp", clipboardFromApp)
        .add("clipboardCharCount", clipboardCharCount)
        .add("screenshotFull", screenshotFull)
        .add("screenshotCrop", screenshotCrop);
    if (screenText) out.add("screenText", json::toArray(*screenText));
    out.add("targetOcrText", targetOcrText);
    return std::move(out).value();
}

json::Value FocusRecord::toJson() const {
    json::ObjectBuilder out;
    out.add("schema", schema)
        .add("episodeId", episodeId)
        .add("app", app)
        .add("bundleId", bundleId)
        .add("windowTitle", windowTitle)
        .add("url", url)
        .add("enterAtMs", enterAtMs)
        .add("exitAtMs", exitAtMs)
        .add("durationMs", durationMs);
    return std::move(out).value();
}

json::Value EpisodeMeta::toJson() const {
    json::ObjectBuilder out;
    out.add("schema", schema)
        .add("id", id)
        .add("label", label)
        .add("startedAtMs", startedAtMs)
        .add("endedAtMs", endedAtMs)
        .add("status", status)
        .add("actionCount", actionCount)
        .add("frameCount", frameCount);
    return std::move(out).value();
}
