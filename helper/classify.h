// The `classify` and `llm-status` subcommands: one screen's work classified by the on-device
// language model, and the model's availability.
#pragma once

#include "common/json_writer.h"
#include "helper/classify_input.h"
#include "helper/output.h"
#include "platform/language_model.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace helper {

/// The work categories the model chooses from, in this order; "other" is the fallback.
inline constexpr std::array<std::string_view, 10> workCategories = {
    "mail",     "meeting",         "chat",     "document", "spreadsheet", "development",
    "research", "business_system", "ai_usage", "other"};

struct PiiTermOutput {
    std::string text;
    std::string kind;
};

/// Either a result (available, category, taskLabel, keywords, piiTerms) or a refusal
/// (not available, reason).
struct ClassifyOutput {
    bool available = false;
    std::optional<std::string> reason;
    std::optional<std::string> category;
    std::optional<std::string> taskLabel;
    std::optional<std::vector<std::string>> keywords;
    std::optional<std::vector<PiiTermOutput>> piiTerms;
};

struct LlmStatusOutput {
    bool available = false;
    std::optional<std::string> reason;
};

json::Value toJSON(const ClassifyOutput& output);
json::Value toJSON(const LlmStatusOutput& output);

/// The refusal shape with `reason`.
ClassifyOutput unavailable(std::string reason);

/// Validates and trims the model's answer. Texts are kept as given, except that ill-formed
/// UTF-8 becomes U+FFFD so that the answer can always be printed.
ClassifyOutput postProcess(const WorkClassification& answer);

/// Asks the model about `input`; a refusal whenever the model is unavailable or fails.
ClassifyOutput classifyWithModel(const ClassifyInput& input, LanguageModel& model);

/// `classify`: reads one ClassifyInput from `io.in` and prints one ClassifyOutput, or ends
/// the process with status 2 when the input is not a valid document.
void runClassify(HelperIO& io, LanguageModel& model);

/// The model's availability as `llm-status` reports it.
LlmStatusOutput llmStatus(LanguageModel& model);

/// `llm-status`: prints one LlmStatusOutput.
void runLlmStatus(HelperIO& io, LanguageModel& model);

} // namespace helper
