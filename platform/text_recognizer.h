// Text recognition on a still image: recognised lines with their best candidate.
#pragma once

#include "platform/geometry.h"
#include "platform/image.h"
#include "platform/result.h"

#include <optional>
#include <string>
#include <vector>

/// The recogniser's best reading of one observation.
struct TextCandidate {
    std::string text;        ///< as recognised, valid UTF-8, untrimmed
    float confidence = 0.0f; ///< 0…1
};

/// One recognised line of text.
struct TextObservation {
    std::optional<TextCandidate> topCandidate; ///< absent when the recogniser has none
    geo::Rect boundingBox; ///< fractions of the image size, origin bottom-left, y upwards
};

class TextRecognizer {
public:
    virtual ~TextRecognizer() = default;
    /// Recognises the lines of `image` (accurate level, Japanese then English, language
    /// correction on), in the recogniser's order; an error when recognition cannot run.
    virtual Result<std::vector<TextObservation>> recognizeText(const Image& image) = 0;
};
