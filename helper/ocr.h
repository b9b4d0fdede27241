// The `ocr` subcommand: recognised text lines, their confidences and boxes, and the names of
// persons, organizations and places found in them.
#pragma once

#include "common/json_writer.h"
#include "helper/ocr_operand.h"
#include "helper/output.h"
#include "platform/image.h"
#include "platform/name_tagger.h"
#include "platform/result.h"
#include "platform/screen_capture.h"
#include "platform/screens.h"
#include "platform/text_recognizer.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace helper {

struct OcrLine {
    std::string text;               ///< trimmed, never empty
    double confidence = 0;          ///< 0…1
    std::array<double, 4> box = {}; ///< x, y, width, height: fractions, origin bottom-left
};

struct Entity {
    std::string text; ///< trimmed
    std::string kind; ///< "person", "organization" or "place"
};

struct OcrOutput {
    std::vector<OcrLine> lines;
    double avgConfidence = 0;
    std::int64_t width = 0;  ///< pixels
    std::int64_t height = 0; ///< pixels
    std::vector<Entity> entities;
};

json::Value toJSON(const OcrOutput& output);

/// Names found in `lines`, de-duplicated per kind, in order of first appearance.
std::vector<Entity> detectEntities(const std::vector<OcrLine>& lines, NameTagger& tagger);

/// Recognises the text of `image`; the recogniser's error when recognition cannot run.
Result<OcrOutput> recognizeText(const Image& image, TextRecognizer& recognizer, NameTagger& tagger);

/// `ocr [windowId]`: prints one OcrOutput, or ends the process with status 3 (capture) or 5
/// (recognition).
void runOcr(HelperIO& io, const std::optional<std::string>& windowIdArgument,
            ScreenCapture& screenCapture, Screens& screens, TextRecognizer& recognizer,
            NameTagger& tagger);

} // namespace helper
