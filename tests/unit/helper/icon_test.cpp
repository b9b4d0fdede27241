// `icon`: a 64-pixel PNG as a data URL, or the bundle id alone when there is none.
#include "helper/icon.h"
#include "tests/unit/helper/dispatch_test_support.h"

#include <gtest/gtest.h>

namespace {

class IconCommand : public ::testing::Test, protected helper_test::AllFakes {
protected:
    IconCommand() {
        // PNG signature, then bytes whose base64 text holds "/" and "+" and needs padding.
        graphics->png =
            std::vector<std::uint8_t>{0x89, 'P',  'N',  'G',  0x0D, 0x0A, 0x1A, 0x0A, 0xFF,
                                      0xFF, 0xFF, 0xFB, 0xEF, 0xBE, 0x00, 0x10, 0x83};
        icons->installed = {"com.apple.Safari"};
    }
};

TEST_F(IconCommand, InstalledApplicationGivesItsPngAsADataUrl) {
    const auto printed = run({"icon", "com.apple.Safari"});
    EXPECT_EQ(printed.status, 0);
    EXPECT_EQ(printed.err, "");
    EXPECT_EQ(printed.out, "{\"bundleId\":\"com.apple.Safari\","
                           "\"png\":\"data:image/png;base64,iVBORw0KGgr////7774AEIM=\"}\n");
    ASSERT_EQ(icons->requests.size(), 1u);
    EXPECT_EQ(icons->requests[0].second, 64);
    ASSERT_EQ(graphics->encoded.size(), 1u);
    EXPECT_EQ(graphics->encoded[0]->width(), 64);
}

TEST_F(IconCommand, NoApplicationBitmapOrPngPrintsTheBundleIdAlone) {
    EXPECT_EQ(run({"icon", "com.example.NotInstalled/β"}).out,
              "{\"bundleId\":\"com.example.NotInstalled/β\"}\n");
    EXPECT_TRUE(graphics->encoded.empty());
    icons->failBitmap = true;
    EXPECT_EQ(run({"icon", "com.apple.Safari"}).out, "{\"bundleId\":\"com.apple.Safari\"}\n");
    icons->failBitmap = false;
    graphics->png = std::nullopt;
    const auto printed = run({"icon", "com.apple.Safari"});
    EXPECT_EQ(printed.status, 0);
    EXPECT_EQ(printed.out, "{\"bundleId\":\"com.apple.Safari\"}\n");
    graphics->png = std::vector<std::uint8_t>{};
    EXPECT_EQ(helper::iconPNG(*icons, *graphics, "com.apple.Safari", 64), std::nullopt);
}

} // namespace
