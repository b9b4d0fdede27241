// The fixed texts and the answer schema sent to the on-device language model.
#pragma once

#include "helper/classify_input.h"
#include "platform/language_model.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace helper {

/// Screen text sent to the model, in user-perceived characters.
inline constexpr std::size_t promptTextCharacters = 1500;

/// The session instructions (666 bytes of UTF-8).
extern const std::string_view classifyInstructions;

/// The prompt: application, window title ("不明" when absent), domain ("なし" when absent)
/// and the first 1500 characters of the screen text.
std::string buildPrompt(const ClassifyInput& input);

/// The WorkClassification answer type with its descriptions and constraints.
GenerationSchema workClassificationSchema();

} // namespace helper
