#pragma once

#include "platform/text_recognizer.h"

/// Vision's accurate text recognition, Japanese then English, language correction on.
class VisionTextRecognizer final : public TextRecognizer {
public:
    Result<std::vector<TextObservation>> recognizeText(const Image& image) override;
};
