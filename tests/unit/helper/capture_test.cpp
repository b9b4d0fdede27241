// Which window or display the helper captures, at what pixel size, and its failures.
#include "helper/capture.h"
#include "tests/fakes/fake_screen_capture.h"
#include "tests/fakes/fake_screens.h"

#include <functional>
#include <gtest/gtest.h>
#include <limits>

namespace {

using helper::captureImage;
using Ids = std::vector<std::uint32_t>;

TEST(Capture, NamedWindowElseTheFirstDisplayAtTheBackingScaleTruncated) {
    const struct {
        std::optional<std::uint32_t> id;
        double scale;
        Ids windows;
        Ids displays;
        std::int64_t width;
        std::int64_t height;
    } cases[] = {
        {1234, 2, {1234}, {}, 1600, 1200},
        {999, 2, {}, {1}, 3024, 1964},
        {std::nullopt, 2, {}, {1}, 3024, 1964},
        {5, 1.5, {5}, {}, 1200, 901}, // 1200.75, 901.35
    };
    for (const auto& [id, scale, windows, displays, width, height] : cases) {
        FakeScreenCapture capture;
        capture.content = {{{77, {0, 0, 300, 200}},
                            {1234, {100, 50, 800, 600}},
                            {1234, {0, 0, 10, 10}},
                            {5, {0, 0, 800.5, 600.9}}},
                           {{1, 1512, 982}, {2, 1920, 1080}}};
        const auto image = captureImage(capture, scale, id);
        ASSERT_TRUE(image.ok()) << image.error().description;
        EXPECT_EQ(image.value()->width(), width);
        EXPECT_EQ(image.value()->height(), height);
        EXPECT_EQ(capture.windowsCaptured(), windows);
        EXPECT_EQ(capture.displaysCaptured(), displays);
        ASSERT_EQ(capture.configurations().size(), 1u);
        EXPECT_FALSE(capture.configurations()[0].showsCursor);
        EXPECT_TRUE(capture.configurations()[0].bestResolution);
    }
}

TEST(Capture, FailuresArePassedOnAndNothingIsCapturedWithoutATarget) {
    const std::string declined = "The user declined TCCs for application, window, display capture";
    const struct {
        std::function<void(FakeScreenCapture&)> arrange;
        std::string error; ///< empty: any
        bool captured;
    } cases[] = {
        {[](auto& capture) {
             capture.content = {{{1234, {0, 0, 10, 10}}}, {}};
         },
         helper::noCapturableSource, false},
        {[&](auto& capture) { capture.contentError = declined; }, declined, false},
        {[](auto& capture) { capture.returnNullImage = true; }, "", true},
        {[](auto& capture) { capture.captureError = "X11: XShmGetImage failed"; },
         "X11: XShmGetImage failed", true},
    };
    for (const auto& [arrange, error, captured] : cases) {
        FakeScreenCapture capture;
        arrange(capture);
        const auto image = captureImage(capture, 2, 4242u);
        ASSERT_FALSE(image.ok()) << error;
        if (!error.empty()) {
            EXPECT_EQ(image.error().description, error);
        }
        EXPECT_EQ(capture.configurations().empty(), !captured) << error;
    }
    FakeScreenCapture windowOnly; // a matching window needs no display
    windowOnly.content = {{{1234, {0, 0, 10, 10}}}, {}};
    EXPECT_TRUE(captureImage(windowOnly, 2, 1234u).ok());
}

TEST(Capture, ScaleOfTheMainScreenElseTwoAndUnusablePixelCountsBecomeZero) {
    FakeScreens screens;
    screens.scale = 1.0;
    EXPECT_EQ(helper::captureScale(screens), 1.0);
    screens.scale = std::nullopt;
    EXPECT_EQ(helper::captureScale(screens), 2.0);

    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    const std::tuple<double, double, std::int64_t> cases[] = {
        {800.5, 1.5, 1200}, {0.4, 2, 0},   {-10, 2, 0},
        {nan, 2, 0},        {1e300, 2, 0}, {100, infinity, 0}};
    for (const auto& [points, scale, pixels] : cases)
        EXPECT_EQ(helper::scaledPixels(points, scale), pixels) << points << " × " << scale;
}

} // namespace
