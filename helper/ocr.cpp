#include "helper/ocr.h"

#include "common/unicode_text.h"
#include "helper/capture.h"

#include <set>
#include <utility>

namespace helper {

namespace {

json::Value toJSON(const OcrLine& line) {
    json::Array box;
    for (double component : line.box)
        box.emplace_back(component);
    return json::ObjectBuilder()
        .add("text", line.text)
        .add("confidence", line.confidence)
        .add("box", std::move(box))
        .value();
}

json::Value toJSON(const Entity& entity) {
    return json::ObjectBuilder().add("text", entity.text).add("kind", entity.kind).value();
}

std::optional<std::string_view> entityKind(NameTag tag) {
    switch (tag) {
    case NameTag::personalName:
        return "person";
    case NameTag::organizationName:
        return "organization";
    case NameTag::placeName:
        return "place";
    case NameTag::other:
        break;
    }
    return std::nullopt;
}

bool isAllNumeric(std::string_view text) {
    return text::numericCharacterCount(text) == text::characterCount(text);
}

} // namespace

json::Value toJSON(const OcrOutput& output) {
    json::Array lines;
    for (const auto& line : output.lines)
        lines.push_back(toJSON(line));
    json::Array entities;
    for (const auto& entity : output.entities)
        entities.push_back(toJSON(entity));
    return json::ObjectBuilder()
        .add("lines", std::move(lines))
        .add("avgConfidence", output.avgConfidence)
        .add("width", output.width)
        .add("height", output.height)
        .add("entities", std::move(entities))
        .value();
}

std::vector<Entity> detectEntities(const std::vector<OcrLine>& lines, NameTagger& tagger) {
    std::set<std::string> seen;
    std::vector<Entity> entities;
    for (const auto& line : lines) {
        for (const auto& token : tagger.tagNames(line.text)) {
            const auto kind = entityKind(token.tag);
            if (!kind) continue;
            std::string name = text::trimWhitespace(token.text);
            if (text::characterCount(name) < 2) continue;
            if (isAllNumeric(name)) continue;
            std::string key = std::string(*kind) + '\x01' + name;
            if (!seen.insert(std::move(key)).second) continue;
            entities.push_back({std::move(name), std::string(*kind)});
        }
    }
    return entities;
}

Result<OcrOutput> recognizeText(const Image& image, TextRecognizer& recognizer,
                                NameTagger& tagger) {
    auto observations = recognizer.recognizeText(image);
    if (!observations) return observations.error();

    OcrOutput output;
    double confidenceSum = 0;
    for (const auto& observation : observations.value()) {
        if (!observation.topCandidate) continue;
        std::string trimmed = text::trimWhitespace(observation.topCandidate->text);
        if (trimmed.empty()) continue;
        const double confidence = observation.topCandidate->confidence;
        const auto& box = observation.boundingBox;
        output.lines.push_back(
            {std::move(trimmed), confidence, {box.x, box.y, box.width, box.height}});
        confidenceSum += confidence;
    }
    if (!output.lines.empty()) {
        output.avgConfidence = confidenceSum / static_cast<double>(output.lines.size());
    }
    output.entities = detectEntities(output.lines, tagger);
    output.width = image ? image->width() : 0;
    output.height = image ? image->height() : 0;
    return output;
}

void runOcr(HelperIO& io, const std::optional<std::string>& windowIdArgument,
            ScreenCapture& screenCapture, Screens& screens, TextRecognizer& recognizer,
            NameTagger& tagger) {
    std::optional<std::uint32_t> windowId;
    if (windowIdArgument) windowId = parseWindowId(*windowIdArgument);

    const double scale = captureScale(screens);
    auto image = runBlocking([&] { return captureImage(screenCapture, scale, windowId); });
    if (!image) fail("capture failed: " + image.error().description, 3);

    auto output = recognizeText(image.value(), recognizer, tagger);
    if (!output) fail("ocr failed: " + output.error().description, 5);

    printJSON(io, toJSON(output.value()));
}

} // namespace helper
