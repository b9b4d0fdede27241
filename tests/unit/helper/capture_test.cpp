#include "helper/capture.h"
#include "tests/unit/helper/dispatch_test_support.h"

#include <gtest/gtest.h>
#include <limits>

namespace {

using helper::captureImage;
using helper_test::StubScreenCapture;

class Capture : public ::testing::Test {
protected:
    Capture() {
        ShareableContent content;
        content.windows = {{77, {0, 0, 300, 200}}, {1234, {100, 50, 800, 600}}};
        content.displays = {{1, 1512, 982}, {2, 1920, 1080}};
        capture.content = content;
    }

    ShareableContent& content() { return capture.content.value(); }

    StubScreenCapture capture;
    double scale = 2.0;
};

TEST_F(Capture, NamedWindowAloneAtBackingScale) {
    const auto image = captureImage(capture, scale, 1234u);
    ASSERT_TRUE(image.ok()) << image.error().description;
    EXPECT_EQ(image.value()->width(), 1600);
    EXPECT_EQ(image.value()->height(), 1200);
    ASSERT_EQ(capture.requests.size(), 1u);
    const auto& request = capture.requests[0];
    EXPECT_TRUE(request.window);
    EXPECT_EQ(request.id, 1234u);
    EXPECT_FALSE(request.configuration.showsCursor);
    EXPECT_TRUE(request.configuration.bestResolution);
}

TEST_F(Capture, FirstListedWindowWithTheIdIsTaken) {
    content().windows.push_back({1234, {0, 0, 10, 10}});
    const auto image = captureImage(capture, scale, 1234u);
    ASSERT_TRUE(image.ok());
    EXPECT_EQ(image.value()->width(), 1600);
}

TEST_F(Capture, UnknownOrMissingIdCapturesTheFirstDisplay) {
    for (const auto id : {std::optional<std::uint32_t>(999), std::optional<std::uint32_t>()}) {
        capture.requests.clear();
        const auto image = captureImage(capture, scale, id);
        ASSERT_TRUE(image.ok());
        EXPECT_EQ(image.value()->width(), 3024);
        EXPECT_EQ(image.value()->height(), 1964);
        ASSERT_EQ(capture.requests.size(), 1u);
        EXPECT_FALSE(capture.requests[0].window);
        EXPECT_EQ(capture.requests[0].id, 1u);
        EXPECT_FALSE(capture.requests[0].configuration.showsCursor);
        EXPECT_TRUE(capture.requests[0].configuration.bestResolution);
    }
}

TEST(CaptureScale, MainScreenScaleElseTwo) {
    FakeScreens screens;
    screens.scale = 1.0;
    EXPECT_EQ(helper::captureScale(screens), 1.0);
    screens.scale = std::nullopt;
    EXPECT_EQ(helper::captureScale(screens), 2.0);
}

TEST_F(Capture, PixelSizesAreTruncated) {
    content().windows = {{5, {0, 0, 800.5, 600.9}}};
    scale = 1.5;
    const auto image = captureImage(capture, scale, 5u);
    ASSERT_TRUE(image.ok());
    EXPECT_EQ(image.value()->width(), 1200); // 1200.75
    EXPECT_EQ(image.value()->height(), 901); // 901.35
}

TEST_F(Capture, NoWindowAndNoDisplayIsTheHelperError) {
    content().displays.clear();
    const auto image = captureImage(capture, scale, 4242u);
    ASSERT_FALSE(image.ok());
    EXPECT_EQ(image.error().description, "no capturable window or display found");
    EXPECT_TRUE(capture.requests.empty());

    // A matching window needs no display.
    EXPECT_TRUE(captureImage(capture, scale, 1234u).ok());
}

TEST_F(Capture, PlatformErrorsArePassedOnUnchanged) {
    capture.content = PortError{"The user declined TCCs for application, window, display capture"};
    auto image = captureImage(capture, scale, 1234u);
    ASSERT_FALSE(image.ok());
    EXPECT_EQ(image.error().description,
              "The user declined TCCs for application, window, display capture");
    EXPECT_TRUE(capture.requests.empty());

    capture.content = ShareableContent{{}, {{1, 100, 100}}};
    capture.captureError = "X11: XShmGetImage failed";
    image = captureImage(capture, scale, std::nullopt);
    ASSERT_FALSE(image.ok());
    EXPECT_EQ(image.error().description, "X11: XShmGetImage failed");
}

TEST_F(Capture, SuccessWithoutAnImageIsAFailure) {
    capture.answerNullImage = true;
    EXPECT_FALSE(captureImage(capture, scale, std::nullopt).ok());
}

TEST(ScaledPixels, UnusableProductsBecomeZero) {
    EXPECT_EQ(helper::scaledPixels(800.5, 1.5), 1200);
    EXPECT_EQ(helper::scaledPixels(0.4, 2), 0);
    EXPECT_EQ(helper::scaledPixels(-10, 2), 0);
    EXPECT_EQ(helper::scaledPixels(std::numeric_limits<double>::quiet_NaN(), 2), 0);
    EXPECT_EQ(helper::scaledPixels(1e300, 2), 0);
    EXPECT_EQ(helper::scaledPixels(100, std::numeric_limits<double>::infinity()), 0);
}

} // namespace
