// Runs of the helper's command line against string streams, on a platform whose every port is
// faked.
#pragma once

#include "helper/dispatch.h"
#include "platform/helper_platform.h"
#include "tests/fakes/fake_accessibility.h"
#include "tests/fakes/fake_fixture_canvas.h"
#include "tests/fakes/fake_graphics.h"
#include "tests/fakes/fake_icon_source.h"
#include "tests/fakes/fake_idle_time.h"
#include "tests/fakes/fake_language_model.h"
#include "tests/fakes/fake_name_tagger.h"
#include "tests/fakes/fake_screen_capture.h"
#include "tests/fakes/fake_screens.h"
#include "tests/fakes/fake_script_runner.h"
#include "tests/fakes/fake_text_recognizer.h"
#include "tests/fakes/fake_window_list.h"
#include "tests/fakes/fake_workspace.h"

#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace helper_test {

/// What a run printed and the status it returned.
struct Run {
    int status = 0;
    std::string out;
    std::string err;
};

template <typename Fake, typename Port> Fake& install(std::unique_ptr<Port>& slot) {
    slot = std::make_unique<Fake>();
    return static_cast<Fake&>(*slot);
}

/// A platform of fakes, each reachable by its own type.
struct AllFakes {
    Run run(std::vector<std::string> arguments, const std::string& input = "") {
        arguments.insert(arguments.begin(), "quillmap-helper");
        std::istringstream in(input);
        std::ostringstream out, err;
        helper::HelperIO io{in, out, err};
        const int status = helper::runHelper(arguments, platform, io);
        return {status, out.str(), err.str()};
    }

    HelperPlatform platform;
    FakeWorkspace& workspace = install<FakeWorkspace>(platform.workspace);
    FakeScreens& screens = install<FakeScreens>(platform.screens);
    FakeAccessibility& accessibility = install<FakeAccessibility>(platform.accessibility);
    FakeScreenCapture& capture = install<FakeScreenCapture>(platform.screenCapture);
    FakeGraphics& graphics = install<FakeGraphics>(platform.graphics);
    FakeWindowList& windows = install<FakeWindowList>(platform.windowList);
    FakeIdleTime& idle = install<FakeIdleTime>(platform.idleTime);
    FakeScriptRunner& scripts = install<FakeScriptRunner>(platform.scriptRunner);
    FakeIconSource& icons = install<FakeIconSource>(platform.iconSource);
    FakeTextRecognizer& recognizer = install<FakeTextRecognizer>(platform.textRecognizer);
    FakeNameTagger& tagger = install<FakeNameTagger>(platform.nameTagger);
    FakeLanguageModel& model = install<FakeLanguageModel>(platform.languageModel);
    FakeFixtureCanvas& canvas = install<FakeFixtureCanvas>(platform.fixtureCanvas);
};

} // namespace helper_test
