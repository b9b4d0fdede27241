#include "helper/classify.h"

#include "common/unicode_text.h"
#include "helper/classify_prompt.h"

#include <algorithm>
#include <utility>

namespace helper {

namespace {

constexpr std::size_t taskLabelCharacters = 40;
constexpr std::size_t maxKeywords = 5;
constexpr std::size_t maxPiiTerms = 10;

/// The textual form of an availability state, naming its reason.
std::string describe(const ModelAvailability& availability) {
    using State = ModelAvailability::State;
    switch (availability.state) {
    case State::available:
        return "available";
    case State::deviceNotEligible:
        return "unavailable(deviceNotEligible)";
    case State::appleIntelligenceNotEnabled:
        return "unavailable(appleIntelligenceNotEnabled)";
    case State::modelNotReady:
        return "unavailable(modelNotReady)";
    case State::other:
        break;
    }
    return "unavailable(" + text::sanitizeUtf8(availability.otherReason) + ")";
}

std::string validCategory(const std::string& category) {
    const bool listed =
        std::find(workCategories.begin(), workCategories.end(), category) != workCategories.end();
    return listed ? category : "other";
}

} // namespace

json::Value toJSON(const ClassifyOutput& output) {
    json::ObjectBuilder object;
    object.add("available", output.available);
    object.add("reason", output.reason);
    object.add("category", output.category);
    object.add("taskLabel", output.taskLabel);
    if (output.keywords) object.add("keywords", json::toArray(*output.keywords));
    if (output.piiTerms) {
        json::Array terms;
        for (const auto& term : *output.piiTerms) {
            terms.push_back(
                json::ObjectBuilder().add("text", term.text).add("kind", term.kind).value());
        }
        object.add("piiTerms", std::move(terms));
    }
    return std::move(object).value();
}

json::Value toJSON(const LlmStatusOutput& output) {
    return json::ObjectBuilder()
        .add("available", output.available)
        .add("reason", output.reason)
        .value();
}

ClassifyOutput unavailable(std::string reason) {
    ClassifyOutput output;
    output.available = false;
    output.reason = std::move(reason);
    return output;
}

ClassifyOutput postProcess(const WorkClassification& answer) {
    ClassifyOutput output;
    output.available = true;
    output.category = validCategory(answer.category);

    std::vector<PiiTermOutput> terms;
    for (const auto& term : answer.piiTerms) {
        if (terms.size() == maxPiiTerms) break;
        if (text::trimWhitespace(term.text).empty()) continue;
        terms.push_back({text::sanitizeUtf8(term.text), text::sanitizeUtf8(term.kind)});
    }
    output.piiTerms = std::move(terms);

    output.taskLabel = text::characterPrefix(answer.taskLabel, taskLabelCharacters);
    std::vector<std::string> keywords;
    for (std::size_t i = 0; i < std::min(answer.keywords.size(), maxKeywords); ++i) {
        keywords.push_back(text::sanitizeUtf8(answer.keywords[i]));
    }
    output.keywords = std::move(keywords);
    return output;
}

ClassifyOutput classifyWithModel(const ClassifyInput& input, LanguageModel& model) {
    const auto availability = model.availability();
    if (availability.state != ModelAvailability::State::available) {
        return unavailable("model unavailable: " + describe(availability));
    }
    ModelRequest request{std::string(classifyInstructions), buildPrompt(input),
                         workClassificationSchema()};
    auto answer = model.respond(request);
    if (!answer) {
        return unavailable("classification failed: " +
                           text::sanitizeUtf8(answer.error().description));
    }
    return postProcess(answer.value());
}

void runClassify(HelperIO& io, LanguageModel& model) {
    std::optional<ClassifyInput> input;
    if (auto bytes = readBoundedInput(io.in, maxClassifyInputBytes)) {
        input = decodeClassifyInput(*bytes);
    }
    if (!input) fail("invalid classify input JSON", 2);

    if (!model.systemSupportsModel()) {
        printJSON(io, toJSON(unavailable("FoundationModels requires macOS 26 or later")));
        return;
    }
    auto output =
        runBlocking([&]() -> Result<ClassifyOutput> { return classifyWithModel(*input, model); });
    printJSON(io, toJSON(output ? output.value() : unavailable("classification task failed")));
}

LlmStatusOutput llmStatus(LanguageModel& model) {
    if (!model.systemSupportsModel()) return {false, "unsupportedOS"};
    using State = ModelAvailability::State;
    switch (model.availability().state) {
    case State::available:
        return {true, std::nullopt};
    case State::deviceNotEligible:
        return {false, "deviceNotEligible"};
    case State::appleIntelligenceNotEnabled:
        return {false, "appleIntelligenceNotEnabled"};
    case State::modelNotReady:
        return {false, "modelNotReady"};
    case State::other:
        break;
    }
    return {false, "unknown"};
}

void runLlmStatus(HelperIO& io, LanguageModel& model) {
    printJSON(io, toJSON(llmStatus(model)));
}

} // namespace helper
