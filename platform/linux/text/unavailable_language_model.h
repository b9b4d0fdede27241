// Linux has no on-device language model: every question about it answers "not here".
#pragma once

#include "platform/language_model.h"

class UnavailableLanguageModel final : public LanguageModel {
public:
    /// False: the system has no model framework, like a macOS older than 26.
    bool systemSupportsModel() override { return false; }
    /// Not eligible: no device running Linux has the model.
    ModelAvailability availability() override;
    /// Always an error; nothing is sent anywhere.
    Result<WorkClassification> respond(const ModelRequest& request) override;
};
