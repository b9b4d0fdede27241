#include "platform/linux/helper/helper_engines.h"

#include "platform/linux/atspi/atspi_accessibility.h"
#include "platform/linux/desktop/desktop_icon_source.h"
#include "platform/linux/imaging/cairo_fixture_canvas.h"
#include "platform/linux/imaging/linux_graphics.h"
#include "platform/linux/imaging/shm_screen_capture.h"
#include "platform/linux/text/mecab_name_tagger.h"
#include "platform/linux/text/tesseract_recognizer.h"

#include <algorithm>
#include <thread>

std::unique_ptr<HelperEngines> makeHelperEngines() {
    auto engines = std::make_unique<HelperEngines>();
    engines->accessibility = std::make_unique<AtspiAccessibility>();
    // Screen capture opens its own X connection.
    engines->screenCapture = std::make_unique<ShmScreenCapture>();
    engines->graphics = std::make_unique<LinuxGraphics>();
    engines->iconSource = std::make_unique<DesktopIconSource>();
    engines->textRecognizer = std::make_unique<TesseractRecognizer>(
        std::max(1u, std::min(2u, std::thread::hardware_concurrency())));
    engines->nameTagger = std::make_unique<MecabNameTagger>();
    engines->fixtureCanvas = std::make_unique<CairoFixtureCanvas>();
    return engines;
}
