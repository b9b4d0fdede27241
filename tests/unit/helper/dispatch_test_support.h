// What the helper's unit tests share: runs of the whole command line against string streams,
// and substitutes for the screen capture and graphics ports that record what the helper asked.
#pragma once

#include "helper/dispatch.h"
#include "platform/helper_platform.h"
#include "tests/fakes/fake_graphics.h"
#include "tests/fakes/fake_screens.h"
#include "tests/fakes/fake_workspace.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace helper_test {

/// The status and the bytes of one run.
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

} // namespace helper_test
