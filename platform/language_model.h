// The operating system's on-device language model and one structured request to it.
#pragma once

#include "platform/result.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

/// Whether the default model can be used, and why not.
struct ModelAvailability {
    enum class State {
        available,
        deviceNotEligible,
        appleIntelligenceNotEnabled,
        modelNotReady,
        other
    };
    State state = State::other;
    std::string otherReason; ///< the platform's text of a reason this program does not know
};

/// One property of a structured answer, with the guidance given to the model.
struct SchemaProperty {
    enum class Type { string, stringList, objectList };
    std::string name;
    std::string description;
    Type type = Type::string;
    std::vector<std::string> anyOf;                ///< string: the allowed values; empty = any
    std::optional<std::size_t> minimumCount;       ///< lists: fewest elements
    std::optional<std::size_t> maximumCount;       ///< lists: most elements
    std::string elementTypeName;                   ///< objectList: name of the element type
    std::vector<SchemaProperty> elementProperties; ///< objectList: its properties, in order
};

/// A structured answer type: every property required, in this order.
struct GenerationSchema {
    std::string typeName;
    std::vector<SchemaProperty> properties;
};

struct WorkPiiTerm {
    std::string text;
    std::string kind;
};

/// The answer decoded from the model's generated content.
struct WorkClassification {
    std::string category;
    std::string taskLabel;
    std::vector<std::string> keywords;
    std::vector<WorkPiiTerm> piiTerms;
};

/// One request: a fresh session with `instructions` and no tools, one prompt, the schema
/// included in the prompt, and generation options that set nothing.
struct ModelRequest {
    std::string instructions;
    std::string prompt;
    GenerationSchema schema;
};

class LanguageModel {
public:
    virtual ~LanguageModel() = default;
    /// True when the system is new enough to have the model framework (macOS 26 or later).
    virtual bool systemSupportsModel() = 0;
    /// Availability of the system's default model. Only called when the system supports it.
    virtual ModelAvailability availability() = 0;
    /// Sends `request` and decodes the answer; an error when the request fails or the answer
    /// lacks a property. Blocks the calling thread; never needs the main thread.
    virtual Result<WorkClassification> respond(const ModelRequest& request) = 0;
};
