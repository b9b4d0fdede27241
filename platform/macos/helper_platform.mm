#include "platform/helper_platform.h"

#include "platform/macos/appkit_fixture_canvas.h"
#include "platform/macos/apple_script_runner.h"
#include "platform/macos/ax_accessibility.h"
#include "platform/macos/cg_graphics.h"
#include "platform/macos/cg_idle_time.h"
#include "platform/macos/cg_window_list.h"
#include "platform/macos/fm_language_model.h"
#include "platform/macos/nl_name_tagger.h"
#include "platform/macos/ns_icon_source.h"
#include "platform/macos/ns_screens.h"
#include "platform/macos/ns_workspace.h"
#include "platform/macos/sck_screen_capture.h"
#include "platform/macos/vision_text_recognizer.h"

#import <Foundation/Foundation.h>

HelperPlatform makeHelperPlatform() {
    HelperPlatform platform;
    platform.workspace = std::make_unique<NSWorkspacePort>();
    platform.screens = std::make_unique<NSScreensPort>();
    platform.accessibility = std::make_unique<AXAccessibility>();
    platform.screenCapture = std::make_unique<SCKScreenCapture>();
    platform.graphics = std::make_unique<CGGraphics>();
    platform.windowList = std::make_unique<CGWindowListPort>();
    platform.idleTime = std::make_unique<CGIdleTime>();
    platform.scriptRunner = std::make_unique<AppleScriptRunner>();
    platform.iconSource = std::make_unique<NSIconSource>();
    platform.textRecognizer = std::make_unique<VisionTextRecognizer>();
    platform.nameTagger = std::make_unique<NLNameTagger>();
    platform.languageModel = std::make_unique<FMLanguageModel>();
    platform.fixtureCanvas = std::make_unique<AppKitFixtureCanvas>();
    return platform;
}
