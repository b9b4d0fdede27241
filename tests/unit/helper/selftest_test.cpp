// `--self-test` and `--self-test-pii`: what they draw, recognise and print, and how they fail.
#include "helper/selftest.h"
#include "tests/unit/helper/dispatch_test_support.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace helper {
namespace {

using helper_test::runCaught;

class SelfTest : public ::testing::Test {
protected:
    template <typename Run> helper_test::Caught run(Run selfTest) {
        return runCaught([&](HelperIO& io) { selfTest(io, canvas, recognizer, tagger); });
    }

    FakeFixtureCanvas canvas;
    FakeTextRecognizer recognizer;
    FakeNameTagger tagger;
};

TEST_F(SelfTest, PrintsOneLinePerRecognisedLineOfTheHeading) {
    EXPECT_EQ(run(runSelfTest).out, "\n"); // nothing recognised
    recognizer.line(" TOLMIK OCR ", 0.9f).line("  ", 0.1f).line("MVP", 0.8f);
    const auto printed = run(runSelfTest);
    ASSERT_FALSE(printed.exit);
    EXPECT_EQ(printed.out, "TOLMIK OCR\nMVP\n");
    EXPECT_EQ(canvas.drawings.back().texts[0].text, "TOLMIK OCR MVP");
    EXPECT_EQ(recognizer.images.back()->width(), 1440);
}

TEST_F(SelfTest, PersonalDataTestPrintsTheWholeOcrOutput) {
    recognizer.line("John Smith from Acme Corp", 0.5f, {0.02, 0.6, 0.5, 0.1});
    tagger.tokens["John Smith from Acme Corp"] = {{"John Smith", NameTag::personalName},
                                                  {"from", NameTag::other},
                                                  {"Acme Corp", NameTag::organizationName}};
    const auto printed = run(runSelfTestPii);
    ASSERT_FALSE(printed.exit);
    EXPECT_EQ(printed.out.find('\n'), printed.out.size() - 1);
    EXPECT_EQ(nlohmann::json::parse(printed.out), nlohmann::json::parse(R"({
        "lines": [{"text": "John Smith from Acme Corp", "confidence": 0.5,
                   "box": [0.02, 0.6, 0.5, 0.1]}],
        "avgConfidence": 0.5, "width": 1800, "height": 640,
        "entities": [{"text": "John Smith", "kind": "person"},
                     {"text": "Acme Corp", "kind": "organization"}]})"));
    ASSERT_EQ(canvas.drawings.size(), 1u);
    EXPECT_EQ(canvas.drawings[0].texts.size(), 4u);
}

TEST_F(SelfTest, FixtureOrRecognitionFailureEndsWithItsStatusAndNothingPrinted) {
    for (auto selfTest : {runSelfTest, runSelfTestPii}) {
        canvas.fails = true;
        auto printed = run(selfTest);
        ASSERT_TRUE(printed.exit);
        EXPECT_EQ(printed.exit->code, 4);
        EXPECT_EQ(printed.exit->message, "failed to create fixture image");
        EXPECT_EQ(printed.out, "");
        EXPECT_TRUE(recognizer.images.empty());

        canvas.fails = false;
        recognizer.answer = PortError{"engine missing"};
        printed = run(selfTest);
        ASSERT_TRUE(printed.exit);
        EXPECT_EQ(printed.exit->code, 5);
        EXPECT_EQ(printed.exit->message, "ocr failed: engine missing");
        EXPECT_EQ(printed.out, "");
        recognizer.images.clear();
    }
}

} // namespace
} // namespace helper
