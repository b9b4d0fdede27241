// The helper's ports on an X11 desktop. Without a display every port still exists: there is
// then no frontmost application, no window and no display to capture. Expensive engines
// (Tesseract, MeCab, AT-SPI) start on first use, so `context` pays only for X requests.
#include "platform/helper_platform.h"

#include "platform/linux/atspi_accessibility.h"
#include "platform/linux/atspi_script_runner.h"
#include "platform/linux/cairo_fixture_canvas.h"
#include "platform/linux/desktop_icon_source.h"
#include "platform/linux/ewmh_workspace.h"
#include "platform/linux/linux_graphics.h"
#include "platform/linux/mecab_name_tagger.h"
#include "platform/linux/shm_screen_capture.h"
#include "platform/linux/tesseract_recognizer.h"
#include "platform/linux/unavailable_language_model.h"
#include "platform/linux/x11_connection.h"
#include "platform/linux/x11_window_list.h"
#include "platform/linux/xrandr_screens.h"
#include "platform/linux/xss_idle_time.h"

#include <thread>

HelperPlatform makeHelperPlatform() {
    // One connection for the main thread's queries; screen capture opens its own.
    std::shared_ptr<x11::Connection> display = x11::Connection::open();
    HelperPlatform platform;
    platform.workspace = std::make_unique<EwmhWorkspace>(display);
    platform.screens = std::make_unique<XrandrScreens>(display);
    platform.accessibility = std::make_unique<AtspiAccessibility>();
    platform.screenCapture = std::make_unique<ShmScreenCapture>();
    platform.graphics = std::make_unique<LinuxGraphics>();
    platform.windowList = std::make_unique<X11WindowList>(display);
    platform.idleTime = std::make_unique<XssIdleTime>(display);
    platform.scriptRunner =
        std::make_unique<AtspiScriptRunner>(*platform.workspace, *platform.accessibility);
    platform.iconSource = std::make_unique<DesktopIconSource>();
    platform.textRecognizer = std::make_unique<TesseractRecognizer>(
        std::max(1u, std::min(2u, std::thread::hardware_concurrency())));
    platform.nameTagger = std::make_unique<MecabNameTagger>();
    platform.languageModel = std::make_unique<UnavailableLanguageModel>();
    platform.fixtureCanvas = std::make_unique<CairoFixtureCanvas>();
    return platform;
}
