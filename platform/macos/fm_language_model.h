#pragma once

#include "platform/language_model.h"

/// The FoundationModels default model, reached through FoundationModelsBridge.swift. The
/// answer schema is declared there as @Generable types with the same properties, descriptions
/// and guides as ModelRequest::schema.
class FMLanguageModel final : public LanguageModel {
public:
    bool systemSupportsModel() override;
    ModelAvailability availability() override;
    Result<WorkClassification> respond(const ModelRequest& request) override;
};
