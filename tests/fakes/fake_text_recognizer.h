// A text recogniser that answers with preset observations or a preset error.
#pragma once

#include "platform/text_recognizer.h"

#include <vector>

class FakeTextRecognizer : public TextRecognizer {
public:
    Result<std::vector<TextObservation>> recognizeText(const Image& image) override {
        images.push_back(image);
        return answer;
    }

    /// Adds an observation whose best candidate is `text`.
    FakeTextRecognizer& line(std::string text, float confidence, geo::Rect box = {0, 0, 1, 1}) {
        if (answer.ok())
            answer.value().push_back({TextCandidate{std::move(text), confidence}, box});
        return *this;
    }

    Result<std::vector<TextObservation>> answer = std::vector<TextObservation>{};
    std::vector<Image> images; ///< every image asked about
};
