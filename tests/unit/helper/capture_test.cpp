// Which window or display the helper captures, at what pixel size, and its failures.
#include "helper/capture.h"
#include "tests/unit/helper/dispatch_test_support.h"

#include <gtest/gtest.h>
#include <limits>

namespace {

using helper::captureImage;

TEST(Capture, NamedWindowElseTheFirstDisplayAtTheBackingScaleTruncated) {
    const struct {
        std::optional<std::uint32_t> id;
        double scale;
        bool window;
        std::uint32_t captured;
        std::int64_t width;
        std::int64_t height;
    } cases[] = {
        {1234, 2, true, 1234, 1600, 1200},
        {999, 2, false, 1, 3024, 1964},
        {std::nullopt, 2, false, 1, 3024, 1964},
        {5, 1.5, true, 5, 1200, 901}, // 1200.75, 901.35
    };
    for (const auto& [id, scale, window, captured, width, height] : cases) {
        helper_test::StubScreenCapture capture;
        capture.content = ShareableContent{{{77, {0, 0, 300, 200}},
                                            {1234, {100, 50, 800, 600}},
                                            {1234, {0, 0, 10, 10}},
                                            {5, {0, 0, 800.5, 600.9}}},
                                           {{1, 1512, 982}, {2, 1920, 1080}}};
        const auto image = captureImage(capture, scale, id);
        ASSERT_TRUE(image.ok()) << image.error().description;
        EXPECT_EQ(image.value()->width(), width);
        EXPECT_EQ(image.value()->height(), height);
        ASSERT_EQ(capture.requests.size(), 1u);
        EXPECT_EQ(capture.requests[0].window, window);
        EXPECT_EQ(capture.requests[0].id, captured);
        EXPECT_FALSE(capture.requests[0].configuration.showsCursor);
        EXPECT_TRUE(capture.requests[0].configuration.bestResolution);
    }
}

TEST(Capture, FailuresArePassedOnAndNothingIsCapturedWithoutATarget) {
    helper_test::StubScreenCapture capture;
    capture.content = ShareableContent{{{1234, {0, 0, 10, 10}}}, {}};
    EXPECT_TRUE(captureImage(capture, 2, 1234u).ok()); // a matching window needs no display
    capture.requests.clear();
    auto image = captureImage(capture, 2, 4242u);
    ASSERT_FALSE(image.ok());
    EXPECT_EQ(image.error().description, "no capturable window or display found");
    EXPECT_TRUE(capture.requests.empty());

    capture.content = PortError{"The user declined TCCs for application, window, display capture"};
    image = captureImage(capture, 2, 1234u);
    ASSERT_FALSE(image.ok());
    EXPECT_EQ(image.error().description,
              "The user declined TCCs for application, window, display capture");
    EXPECT_TRUE(capture.requests.empty());

    capture.content = ShareableContent{{}, {{1, 100, 100}}};
    capture.answerNullImage = true;
    EXPECT_FALSE(captureImage(capture, 2, std::nullopt).ok());
    capture.captureError = "X11: XShmGetImage failed";
    image = captureImage(capture, 2, std::nullopt);
    ASSERT_FALSE(image.ok());
    EXPECT_EQ(image.error().description, "X11: XShmGetImage failed");
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
