#include "platform/macos/fm_language_model.h"

#include "common/unicode_text.h"
#include "platform/macos/foundation_models_bridge.h"

#import <Foundation/Foundation.h>
#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <nlohmann/json.hpp>
#include <vector>

namespace {

struct FreeDeleter {
    void operator()(char* text) const { std::free(text); }
};
using MallocText = std::unique_ptr<char, FreeDeleter>;

bool hasProperties(const std::vector<SchemaProperty>& properties,
                   std::initializer_list<const char*> names) {
    if (properties.size() != names.size()) return false;
    auto name = names.begin();
    for (const SchemaProperty& property : properties) {
        if (property.name != *name++) return false;
    }
    return true;
}

/// True when `schema` is the answer type that FoundationModelsBridge.swift declares
/// statically (the framework's structured types are Swift types, not built at run time).
bool isBridgeSchema(const GenerationSchema& schema) {
    if (schema.typeName != "WorkClassification") return false;
    if (!hasProperties(schema.properties, {"category", "taskLabel", "keywords", "piiTerms"})) {
        return false;
    }
    const SchemaProperty& terms = schema.properties.back();
    return terms.elementTypeName == "WorkPiiTerm" &&
           hasProperties(terms.elementProperties, {"text", "kind"});
}

} // namespace

bool FMLanguageModel::systemSupportsModel() {
    if (@available(macOS 26.0, *)) return true;
    return false;
}

ModelAvailability FMLanguageModel::availability() {
    char* reason = nullptr;
    const int32_t state = quill_fm_availability(&reason);
    MallocText reasonText(reason);
    ModelAvailability out;
    switch (state) {
    case 0:
        out.state = ModelAvailability::State::available;
        break;
    case 1:
        out.state = ModelAvailability::State::deviceNotEligible;
        break;
    case 2:
        out.state = ModelAvailability::State::appleIntelligenceNotEnabled;
        break;
    case 3:
        out.state = ModelAvailability::State::modelNotReady;
        break;
    default:
        out.state = ModelAvailability::State::other;
        out.otherReason = reasonText ? text::sanitizeUtf8(reasonText.get()) : "unsupportedOS";
        break;
    }
    return out;
}

Result<WorkClassification> FMLanguageModel::respond(const ModelRequest& request) {
    if (!isBridgeSchema(request.schema)) {
        return PortError{"the model bridge declares no answer type " + request.schema.typeName};
    }
    MallocText answer(quill_fm_classify(request.instructions.data(), request.instructions.size(),
                                        request.prompt.data(), request.prompt.size()));
    if (!answer) return PortError{"no answer from the model bridge"};
    try {
        const auto document = nlohmann::json::parse(answer.get());
        if (!document.value("ok", false)) {
            return PortError{document.value("error", std::string("unknown error"))};
        }
        WorkClassification out;
        out.category = document.at("category").get<std::string>();
        out.taskLabel = document.at("taskLabel").get<std::string>();
        out.keywords = document.at("keywords").get<std::vector<std::string>>();
        for (const auto& term : document.at("piiTerms")) {
            out.piiTerms.push_back(
                {term.at("text").get<std::string>(), term.at("kind").get<std::string>()});
        }
        return out;
    } catch (const nlohmann::json::exception& error) {
        return PortError{std::string("unreadable answer from the model bridge: ") + error.what()};
    }
}
