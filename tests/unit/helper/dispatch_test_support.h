// What the helper's unit tests share: runs of the whole command line against string streams,
// and substitutes for the screen capture and graphics ports that record what the helper asked.
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
#include "tests/fakes/fake_screens.h"
#include "tests/fakes/fake_script_runner.h"
#include "tests/fakes/fake_text_recognizer.h"
#include "tests/fakes/fake_window_list.h"
#include "tests/fakes/fake_workspace.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace helper_test {

/// The status and the bytes of one run of the whole command line.
struct Run {
    int status = -1;
    std::string out;
    std::string err;
};

/// Runs `quillmap-helper <arguments…>` with `input` on standard input.
inline Run runHelperWith(std::vector<std::string> arguments, HelperPlatform& platform,
                         const std::string& input = "") {
    arguments.insert(arguments.begin(), "/usr/local/bin/quillmap-helper");
    std::istringstream in(input);
    std::ostringstream out;
    std::ostringstream err;
    helper::HelperIO io{in, out, err};
    Run run;
    run.status = helper::runHelper(arguments, platform, io);
    run.out = out.str();
    run.err = err.str();
    return run;
}

/// What one subcommand printed, and the exit it asked for if it ended with one.
struct Caught {
    std::optional<helper::HelperExit> exit;
    std::string out;
    std::string err;
};

/// Runs `subcommand(io)` with `input` on standard input.
template <typename Subcommand>
Caught runCaught(Subcommand&& subcommand, const std::string& input = "") {
    std::istringstream in(input);
    std::ostringstream out;
    std::ostringstream err;
    helper::HelperIO io{in, out, err};
    Caught caught;
    try {
        subcommand(io);
    } catch (const helper::HelperExit& exit) {
        caught.exit = exit;
    }
    caught.out = out.str();
    caught.err = err.str();
    return caught;
}

/// Shareable content given by the test; each capture answers an image of the size asked
/// for, or `captureError`.
class StubScreenCapture : public ScreenCapture {
public:
    struct Request {
        bool window = false;
        std::uint32_t id = 0; ///< window id or display id
        CaptureConfiguration configuration;
    };

    Result<ShareableContent> shareableContent() override { return content; }
    Result<Image> captureDisplay(const ShareableDisplay& display,
                                 const CaptureConfiguration& configuration) override {
        requests.push_back({false, display.displayID, configuration});
        return answer(configuration);
    }
    Result<Image> captureWindow(const ShareableWindow& window,
                                const CaptureConfiguration& configuration) override {
        requests.push_back({true, window.windowID, configuration});
        return answer(configuration);
    }

    Result<ShareableContent> content = ShareableContent{};
    std::optional<std::string> captureError;
    bool answerNullImage = false;
    std::vector<Request> requests;

private:
    Result<Image> answer(const CaptureConfiguration& configuration) {
        if (captureError) return PortError{*captureError};
        if (answerNullImage) return Image{};
        return Image{FakeImage::make(configuration.width, configuration.height)};
    }
};

/// PNG encoding answers the bytes the test sets; everything else is unused by the helper.
class StubGraphics : public Graphics {
public:
    Image drawScaled(const Image&, std::int64_t, std::int64_t) override { return nullptr; }
    std::optional<std::vector<std::uint8_t>> encodeJPEG(const Image&, double) override {
        return std::nullopt;
    }
    std::optional<std::vector<std::uint8_t>> encodePNG(const Image& image) override {
        encoded.push_back(image);
        return png;
    }

    std::optional<std::vector<std::uint8_t>> png;
    std::vector<Image> encoded;
};

/// A platform with every port faked, and pointers kept for inspection.
struct AllFakes {
    AllFakes() {
        platform.workspace = own(workspace);
        platform.screens = own(screens);
        platform.accessibility = own(accessibility);
        platform.screenCapture = own(capture);
        platform.graphics = own(graphics);
        platform.windowList = own(windows);
        platform.idleTime = own(idle);
        platform.scriptRunner = own(scripts);
        platform.iconSource = own(icons);
        platform.textRecognizer = own(recognizer);
        platform.nameTagger = own(tagger);
        platform.languageModel = own(model);
        platform.fixtureCanvas = own(canvas);
    }

    template <typename T> std::unique_ptr<T> own(T*& pointer) {
        auto owned = std::make_unique<T>();
        pointer = owned.get();
        return owned;
    }

    Run run(std::vector<std::string> arguments, const std::string& input = "") {
        return runHelperWith(std::move(arguments), platform, input);
    }

    HelperPlatform platform;
    FakeWorkspace* workspace = nullptr;
    FakeScreens* screens = nullptr;
    FakeAccessibility* accessibility = nullptr;
    StubScreenCapture* capture = nullptr;
    StubGraphics* graphics = nullptr;
    FakeWindowList* windows = nullptr;
    FakeIdleTime* idle = nullptr;
    FakeScriptRunner* scripts = nullptr;
    FakeIconSource* icons = nullptr;
    FakeTextRecognizer* recognizer = nullptr;
    FakeNameTagger* tagger = nullptr;
    FakeLanguageModel* model = nullptr;
    FakeFixtureCanvas* canvas = nullptr;
};

} // namespace helper_test
