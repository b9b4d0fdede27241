// The helper's engine ports when the module cannot be loaded: unavailable, with the reason
// where a port can give one. The helper's desktop tests (ocr, icons) use the real module.
#include "platform/linux/helper/helper_engine_loader.h"

#include <gtest/gtest.h>

namespace {

TEST(HelperEngineLoader, AMissingModuleLeavesEveryPortUnavailableWithTheReason) {
    HelperPlatform platform;
    attachHelperEngines(
        platform, std::make_shared<HelperEngineLoader>("/nonexistent/quillmap-helper-engines.so"));
    const auto recognized = platform.textRecognizer->recognizeText(nullptr);
    ASSERT_FALSE(recognized.ok());
    EXPECT_NE(recognized.error().description.find("/nonexistent/quillmap-helper-engines.so"),
              std::string::npos);
    const auto content = platform.screenCapture->shareableContent();
    ASSERT_FALSE(content.ok());
    EXPECT_EQ(content.error().description, recognized.error().description);
    EXPECT_FALSE(platform.screenCapture->captureDisplay({}, {}).ok());
    EXPECT_FALSE(platform.screenCapture->captureWindow({}, {}).ok());
    EXPECT_EQ(platform.accessibility->systemWide(), nullptr);
    EXPECT_EQ(platform.accessibility->application(1), nullptr);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(
        platform.accessibility->copyAttributeValue(nullptr, "AXRole")));
    EXPECT_EQ(platform.graphics->drawScaled(nullptr, 4, 4), nullptr);
    EXPECT_EQ(platform.graphics->encodePNG(nullptr), std::nullopt);
    EXPECT_EQ(platform.iconSource->applicationIcon("org.example.App", 64), nullptr);
    EXPECT_TRUE(platform.nameTagger->tagNames("山田太郎").empty());
    EXPECT_EQ(platform.fixtureCanvas->draw({}), nullptr);
}

} // namespace
