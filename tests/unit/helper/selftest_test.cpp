// `--self-test` and `--self-test-pii`: what they draw, recognise and print, and how they fail.
#include "helper/selftest.h"
#include "tests/unit/helper/helper_rig.h"

#include <gtest/gtest.h>

namespace helper {
namespace {

struct SelfTestRig {
    template <typename SelfTest> helper_test::Run run(SelfTest selfTest) {
        return helper_test::runWith(
            [&](HelperIO& io) { selfTest(io, canvas, recognizer, tagger); });
    }

    FakeFixtureCanvas canvas;
    FakeTextRecognizer recognizer;
    FakeNameTagger tagger;
};

TEST(SelfTest, PrintsEachRecognisedLineOfTheHeadingOrTheWholeOcrOutput) {
    SelfTestRig rig;
    EXPECT_EQ(rig.run(runSelfTest).out, "\n"); // nothing recognised
    rig.recognizer.line(" TOLMIK OCR ", 0.9f).line("  ", 0.1f).line("MVP", 0.8f);
    EXPECT_EQ(rig.run(runSelfTest).out, "TOLMIK OCR\nMVP\n");
    EXPECT_EQ(rig.canvas.drawings.back().texts[0].text, "TOLMIK OCR MVP");
    EXPECT_EQ(rig.recognizer.images.back()->width(), 1440);

    rig.recognizer.answer = std::vector<TextObservation>{};
    rig.recognizer.line("John Smith from Acme Corp", 0.5f, {0.02, 0.6, 0.5, 0.1});
    rig.tagger.tokens["John Smith from Acme Corp"] = {{"John Smith", NameTag::personalName},
                                                      {"Acme Corp", NameTag::organizationName}};
    EXPECT_EQ(rig.run(runSelfTestPii).out,
              R"({"lines":[{"text":"John Smith from Acme Corp","confidence":0.5,)"
              R"("box":[0.02,0.6,0.5,0.1]}],"avgConfidence":0.5,"width":1800,"height":640,)"
              R"("entities":[{"text":"John Smith","kind":"person"},)"
              R"({"text":"Acme Corp","kind":"organization"}]})"
              "\n");
    EXPECT_EQ(rig.canvas.drawings.back().texts.size(), 4u);
}

TEST(SelfTest, FixtureOrRecognitionFailureEndsWithItsStatusAndNothingPrinted) {
    for (auto selfTest : {runSelfTest, runSelfTestPii}) {
        for (bool canvasFails : {true, false}) {
            SelfTestRig rig;
            rig.canvas.fails = canvasFails;
            rig.recognizer.answer = PortError{"engine missing"};
            const auto printed = rig.run(selfTest);
            ASSERT_TRUE(printed.exit);
            EXPECT_EQ(printed.exit->code, canvasFails ? 4 : 5);
            EXPECT_EQ(printed.exit->message, canvasFails ? "failed to create fixture image"
                                                         : "ocr failed: engine missing");
            EXPECT_EQ(printed.out, "");
            EXPECT_EQ(rig.recognizer.images.empty(), canvasFails);
        }
    }
}

} // namespace
} // namespace helper
