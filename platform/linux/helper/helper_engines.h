// The helper's ports that stand on large libraries (AT-SPI and D-Bus, GIO, image codecs,
// Tesseract, MeCab, cairo). They live in a module of their own that quillmap-helper loads on
// first use, so commands that need none of them (context, running-apps) start as fast as a
// small X client.
#pragma once

#include "platform/accessibility.h"
#include "platform/fixture_canvas.h"
#include "platform/graphics.h"
#include "platform/icon_source.h"
#include "platform/name_tagger.h"
#include "platform/screen_capture.h"
#include "platform/text_recognizer.h"

#include <memory>

struct HelperEngines {
    std::unique_ptr<Accessibility> accessibility;
    std::unique_ptr<ScreenCapture> screenCapture;
    std::unique_ptr<Graphics> graphics;
    std::unique_ptr<IconSource> iconSource;
    std::unique_ptr<TextRecognizer> textRecognizer;
    std::unique_ptr<NameTagger> nameTagger;
    std::unique_ptr<FixtureCanvas> fixtureCanvas;
};

/// Builds every engine.
std::unique_ptr<HelperEngines> makeHelperEngines();

/// File name of the module, found next to the quillmap-helper executable.
inline constexpr const char* kHelperEnginesModule = "quillmap-helper-engines.so";
/// The module's one exported function: makeHelperEngines, owned by the caller.
inline constexpr const char* kHelperEnginesEntry = "quill_make_helper_engines";
using MakeHelperEnginesFunction = HelperEngines* (*)();
