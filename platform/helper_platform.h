// The real ports of the system the helper was built for.
#pragma once

#include "platform/accessibility.h"
#include "platform/fixture_canvas.h"
#include "platform/graphics.h"
#include "platform/icon_source.h"
#include "platform/idle_time.h"
#include "platform/language_model.h"
#include "platform/name_tagger.h"
#include "platform/screen_capture.h"
#include "platform/screens.h"
#include "platform/script_runner.h"
#include "platform/text_recognizer.h"
#include "platform/window_list.h"
#include "platform/workspace.h"

#include <memory>

struct HelperPlatform {
    std::unique_ptr<Workspace> workspace;
    std::unique_ptr<Screens> screens;
    std::unique_ptr<Accessibility> accessibility;
    std::unique_ptr<ScreenCapture> screenCapture;
    std::unique_ptr<Graphics> graphics;
    std::unique_ptr<WindowList> windowList;
    std::unique_ptr<IdleTime> idleTime;
    std::unique_ptr<ScriptRunner> scriptRunner;
    std::unique_ptr<IconSource> iconSource;
    std::unique_ptr<TextRecognizer> textRecognizer;
    std::unique_ptr<NameTagger> nameTagger;
    std::unique_ptr<LanguageModel> languageModel;
    std::unique_ptr<FixtureCanvas> fixtureCanvas;
};

/// Builds the real ports. Implemented once per operating system (platform/linux, platform/macos).
HelperPlatform makeHelperPlatform();
