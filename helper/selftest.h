// `--self-test` and `--self-test-pii`: text recognition on fixtures drawn in memory.
#pragma once

#include "helper/output.h"
#include "platform/fixture_canvas.h"
#include "platform/image.h"
#include "platform/name_tagger.h"
#include "platform/text_recognizer.h"

namespace helper {

/// The heading fixture: "TOLMIK OCR MVP" centred on a white 720 × 220 canvas.
FixtureDrawing fixtureDrawing();

/// The personal-data fixture: four lines of sample names, a company, an address and numbers
/// on a white 900 × 320 canvas.
FixtureDrawing piiFixtureDrawing();

/// The rendered heading fixture, or nullptr.
Image createFixtureImage(FixtureCanvas& canvas);

/// The rendered personal-data fixture, or nullptr.
Image createPiiFixtureImage(FixtureCanvas& canvas);

/// `--self-test`: prints the recognised lines of the heading fixture as plain text; status 4
/// when the fixture cannot be made, 5 when recognition fails.
void runSelfTest(HelperIO& io, FixtureCanvas& canvas, TextRecognizer& recognizer,
                 NameTagger& tagger);

/// `--self-test-pii`: prints the OcrOutput of the personal-data fixture; statuses as above.
void runSelfTestPii(HelperIO& io, FixtureCanvas& canvas, TextRecognizer& recognizer,
                    NameTagger& tagger);

} // namespace helper
