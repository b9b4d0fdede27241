#include "helper/icon.h"
#include "tests/fakes/fake_icon_source.h"
#include "tests/unit/helper/dispatch_test_support.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace {

using helper_test::runHelperWith;

std::vector<std::uint8_t> decodeBase64(const std::string& text) {
    static const std::string alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::vector<std::uint8_t> bytes;
    std::uint32_t bits = 0;
    int count = 0;
    for (const char c : text) {
        if (c == '=') break;
        const auto index = alphabet.find(c);
        if (index == std::string::npos) {
            ADD_FAILURE() << "not base64: " << c;
            return {};
        }
        bits = (bits << 6) | static_cast<std::uint32_t>(index);
        count += 6;
        if (count >= 8) {
            count -= 8;
            bytes.push_back(static_cast<std::uint8_t>((bits >> count) & 0xFF));
        }
    }
    return bytes;
}

class IconCommand : public ::testing::Test {
protected:
    IconCommand() {
        auto icons = std::make_unique<FakeIconSource>();
        auto graphics = std::make_unique<helper_test::StubGraphics>();
        icons_ = icons.get();
        graphics_ = graphics.get();
        platform_.iconSource = std::move(icons);
        platform_.graphics = std::move(graphics);
        // PNG signature, then bytes whose base64 text holds "/" and "+", and a length that
        // needs padding.
        graphics_->png =
            std::vector<std::uint8_t>{0x89, 'P',  'N',  'G',  0x0D, 0x0A, 0x1A, 0x0A, 0xFF,
                                      0xFF, 0xFF, 0xFB, 0xEF, 0xBE, 0x00, 0x10, 0x83};
        icons_->installed = {"com.apple.Safari"};
    }

    HelperPlatform platform_;
    FakeIconSource* icons_;
    helper_test::StubGraphics* graphics_;
};

TEST_F(IconCommand, DataURLDecodesBackToThePNGBytes) {
    const auto run = runHelperWith({"icon", "com.apple.Safari"}, platform_);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    ASSERT_FALSE(run.out.empty());
    EXPECT_EQ(run.out.back(), '\n');
    EXPECT_EQ(run.out.find("\\/"), std::string::npos);

    const auto output = nlohmann::json::parse(run.out);
    ASSERT_EQ(output.size(), 2u);
    EXPECT_EQ(output.at("bundleId"), "com.apple.Safari");
    const std::string png = output.at("png");
    const std::string prefix = "data:image/png;base64,";
    ASSERT_EQ(png.substr(0, prefix.size()), prefix);
    const std::string base64 = png.substr(prefix.size());
    EXPECT_NE(base64.find('/'), std::string::npos);
    EXPECT_EQ(base64.size() % 4, 0u);
    EXPECT_EQ(base64.back(), '=');
    EXPECT_EQ(decodeBase64(base64), *graphics_->png);

    ASSERT_EQ(icons_->requests.size(), 1u);
    EXPECT_EQ(icons_->requests[0].second, 64);
    ASSERT_EQ(graphics_->encoded.size(), 1u);
    EXPECT_EQ(graphics_->encoded[0]->width(), 64);
}

TEST_F(IconCommand, UnknownApplicationPrintsTheBundleIdAlone) {
    const auto run = runHelperWith({"icon", "com.example.NotInstalled/β"}, platform_);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "{\"bundleId\":\"com.example.NotInstalled/β\"}\n");
    EXPECT_TRUE(graphics_->encoded.empty());
}

TEST_F(IconCommand, NoBitmapOrNoPNGPrintsTheBundleIdAlone) {
    icons_->failBitmap = true;
    EXPECT_EQ(runHelperWith({"icon", "com.apple.Safari"}, platform_).out,
              "{\"bundleId\":\"com.apple.Safari\"}\n");
    icons_->failBitmap = false;
    graphics_->png = std::nullopt;
    const auto run = runHelperWith({"icon", "com.apple.Safari"}, platform_);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "{\"bundleId\":\"com.apple.Safari\"}\n");
}

TEST_F(IconCommand, EncoderThatGivesNoBytesMakesNoImage) {
    graphics_->png = std::vector<std::uint8_t>{};
    EXPECT_EQ(helper::iconPNG(*icons_, *graphics_, "com.apple.Safari", 64), std::nullopt);
}

} // namespace
