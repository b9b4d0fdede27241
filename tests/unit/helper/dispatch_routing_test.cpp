// Each subcommand name reaches its own entry with its operand, and nothing else runs.
#include "helper/dispatch.h"
#include "tests/fakes/fake_accessibility.h"
#include "tests/fakes/fake_fixture_canvas.h"
#include "tests/fakes/fake_icon_source.h"
#include "tests/fakes/fake_idle_time.h"
#include "tests/fakes/fake_language_model.h"
#include "tests/fakes/fake_name_tagger.h"
#include "tests/fakes/fake_script_runner.h"
#include "tests/fakes/fake_text_recognizer.h"
#include "tests/fakes/fake_window_list.h"
#include "tests/unit/helper/dispatch_test_support.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace {

using helper_test::runHelperWith;

/// Every port faked, with pointers kept for inspection.
struct AllFakes {
    AllFakes() {
        platform_.workspace = own(workspace);
        platform_.screens = own(screens);
        platform_.accessibility = own(accessibility);
        platform_.screenCapture = own(capture);
        platform_.graphics = own(graphics);
        platform_.windowList = own(windows);
        platform_.idleTime = own(idle);
        platform_.scriptRunner = own(scripts);
        platform_.iconSource = own(icons);
        platform_.textRecognizer = own(recognizer);
        platform_.nameTagger = own(tagger);
        platform_.languageModel = own(model);
        platform_.fixtureCanvas = own(canvas);

        ShareableContent content;
        content.windows = {{1234, {0, 0, 400, 300}}};
        content.displays = {{1, 1000, 800}};
        capture->content = content;
        workspace->front = RunningApplication{"Notes", "com.apple.Notes", 7};
    }

    /// Creates the fake, keeps a pointer for the test and hands ownership to the platform.
    template <typename T> std::unique_ptr<T> own(T*& pointer) {
        auto owned = std::make_unique<T>();
        pointer = owned.get();
        return owned;
    }

    /// Which ports the run touched, as a short text.
    std::string touched() const {
        std::string parts;
        if (!capture->requests.empty()) parts += "capture ";
        if (!recognizer->images.empty()) parts += "recognizer ";
        if (!icons->requests.empty()) parts += "icons ";
        if (!model->requests.empty() || model->systemChecks > 0) parts += "model ";
        if (!canvas->drawings.empty()) parts += "canvas ";
        if (!idle->asked.empty()) parts += "idle ";
        return parts;
    }

    HelperPlatform platform_;
    FakeWorkspace* workspace = nullptr;
    FakeScreens* screens = nullptr;
    FakeAccessibility* accessibility = nullptr;
    helper_test::StubScreenCapture* capture = nullptr;
    helper_test::StubGraphics* graphics = nullptr;
    FakeWindowList* windows = nullptr;
    FakeIdleTime* idle = nullptr;
    FakeScriptRunner* scripts = nullptr;
    FakeIconSource* icons = nullptr;
    FakeTextRecognizer* recognizer = nullptr;
    FakeNameTagger* tagger = nullptr;
    FakeLanguageModel* model = nullptr;
    FakeFixtureCanvas* canvas = nullptr;
};

class Routing : public ::testing::Test, protected AllFakes {};

TEST_F(Routing, OcrPassesItsOperandAsText) {
    auto run = runHelperWith({"ocr", "1234"}, platform_);
    EXPECT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(capture->requests.size(), 1u);
    EXPECT_TRUE(capture->requests[0].window);
    EXPECT_EQ(capture->requests[0].id, 1234u);
    EXPECT_EQ(touched(), "capture recognizer ");
}

TEST_F(Routing, OcrWithoutOperandCapturesTheDisplay) {
    auto run = runHelperWith({"ocr"}, platform_);
    EXPECT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(capture->requests.size(), 1u);
    EXPECT_FALSE(capture->requests[0].window);
    EXPECT_EQ(capture->requests[0].configuration.width, 2000);
}

TEST(RoutingEach, SubcommandReachesOnlyItsOwnPorts) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"context"}, "idle "},
        {{"icon", "com.apple.Notes"}, "icons "},
        {{"running-apps"}, ""},
        {{"llm-status"}, "model "},
        {{"--self-test"}, "recognizer canvas "},
        {{"--self-test-pii"}, "recognizer canvas "},
    };
    for (const auto& [arguments, ports] : cases) {
        AllFakes fresh;
        const auto run = runHelperWith(arguments, fresh.platform_);
        EXPECT_EQ(fresh.touched(), ports) << arguments[0];
        EXPECT_NE(run.status, 2) << arguments[0] << ": " << run.err;
    }
}

TEST_F(Routing, ClassifyReadsStandardInput) {
    const auto bad = runHelperWith({"classify"}, platform_, "not json");
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.err, "invalid classify input JSON\n");
    EXPECT_EQ(bad.out, "");
    EXPECT_EQ(touched(), "");

    const auto good =
        runHelperWith({"classify"}, platform_, R"({"appName":"Mail","text":"見積書を送付します"})");
    EXPECT_EQ(good.status, 0) << good.err;
    EXPECT_EQ(good.out.back(), '\n');
    EXPECT_EQ(touched(), "model ");
}

} // namespace
