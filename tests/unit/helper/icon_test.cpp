// `icon`: a 64-pixel PNG as a data URL, or the bundle id alone when there is none.
#include "tests/unit/helper/helper_rig.h"

#include <functional>
#include <gtest/gtest.h>

namespace {

TEST(IconCommand, ThePngOfAnInstalledApplicationElseTheBundleIdAlone) {
    const std::string alone = "{\"bundleId\":\"com.apple.Safari\"}\n";
    const std::pair<std::function<void(helper_test::AllFakes&)>, std::string> cases[] = {
        // "PNG 64x64" in base64
        {[](auto&) {}, "{\"bundleId\":\"com.apple.Safari\","
                       "\"png\":\"data:image/png;base64,UE5HIDY0eDY0\"}\n"},
        {[](auto& fakes) { fakes.icons.installed.clear(); }, alone},
        {[](auto& fakes) { fakes.icons.failBitmap = true; }, alone},
        {[](auto& fakes) { fakes.graphics.failPng = true; }, alone},
        {[](auto& fakes) { fakes.graphics.emptyPng = true; }, alone},
    };
    for (const auto& [arrange, out] : cases) {
        helper_test::AllFakes fakes;
        fakes.icons.installed = {"com.apple.Safari"};
        arrange(fakes);
        const auto run = fakes.run({"icon", "com.apple.Safari"});
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(run.out, out);
    }
}

} // namespace
