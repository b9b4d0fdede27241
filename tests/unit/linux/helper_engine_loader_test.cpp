// The helper's engine ports: loaded from the real module on first use, or answering as
// unavailable (with the reason where a port can give one) when the module cannot be loaded.
#include "platform/linux/helper/helper_engine_loader.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

namespace {

HelperPlatform platformWith(const std::filesystem::path& module,
                            std::weak_ptr<HelperEngineLoader>* observer = nullptr) {
    HelperPlatform platform;
    auto loader = std::make_shared<HelperEngineLoader>(module);
    if (observer != nullptr) *observer = loader;
    attachHelperEngines(platform, loader);
    return platform;
}

TEST(HelperEngineLoader, AMissingModuleLeavesEveryPortUnavailableWithTheReason) {
    auto platform = platformWith("/nonexistent/quillmap-helper-engines.so");
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

bool moduleIsLoaded() {
    void* handle = dlopen(QUILL_HELPER_ENGINES_MODULE, RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr) dlclose(handle); // NOLOAD took a reference too
    return handle != nullptr;
}

TEST(HelperEngineLoader, NothingIsLoadedUntilAPortIsUsedAndTheLastPortTakesTheEngines) {
    const bool loadedBefore = moduleIsLoaded(); // by an earlier run in this process
    std::weak_ptr<HelperEngineLoader> loader;
    {
        auto platform = platformWith(QUILL_HELPER_ENGINES_MODULE, &loader);
        EXPECT_TRUE(loadedBefore || !moduleIsLoaded());
        EXPECT_EQ(platform.graphics->encodePNG(nullptr), std::nullopt);
        EXPECT_TRUE(moduleIsLoaded());
        EXPECT_EQ(loader.lock()->failure(), "");
    }
    EXPECT_TRUE(loader.expired());
}

} // namespace
