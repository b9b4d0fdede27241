// The pixel size of a capture: the backing scale of the main screen, truncated.
#include "helper/capture.h"
#include "tests/fakes/fake_screens.h"

#include <gtest/gtest.h>
#include <limits>

namespace {

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
